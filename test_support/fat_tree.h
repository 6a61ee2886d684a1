// A small Windows tree written into a test image with mtools, with a file
// fragmented around a deleted one, and the images of each FAT type it goes on.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fat/boot_sector.h"
#include "fat/fat_volume.h"
#include "image/little_endian.h"
#include "test_support/fat_image.h"

// Bytes that differ from position to position and from seed to seed.
inline std::string Pattern(std::size_t size, char seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7 + i / 251);
  return bytes;
}

struct TreeFile {
  std::string path;  // as mtools names it, "::WINDOWS/INF/MACHINE.INF"
  std::string bytes;
};

inline std::vector<TreeFile> WindowsTreeFiles() {
  return {{"::WINDOWS/INF/MACHINE.INF", Pattern(3000, 'm')},
          {"::WINDOWS/INF/usb.inf", Pattern(700, 'u')},
          {"::WINDOWS/INF/Fragmented Long Name.inf", Pattern(20000, 'f')},
          {"::WINDOWS/SYSTEM.DAT", Pattern(9000, 's')},
          {"::WINDOWS/empty.txt", ""},
          {"::AUTOEXEC.BAT", Pattern(100, 'a')}};
}

// On FAT32 mtools allocates from FSInfo's next-free hint, so the hint is
// forgotten (set to 0xFFFFFFFF) to make it fill the deleted file's hole.
inline void FillWindowsTree(const TestImage& image, FatType type) {
  const std::vector<TreeFile> files = WindowsTreeFiles();
  ASSERT_TRUE(image.Mtools("mmd", "::WINDOWS ::WINDOWS/INF ::WINDOWS/SYSTEM"));
  ASSERT_TRUE(image.Put(files[0].path, files[0].bytes));
  ASSERT_TRUE(image.Put("::WINDOWS/INF/gap.txt", Pattern(5000, 'g')));
  ASSERT_TRUE(image.Put(files[1].path, files[1].bytes));
  ASSERT_TRUE(image.Mtools("mdel", "::WINDOWS/INF/gap.txt"));
  if (type == FatType::kFat32) {
    FileDevice device(image.path());
    std::string sector_size;
    ASSERT_TRUE(device.Read(image.offset() + 11, 2, sector_size));
    ASSERT_TRUE(device.Write(image.offset() + ReadLe16(sector_size, 0) + 492, "\xFF\xFF\xFF\xFF"));
  }
  for (std::size_t i = 2; i < files.size(); ++i)
    ASSERT_TRUE(image.Put(files[i].path, files[i].bytes));
  ASSERT_TRUE(image.Mtools("mattrib", "+r +h +s ::WINDOWS/SYSTEM.DAT"));
}

struct VolumeKind {
  const char* name;
  std::string make;
  std::uint64_t offset;
  FatType type;
};

// A floppy, a FAT16 and a sparse 2 GiB FAT32 volume, a FAT16 volume in a
// logical partition, and volumes of 2048- and 4096-byte sectors.
inline std::vector<VolumeKind> VolumeKinds() {
  return {
      {"floppy", TestImage::Bare("1440K", ""), 0, FatType::kFat12},
      {"fat16", TestImage::Bare("64M", "-F 16"), 0, FatType::kFat16},
      {"fat32", TestImage::Bare("2G", "-F 32"), 0, FatType::kFat32},
      {"logical",
       "truncate -s 40M \"$IMG\" && printf 'label: dos\\nstart=2048, size=20480, type=6\\n"
       "start=22528, size=57344, type=f\\nstart=24576, size=40000, type=e\\n' | sfdisk \"$IMG\" "
       "&& mkfs.fat -F 16 --offset 24576 \"$IMG\" 20000",
       24576 * 512, FatType::kFat16},
      {"fat12_2k_sectors", TestImage::Bare("8M", "-F 12 -S 2048"), 0, FatType::kFat12},
      {"fat32_4k_sectors", TestImage::Bare("300M", "-F 32 -S 4096 -s 1"), 0, FatType::kFat32},
  };
}

// An image of the kind holding the test tree, and its volume opened on a file
// device; volume is empty when any step failed.
struct FilledVolume {
  explicit FilledVolume(const VolumeKind& kind) : image(kind.make, kind.offset) {
    if (!image.made()) return;
    FillWindowsTree(image, kind.type);
    device.emplace(image.path());
    volume = FatVolume::Open(*device, kind.offset, device->Size() - kind.offset);
  }
  FilledVolume(const FilledVolume&) = delete;
  FilledVolume& operator=(const FilledVolume&) = delete;

  TestImage image;
  std::optional<FileDevice> device;  // the volume reads through it
  std::optional<FatVolume> volume;
};
