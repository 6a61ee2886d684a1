#include "fat/fat_volume.h"

#include <algorithm>
#include <utility>

std::optional<FatVolume> FatVolume::Open(BlockDevice& device, std::uint64_t offset,
                                         std::uint64_t size) {
  if (offset > device.Size() || size > device.Size() - offset) return std::nullopt;
  std::string sector;
  if (!device.Read(offset, 512, sector)) return std::nullopt;
  const std::optional<FatGeometry> geometry = ParseBootSector(sector, size);
  if (!geometry) return std::nullopt;
  std::vector<FatTable> fats;
  for (std::uint32_t copy = 0; copy < geometry->fat_count; ++copy) {
    std::string bytes;
    if (!device.Read(offset + geometry->FatOffset(copy), geometry->FatBytes(), bytes)) {
      return std::nullopt;
    }
    fats.emplace_back(geometry->type, std::move(bytes));
  }
  return FatVolume(device, offset, *geometry, std::move(fats));
}

void FatVolume::TakeWrites(const std::vector<DeviceStep>& steps) {
  for (const DeviceStep& step : steps) {
    for (std::uint32_t copy = 0; step.kind == DeviceStep::Kind::kWrite && copy < fats_.size();
         ++copy) {
      const std::uint64_t start = offset_ + geometry_.FatOffset(copy);
      const std::uint64_t from = std::max(start, step.offset);
      const std::uint64_t to =
          std::min(start + geometry_.FatBytes(), step.offset + step.bytes.size());
      if (from < to) {
        fats_[copy].Overwrite(from - start,
                              std::string_view(step.bytes).substr(from - step.offset, to - from));
      }
    }
  }
}

std::uint64_t FatVolume::DeviceOffset(const std::vector<std::uint32_t>& chain,
                                      std::uint64_t chain_offset) const {
  const std::uint64_t cluster_bytes = geometry_.ClusterBytes();
  return offset_ + geometry_.ClusterOffset(chain[chain_offset / cluster_bytes]) +
         chain_offset % cluster_bytes;
}

bool FatVolume::ReadChain(const std::vector<std::uint32_t>& chain, std::string& out) const {
  out.clear();
  std::string cluster;
  for (const std::uint32_t number : chain) {
    if (!device_->Read(offset_ + geometry_.ClusterOffset(number), geometry_.ClusterBytes(),
                       cluster)) {
      return false;
    }
    out += cluster;
  }
  return true;
}

std::optional<std::vector<DirEntry>> FatVolume::ReadDirectory(std::uint32_t first_cluster) const {
  const bool fixed_root = first_cluster == 0 && geometry_.type != FatType::kFat32;
  std::string bytes;
  std::vector<std::uint32_t> chain;
  if (fixed_root) {
    if (!device_->Read(offset_ + geometry_.RootDirectoryOffset(), geometry_.RootDirectoryBytes(),
                       bytes)) {
      return std::nullopt;
    }
  } else {
    const std::uint32_t start = first_cluster == 0 ? geometry_.root_cluster : first_cluster;
    std::optional<std::vector<std::uint32_t>> found = FollowChain(fats_[0], geometry_, start);
    if (!found || !ReadChain(*found, bytes)) return std::nullopt;
    chain = std::move(*found);
  }
  std::vector<DirEntry> entries = ParseDirectory(bytes, geometry_.type == FatType::kFat32);
  for (DirEntry& entry : entries) {
    const std::uint64_t at = entry.index * kDirEntryBytes;
    entry.device_offset =
        fixed_root ? offset_ + geometry_.RootDirectoryOffset() + at : DeviceOffset(chain, at);
  }
  return entries;
}

std::optional<DirEntry> FatVolume::Lookup(std::string_view path) const {
  std::uint32_t directory = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t separator = path.find('\\', start);
    const std::string_view part = path.substr(start, separator - start);
    const std::optional<std::vector<DirEntry>> entries = ReadDirectory(directory);
    if (!entries) return std::nullopt;
    const auto found = std::find_if(entries->begin(), entries->end(), [part](const DirEntry& e) {
      return !e.Has(fat_attribute::kVolumeLabel) && !e.IsDotEntry() && e.Matches(part);
    });
    if (found == entries->end()) return std::nullopt;
    if (separator == std::string_view::npos) return *found;
    if (!found->Has(fat_attribute::kDirectory) || found->first_cluster == 0) return std::nullopt;
    directory = found->first_cluster;
    start = separator + 1;
  }
}

std::optional<std::vector<std::uint32_t>> FatVolume::FileChain(const DirEntry& file) const {
  const std::uint64_t needed = ClustersFor(geometry_, file.size);
  if (needed == 0) {
    if (file.first_cluster != 0) return std::nullopt;
    return std::vector<std::uint32_t>();
  }
  std::optional<std::vector<std::uint32_t>> chain =
      FollowChain(fats_[0], geometry_, file.first_cluster);
  if (!chain || chain->size() != needed) return std::nullopt;
  return chain;
}

std::optional<std::string> FatVolume::ReadFile(const DirEntry& file) const {
  const std::optional<std::vector<std::uint32_t>> chain = FileChain(file);
  std::string bytes;
  if (!chain || !ReadChain(*chain, bytes)) return std::nullopt;
  bytes.resize(file.size);
  return bytes;
}
