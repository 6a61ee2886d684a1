// Any bytes as a disk image file: detection never reads out of bounds, a VHD
// it accepts has its blocks inside the file apart from each other, its disk
// reads through the device, and a write into a dynamic disk of small blocks
// leaves a VHD that DetectImage accepts and that reads back the write.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/require.h"
#include "image/block_device.h"
#include "vhd/image_detect.h"
#include "vhd/vhd_device.h"

namespace {

std::string BlocksViolation(const VhdLayout& layout) {
  const std::uint64_t extent = VhdBitmapSize(layout.header.block_size) + layout.header.block_size;
  for (const std::uint32_t sector : layout.table) {
    if (sector == kVhdUnallocated) continue;
    const std::uint64_t start = std::uint64_t{sector} * kVhdSector;
    if (start < kVhdFooterSize || start + extent > layout.footer_offset) {
      return "an accepted block lies outside the file's data";
    }
    for (const std::uint32_t other : layout.table) {
      const std::uint64_t other_start = std::uint64_t{other} * kVhdSector;
      if (other != kVhdUnallocated && other != sector && other_start < start + extent &&
          start < other_start + extent) {
        return "accepted blocks overlap";
      }
    }
  }
  return "";
}

std::string ReadViolation(VhdDevice& device) {
  const std::uint64_t size = device.Size();
  const std::size_t part = size < 65536 ? static_cast<std::size_t>(size) : 65536;
  std::string bytes;
  if (!device.Read(0, part, bytes) || !device.Read(size - part, part, bytes)) {
    return "an accepted VHD's disk cannot be read";
  }
  return "";
}

std::string WriteViolation(MemoryDevice& file, VhdDevice& device, const std::string& footer) {
  const std::uint64_t offset = device.Size() / 2;
  if (!device.Write(offset, "fuzz")) return "a write into an accepted VHD failed";
  const ImageDetection after = DetectImage(file);
  if (after.kind != ImageKind::kDynamicVhd) return "a written VHD is refused: " + after.problem;
  if (file.bytes().substr(file.bytes().size() - footer.size()) != footer) {
    return "a write changed the footer";
  }
  VhdDevice reopened(file, after.layout);
  std::string bytes;
  if (!reopened.Read(offset, 4, bytes) || bytes != "fuzz") return "a write does not read back";
  return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryDevice file(std::string(reinterpret_cast<const char*>(data), size), MemoryDevice::kGrows);
  const ImageDetection detection = DetectImage(file);
  if (detection.kind == ImageKind::kRaw || detection.kind == ImageKind::kRefused) return 0;
  Require(BlocksViolation(detection.layout));
  VhdDevice device(file, detection.layout);
  Require(ReadViolation(device));
  const bool small_blocks = detection.layout.header.block_size <= 65536;
  if (detection.kind == ImageKind::kDynamicVhd && small_blocks && device.Size() >= 8) {
    Require(WriteViolation(file, device, detection.layout.footer_bytes));
  }
  return 0;
}
