// The virtual disk of a fixed or dynamic VHD as a block device, on top of the
// VHD file. A dynamic disk's unallocated blocks, and the sectors its bitmaps
// mark absent, read as zeros; a write into an unallocated block appends the
// block to the file in steps that leave a valid VHD after any prefix of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/block_device.h"
#include "vhd/image_detect.h"

class VhdDevice : public BlockDevice {
 public:
  // The layout is DetectImage's for the file, of a fixed or dynamic VHD.
  VhdDevice(GrowableDevice& file, VhdLayout layout);

  bool Read(std::uint64_t offset, std::size_t size, std::string& out) override;
  bool Write(std::uint64_t offset, std::string_view bytes) override;
  bool Sync() override { return file_->Sync(); }
  std::uint64_t Size() const override { return layout_.footer.current_size; }

  // True when the range lies inside the disk and writing it would allocate
  // nothing, so that new data can be placed where the file need not grow.
  bool IsAllocated(std::uint64_t offset, std::uint64_t size) const;

 private:
  bool InRange(std::uint64_t offset, std::uint64_t size) const;
  bool Dynamic() const { return layout_.footer.type == VhdType::kDynamic; }
  std::uint64_t BitmapOffset(std::uint64_t block) const;
  std::uint64_t DataOffset(std::uint64_t block) const;
  // Bit of each sector of the block's range; sector 0 is the first bit's top one.
  bool ReadBitmap(std::uint64_t block, std::uint64_t first_sector, std::uint64_t last_sector,
                  std::string& bitmap);
  bool ReadInBlock(std::uint64_t block, std::uint64_t within, std::size_t size, std::string& out);
  bool WriteInBlock(std::uint64_t block, std::uint64_t within, std::string_view bytes);
  bool WriteAllocated(std::uint64_t block, std::uint64_t within, std::string_view bytes);
  bool Allocate(std::uint64_t block, std::uint64_t within, std::string_view bytes);
  std::string FullBitmap() const;

  GrowableDevice* file_;
  VhdLayout layout_;
  std::uint64_t bitmap_size_ = 0;
};
