// The FAT volumes of a disk image: a bare volume, or the FAT partitions of an
// MBR, primary and logical ones in the EBR chain of an extended partition.
#pragma once

#include <cstdint>
#include <vector>

#include "image/block_device.h"

struct VolumeExtent {
  std::uint64_t offset = 0;  // bytes from the start of the device
  std::uint64_t size = 0;
  bool operator==(const VolumeExtent& other) const {
    return offset == other.offset && size == other.size;
  }
};

// A device whose first sector holds a FAT BPB is one volume. Otherwise, when
// that sector is an MBR, the volumes are its partitions of types 01, 04, 06,
// 0B, 0C and 0E, primary first, then the logical ones of each extended
// partition (05, 0F) in chain order, each holding a FAT BPB that fits in it.
// Entries that reach past the device or their extended partition are
// skipped; an EBR chain stops at a link outside it or back to a visited EBR.
std::vector<VolumeExtent> FindFatVolumes(BlockDevice& device);
