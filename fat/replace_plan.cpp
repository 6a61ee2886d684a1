#include "fat/replace_plan.h"

#include <algorithm>
#include <cstddef>
#include <string>

#include "image/little_endian.h"

namespace {

constexpr std::uint32_t kFsInfoLeadSignature = 0x41615252;
constexpr std::uint32_t kFsInfoStructSignature = 0x61417272;
constexpr std::uint32_t kFsInfoTrailSignature = 0xAA550000;
constexpr std::uint32_t kUnknown = 0xFFFFFFFF;

std::vector<std::uint32_t> Slice(const std::vector<std::uint32_t>& clusters, std::size_t from,
                                 std::size_t to) {
  return {clusters.begin() + static_cast<std::ptrdiff_t>(from),
          clusters.begin() + static_cast<std::ptrdiff_t>(to)};
}

// The lowest run of consecutive free clusters long enough, or else the lowest
// free clusters; the caller makes sure there are enough.
std::vector<std::uint32_t> PickClusters(const std::vector<std::uint32_t>& free, std::size_t count) {
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < free.size() && count != 0; ++i) {
    if (i > 0 && free[i] != free[i - 1] + 1) run_start = i;
    if (i - run_start + 1 == count) return Slice(free, run_start, i + 1);
  }
  return Slice(free, 0, count);
}

bool CopiesAgree(const FatVolume& volume, const std::vector<std::uint32_t>& clusters) {
  const std::vector<FatTable>& fats = volume.fats();
  return std::all_of(clusters.begin(), clusters.end(), [&fats](std::uint32_t cluster) {
    return std::all_of(fats.begin(), fats.end(), [&](const FatTable& fat) {
      return fat.Get(cluster) == fats[0].Get(cluster);
    });
  });
}

// One write for each run of sectors where the table changed.
void AppendTableWrites(const FatVolume& volume, std::uint32_t copy, const std::string& before,
                       const std::string& after, std::vector<DeviceStep>& steps) {
  const std::size_t sector_bytes = volume.geometry().bytes_per_sector;
  const std::uint64_t table_offset = volume.offset() + volume.geometry().FatOffset(copy);
  const auto changed = [&](std::size_t at) {
    return at < after.size() && before.compare(at, sector_bytes, after, at, sector_bytes) != 0;
  };
  for (std::size_t at = 0; at < after.size(); at += sector_bytes) {
    if (!changed(at)) continue;
    std::size_t end = at + sector_bytes;
    while (changed(end)) end += sector_bytes;
    steps.push_back(DeviceStep::WriteAt(table_offset + at, after.substr(at, end - at)));
    at = end - sector_bytes;
  }
}

// One write for each run of consecutive clusters, the last one padded with zeros.
void AppendDataWrites(const FatVolume& volume, const std::vector<std::uint32_t>& clusters,
                      std::string_view contents, std::vector<DeviceStep>& steps) {
  const std::uint64_t cluster_bytes = volume.geometry().ClusterBytes();
  std::size_t first = 0;
  while (first < clusters.size()) {
    std::size_t end = first + 1;
    while (end < clusters.size() && clusters[end] == clusters[end - 1] + 1) ++end;
    std::string bytes(contents.substr(std::min<std::size_t>(first * cluster_bytes, contents.size()),
                                      (end - first) * cluster_bytes));
    bytes.resize((end - first) * cluster_bytes, '\0');
    steps.push_back(DeviceStep::WriteAt(
        volume.offset() + volume.geometry().ClusterOffset(clusters[first]), std::move(bytes)));
    first = end;
  }
}

// The FSInfo sector of a FAT32 volume, when it carries its three signatures.
std::optional<std::string> ReadFsInfo(const FatVolume& volume, std::uint64_t& device_offset) {
  const FatGeometry& g = volume.geometry();
  if (g.type != FatType::kFat32 || g.fsinfo_sector == 0) return std::nullopt;
  device_offset = volume.offset() + std::uint64_t{g.fsinfo_sector} * g.bytes_per_sector;
  std::string sector;
  if (!volume.device().Read(device_offset, 512, sector) ||
      ReadLe32(sector, 0) != kFsInfoLeadSignature ||
      ReadLe32(sector, 484) != kFsInfoStructSignature ||
      ReadLe32(sector, 508) != kFsInfoTrailSignature) {
    return std::nullopt;
  }
  return sector;
}

