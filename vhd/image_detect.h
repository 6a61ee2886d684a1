// What a disk image file holds, told by its content alone: a raw disk, a fixed
// or dynamic VHD checked throughout, or a format this program refuses with a
// reason a caller can print.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/block_device.h"
#include "vhd/vhd_format.h"

struct VhdLayout {
  VhdFooter footer;
  std::string footer_bytes;  // as found at the end, 512 or 511 of them
  std::uint64_t footer_offset = 0;
  VhdHeader header;                  // dynamic disks only
  std::vector<std::uint32_t> table;  // dynamic disks only: first sector of each block
};

enum class ImageKind { kRaw, kFixedVhd, kDynamicVhd, kRefused };

struct ImageDetection {
  ImageKind kind = ImageKind::kRaw;
  std::string problem;  // why a refused image is refused
  VhdLayout layout;     // for the VHD kinds
};

// A file ending in a VHD footer, or starting with a dynamic VHD's copy of one,
// is a VHD; a VHDX, qcow2, VDI or VMDK image is refused; any other file is raw.
// A dynamic VHD's header, table and blocks must lie inside the file between
// the two footers without overlapping, and its table must cover the disk.
ImageDetection DetectImage(BlockDevice& file);
