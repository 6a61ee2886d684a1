// Changes to a FAT volume held in a memory device, for tests that need a
// broken or particular volume: FAT entries in chosen copies, and fields of a
// directory entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fat/fat_volume.h"
#include "image/block_device.h"
#include "image/little_endian.h"

inline void SetFatEntry(MemoryDevice& device, const FatVolume& volume, std::uint32_t cluster,
                        std::uint32_t value, const std::vector<std::uint32_t>& copies) {
  for (const std::uint32_t copy : copies) {
    FatTable fat = volume.fats()[copy];
    fat.Set(cluster, value);
    const std::size_t at = fat.EntryOffset(cluster);
    device.Write(volume.offset() + volume.geometry().FatOffset(copy) + at,
                 fat.bytes().substr(at, fat.EntryWidth()));
  }
}

// Rewrites a 16- or 32-bit field of a directory entry, e.g. 26 for the first
// cluster or 28 for the size.
inline void SetEntryField(MemoryDevice& device, const DirEntry& entry, std::size_t field,
                          std::uint32_t value, std::size_t width) {
  std::string bytes(width, '\0');
  WriteLe(bytes, 0, width, value);
  device.Write(entry.device_offset + field, bytes);
}