// The plan's FAT copies as they change from step to step.
class TablesInProgress {
 public:
  explicit TablesInProgress(const FatVolume& volume) : volume_(volume), tables_(volume.fats()) {
    fsinfo_ = ReadFsInfo(volume, fsinfo_offset_);
  }

  // Sets the entries in every copy and appends the writes of what changed.
  void Set(const std::vector<std::uint32_t>& clusters, const std::vector<std::uint32_t>& values,
           std::vector<DeviceStep>& steps) {
    for (std::uint32_t copy = 0; copy < tables_.size(); ++copy) {
      const std::string before = tables_[copy].bytes();
      for (std::size_t i = 0; i < clusters.size(); ++i) tables_[copy].Set(clusters[i], values[i]);
      AppendTableWrites(volume_, copy, before, tables_[copy].bytes(), steps);
    }
    AppendFsInfoWrite(steps);
  }

 private:
  // FSInfo's free count and next-free hint, as the first copy now has them.
  void AppendFsInfoWrite(std::vector<DeviceStep>& steps) {
    if (!fsinfo_) return;
    std::uint32_t free_count = 0;
    std::uint32_t first_free = kUnknown;
    for (std::uint32_t cluster = 2; volume_.geometry().IsDataCluster(cluster); ++cluster) {
      if (tables_[0].Get(cluster) != 0) continue;
      ++free_count;
      first_free = std::min(first_free, cluster);
    }
    WriteLe32(*fsinfo_, 488, free_count);
    WriteLe32(*fsinfo_, 492, first_free);
    steps.push_back(DeviceStep::WriteAt(fsinfo_offset_, *fsinfo_));
  }

  const FatVolume& volume_;
  std::vector<FatTable> tables_;
  std::optional<std::string> fsinfo_;
  std::uint64_t fsinfo_offset_ = 0;
};

std::string CommittedEntry(const DirEntry& file, std::uint32_t first_cluster, std::uint32_t size,
                           FatTimestamp modified, bool fat32) {
  std::string entry = file.raw;
  if (fat32) WriteLe16(entry, 20, static_cast<std::uint16_t>(first_cluster >> 16));
  WriteLe16(entry, 22, modified.time);
  WriteLe16(entry, 24, modified.date);
  WriteLe16(entry, 26, static_cast<std::uint16_t>(first_cluster & 0xFFFF));
  WriteLe32(entry, 28, size);
  return entry;
}

}  // namespace

std::optional<FatTimestamp> MakeFatTimestamp(int year, int month, int day, int hour, int minute,
                                             int second) {
  if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
      hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  return FatTimestamp{static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day),
                      static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2))};
}

std::optional<std::vector<DeviceStep>> PlanReplacement(const FatVolume& volume,
                                                       const VolumeMap& map, const DirEntry& file,
                                                       std::string_view contents,
                                                       FatTimestamp modified) {
  const FatGeometry& g = volume.geometry();
  const std::uint64_t needed = ClustersFor(g, contents.size());
  const std::optional<std::vector<std::uint32_t>> old_chain = volume.FileChain(file);
  if (file.Has(fat_attribute::kReadOnly | fat_attribute::kDirectory |
               fat_attribute::kVolumeLabel) ||
      contents.size() > 0xFFFFFFFF || needed > map.free_clusters.size() || !old_chain) {
    return std::nullopt;
  }
  const std::vector<std::uint32_t> fresh = PickClusters(map.free_clusters, needed);
  if (!CopiesAgree(volume, fresh) || !CopiesAgree(volume, *old_chain)) return std::nullopt;

  std::vector<DeviceStep> steps;
  TablesInProgress tables(volume);
  if (!fresh.empty()) {
    AppendDataWrites(volume, fresh, contents, steps);
    std::vector<std::uint32_t> links(fresh.begin() + 1, fresh.end());
    links.push_back(EndOfChainMark(g.type));
    tables.Set(fresh, links, steps);
    steps.push_back(DeviceStep::SyncPoint());
  }

  const std::uint32_t first = fresh.empty() ? 0 : fresh[0];
  steps.push_back(DeviceStep::WriteAt(
      file.device_offset, CommittedEntry(file, first, static_cast<std::uint32_t>(contents.size()),
                                         modified, g.type == FatType::kFat32)));
  steps.push_back(DeviceStep::SyncPoint());

  if (!old_chain->empty()) {
    tables.Set(*old_chain, std::vector<std::uint32_t>(old_chain->size(), 0), steps);
    steps.push_back(DeviceStep::SyncPoint());
  }
  return steps;
}
