// The whole-volume check made before any write, and the Windows folder search.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fat/directory.h"
#include "fat/fat_volume.h"

struct VolumeMap {
  // Data clusters that are free in every FAT copy and that no chain reaches, ascending.
  std::vector<std::uint32_t> free_clusters;
};

// Walks every directory from the root and every chain in them. Nothing when a
// directory cannot be read, a chain loops, leaves the data clusters, is not
// as long as its file needs, or shares a cluster with another chain, or when
// a "." or ".." entry is no folder or lies in the root.
std::optional<VolumeMap> CheckVolume(const FatVolume& volume);

// The folders at the root that hold an INF folder and a SYSTEM.DAT file: one
// for a Windows tree, none or several for the caller to report. Nothing when
// a directory cannot be read.
std::optional<std::vector<DirEntry>> FindWindowsFolders(const FatVolume& volume);
