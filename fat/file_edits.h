// Small in-place writes into a file's existing bytes, such as the registry
// editor makes in SYSTEM.DAT, mapped through the file's cluster chain to
// device offsets. The FAT and the directory stay as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fat/directory.h"
#include "fat/fat_volume.h"
#include "image/block_device.h"

struct FileEdit {
  std::uint64_t offset = 0;  // within the file
  std::string bytes;
};

// The device writes of the edits, in order, split where they cross from one
// cluster to another, then one sync. Nothing when an edit reaches past the
// file's size or the file's chain is broken.
std::optional<std::vector<DeviceStep>> MapFileEdits(const FatVolume& volume, const DirEntry& file,
                                                    const std::vector<FileEdit>& edits);
