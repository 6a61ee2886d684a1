#include "fat/volume_check.h"

#include <algorithm>

namespace {

class ChainMarker {
 public:
  explicit ChainMarker(const FatGeometry& g) : reached_(std::size_t{g.cluster_count} + 2) {}
  // False when a cluster was already reached by another chain or earlier in this one.
  bool Mark(const std::vector<std::uint32_t>& chain) {
    return std::all_of(chain.begin(), chain.end(), [this](std::uint32_t cluster) {
      const bool first_time = !reached_[cluster];
      reached_[cluster] = true;
      return first_time;
    });
  }
  bool Reached(std::uint32_t cluster) const { return reached_[cluster]; }

 private:
  std::vector<bool> reached_;
};

bool IsFreeInEveryCopy(const FatVolume& volume, std::uint32_t cluster) {
  return std::all_of(volume.fats().begin(), volume.fats().end(),
                     [cluster](const FatTable& fat) { return fat.Get(cluster) == 0; });
}

// Marks the chains of a directory's entries and queues its subdirectories.
bool WalkDirectory(const FatVolume& volume, std::uint32_t directory, ChainMarker& marker,
                   std::vector<std::uint32_t>& pending) {
  const std::optional<std::vector<DirEntry>> entries = volume.ReadDirectory(directory);
  if (!entries) return false;
  for (const DirEntry& entry : *entries) {
    if (entry.Has(fat_attribute::kVolumeLabel)) continue;
    if (entry.IsDotEntry()) {
      // Only a subdirectory starts with the "." and ".." folders.
      if (directory == 0 || !entry.Has(fat_attribute::kDirectory)) return false;
      continue;
    }
    std::optional<std::vector<std::uint32_t>> chain;
    if (entry.Has(fat_attribute::kDirectory)) {
      chain = FollowChain(volume.fats()[0], volume.geometry(), entry.first_cluster);
      pending.push_back(entry.first_cluster);
    } else {
      chain = volume.FileChain(entry);
    }
    if (!chain || !marker.Mark(*chain)) return false;
  }
  return true;
}

}  // namespace

std::optional<VolumeMap> CheckVolume(const FatVolume& volume) {
  const FatGeometry& g = volume.geometry();
  ChainMarker marker(g);
  if (g.type == FatType::kFat32) {
    const auto root = FollowChain(volume.fats()[0], g, g.root_cluster);
    if (!root || !marker.Mark(*root)) return std::nullopt;
  }
  std::vector<std::uint32_t> pending = {0};
  while (!pending.empty()) {
    const std::uint32_t directory = pending.back();
    pending.pop_back();
    if (!WalkDirectory(volume, directory, marker, pending)) return std::nullopt;
  }
  VolumeMap map;
  for (std::uint32_t cluster = 2; g.IsDataCluster(cluster); ++cluster) {
    if (!marker.Reached(cluster) && IsFreeInEveryCopy(volume, cluster)) {
      map.free_clusters.push_back(cluster);
    }
  }
  return map;
}

std::optional<std::vector<DirEntry>> FindWindowsFolders(const FatVolume& volume) {
  const std::optional<std::vector<DirEntry>> root = volume.ReadDirectory(0);
  if (!root) return std::nullopt;
  std::vector<DirEntry> folders;
  for (const DirEntry& entry : *root) {
    if (!entry.Has(fat_attribute::kDirectory) || entry.Has(fat_attribute::kVolumeLabel) ||
        entry.IsDotEntry()) {
      continue;
    }
    if (entry.first_cluster == 0) return std::nullopt;
    const std::optional<std::vector<DirEntry>> inside = volume.ReadDirectory(entry.first_cluster);
    if (!inside) return std::nullopt;
    const auto has = [&inside](const char* name, bool directory) {
      return std::any_of(inside->begin(), inside->end(), [&](const DirEntry& e) {
        return !e.Has(fat_attribute::kVolumeLabel) &&
               e.Has(fat_attribute::kDirectory) == directory && e.Matches(name);
      });
    };
    if (has("INF", true) && has("SYSTEM.DAT", false)) folders.push_back(entry);
  }
  return folders;
}
