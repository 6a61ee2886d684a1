#include "image_tree/image_tree.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace {

struct Choice {
  std::optional<std::size_t> volume;  // counted from 1; any when none
  std::string folder;                 // backslash-separated; found when empty
};

// "[N][/FOLDER]", slashes or backslashes, with any separators around.
Choice ParseChoice(std::string_view text) {
  std::string path(text);
  std::replace(path.begin(), path.end(), '/', '\\');
  path.erase(0, path.find_first_not_of('\\'));
  path.erase(path.find_last_not_of('\\') + 1);
  const std::string first = path.substr(0, path.find('\\'));
  Choice choice{std::nullopt, path};
  if (!first.empty() && first.size() <= 3 &&
      first.find_first_not_of("0123456789") == std::string::npos) {
    choice.volume = std::stoul(first);
    choice.folder = path.substr(std::min(path.size(), first.size() + 1));
  }
  return choice;
}

// The Windows folders that a volume holds: the one named, if it is a folder,
// or those that hold an INF folder and SYSTEM.DAT.
std::vector<std::string> WindowsFolders(const FatVolume& volume, const std::string& folder) {
  std::vector<std::string> found;
  if (!folder.empty()) {
    const std::optional<DirEntry> entry = volume.Lookup(folder);
    if (entry && entry->Has(fat_attribute::kDirectory)) found.push_back(folder);
  } else if (const auto folders = FindWindowsFolders(volume)) {
    for (const DirEntry& entry : *folders) found.push_back(entry.short_name);
  }
  return found;
}

}  // namespace

std::optional<ImageTree> ImageTree::Open(BlockDevice& device, std::string_view choice,
                                         AllocatedRange allocated) {
  const auto [number, folder] = ParseChoice(choice);
  const std::vector<VolumeExtent> volumes = FindFatVolumes(device);
  std::optional<ImageTree> found;
  std::size_t matches = 0;
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    if (number && *number != i + 1) continue;
    std::optional<FatVolume> volume = FatVolume::Open(device, volumes[i].offset, volumes[i].size);
    const std::vector<std::string> folders =
        volume ? WindowsFolders(*volume, folder) : std::vector<std::string>{};
    matches += folders.size();
    if (folders.size() == 1 && matches == 1) {
      found = ImageTree(device, volumes[i], folders.front(), std::move(*volume), {});
    }
  }
  if (matches != 1) return std::nullopt;
  std::optional<VolumeMap> map = CheckVolume(found->volume_);
  if (!map) return std::nullopt;
  found->map_ = std::move(*map);
  found->allocated_ = std::move(allocated);
  return found;
}

std::optional<DirEntry> ImageTree::Find(std::string_view path) const {
  std::optional<DirEntry> entry = volume_.Lookup(folder_ + "\\" + std::string(path));
  if (!entry || entry->Has(fat_attribute::kDirectory) || entry->Has(fat_attribute::kVolumeLabel)) {
    return std::nullopt;
  }
  return entry;
}

bool ImageTree::ReadFile(std::string_view path, std::string& bytes) const {
  const std::optional<DirEntry> entry = Find(path);
  std::optional<std::string> contents = entry ? volume_.ReadFile(*entry) : std::nullopt;
  if (!usable_ || !contents) return false;
  bytes = std::move(*contents);
  return true;
}

// After the steps ran, the FAT copies hold what they wrote (after some of
// them, the FATs are read again), and the free clusters are those of before
// and of the old chain that every FAT copy now marks free: whatever the steps
// reached, no file's chain leads to them.
bool ImageTree::ReplaceFile(std::string_view path, std::string_view contents,
                            FatTimestamp modified) {
  const std::optional<DirEntry> entry = usable_ ? Find(path) : std::nullopt;
  const std::optional<std::vector<std::uint32_t>> old_chain =
      entry ? volume_.FileChain(*entry) : std::nullopt;
  const std::optional<std::vector<DeviceStep>> steps =
      old_chain
          ? PlanReplacement(volume_, PreferredClusters(contents.size()), *entry, contents, modified)
          : std::nullopt;
  if (!steps) return false;
  const bool replaced = ApplySteps(*device_, *steps);
  if (replaced) {
    volume_.TakeWrites(*steps);
  } else {
    std::optional<FatVolume> volume = FatVolume::Open(*device_, extent_.offset, extent_.size);
    usable_ = volume.has_value();
    if (!usable_) return false;
    volume_ = std::move(*volume);
  }
  const auto taken = [this](std::uint32_t cluster) {
    return std::any_of(volume_.fats().begin(), volume_.fats().end(),
                       [cluster](const FatTable& fat) { return fat.Get(cluster) != 0; });
  };
  std::vector<std::uint32_t> freed = *old_chain;
  freed.erase(std::remove_if(freed.begin(), freed.end(), taken), freed.end());
  std::sort(freed.begin(), freed.end());
  std::vector<std::uint32_t>& free = map_.free_clusters;
  free.erase(std::remove_if(free.begin(), free.end(), taken), free.end());
  const auto middle = static_cast<std::ptrdiff_t>(free.size());
  free.insert(free.end(), freed.begin(), freed.end());
  std::inplace_merge(free.begin(), free.begin() + middle, free.end());
  return replaced;
}

// The free clusters whose bytes the device already holds, when they are
// enough for the contents; else all of them.
VolumeMap ImageTree::PreferredClusters(std::size_t size) const {
  if (!allocated_) return map_;
  const FatGeometry& geometry = volume_.geometry();
  VolumeMap preferred;
  for (const std::uint32_t cluster : map_.free_clusters) {
    if (allocated_(volume_.offset() + geometry.ClusterOffset(cluster), geometry.ClusterBytes())) {
      preferred.free_clusters.push_back(cluster);
    }
  }
  const std::uint64_t needed = (size + geometry.ClusterBytes() - 1) / geometry.ClusterBytes();
  return preferred.free_clusters.size() >= needed ? preferred : map_;
}

bool ImageTree::EditFile(std::string_view path, const std::vector<FileEdit>& edits) {
  const std::optional<DirEntry> entry = usable_ ? Find(path) : std::nullopt;
  const std::optional<std::vector<DeviceStep>> steps =
      entry ? MapFileEdits(volume_, *entry, edits) : std::nullopt;
  return steps && ApplySteps(*device_, *steps);
}
