#include "fat/fat_volume.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support/fat_image.h"

namespace {

std::string Pattern(std::size_t size, char seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7 + i / 251);
  return bytes;
}

// A Windows tree on a volume, with a file fragmented around a deleted one.
// On FAT32 mtools allocates from FSInfo's next-free hint, so the hint is
// forgotten (set to 0xFFFFFFFF) to make it fill the hole.
void FillWindowsTree(const TestImage& image, FatType type) {
  ASSERT_TRUE(image.Mtools("mmd", "::WINDOWS ::WINDOWS/INF ::WINDOWS/SYSTEM"));
  ASSERT_TRUE(image.Put("::WINDOWS/INF/MACHINE.INF", Pattern(3000, 'm')));
  ASSERT_TRUE(image.Put("::WINDOWS/INF/gap.txt", Pattern(5000, 'g')));
  ASSERT_TRUE(image.Put("::WINDOWS/INF/usb.inf", Pattern(700, 'u')));
  ASSERT_TRUE(image.Mtools("mdel", "::WINDOWS/INF/gap.txt"));
  if (type == FatType::kFat32) {
    ASSERT_TRUE(Shell("printf '\\377\\377\\377\\377' | dd of='" + image.path() +
                      "' bs=1 seek=1004 conv=notrunc status=none"));
  }
  ASSERT_TRUE(image.Put("::WINDOWS/INF/Fragmented Long Name.inf", Pattern(20000, 'f')));
  ASSERT_TRUE(image.Put("::WINDOWS/SYSTEM.DAT", Pattern(9000, 's')));
  ASSERT_TRUE(image.Put("::WINDOWS/empty.txt", ""));
  ASSERT_TRUE(image.Mtools("mattrib", "+r +h +s ::WINDOWS/SYSTEM.DAT"));
}

struct VolumeCase {
  const char* what;
  std::string make;
  FatType type;
};

class FatVolumeOnToolImages : public testing::TestWithParam<VolumeCase> {};

TEST_P(FatVolumeOnToolImages, FindsAndReadsEveryFileAsMtoolsWroteIt) {
  const TestImage image(GetParam().make, 0);
  ASSERT_TRUE(image.made());
  FillWindowsTree(image, GetParam().type);
  FileDevice device(image.path());
  const auto volume = FatVolume::Open(device, 0, device.Size());
  ASSERT_TRUE(volume);
  EXPECT_EQ(volume->geometry().type, GetParam().type);
  const struct {
    const char* path;
    std::string bytes;
  } files[] = {
      {"WINDOWS\\INF\\MACHINE.INF", Pattern(3000, 'm')},
      {"windows\\inf\\machine.inf", Pattern(3000, 'm')},
      {"WINDOWS\\INF\\USB.INF", Pattern(700, 'u')},
      {"Windows\\Inf\\fragmented long name.INF", Pattern(20000, 'f')},
      {"WINDOWS\\INF\\FRAGME~1.INF", Pattern(20000, 'f')},
      {"WINDOWS\\SYSTEM.DAT", Pattern(9000, 's')},
      {"WINDOWS\\EMPTY.TXT", ""},
  };
  for (const auto& file : files) {
    const auto entry = volume->Lookup(file.path);
    ASSERT_TRUE(entry) << file.path;
    EXPECT_EQ(volume->ReadFile(*entry), file.bytes) << file.path;
  }
  const auto fragmented = volume->Lookup("WINDOWS\\INF\\Fragmented Long Name.inf");
  const auto chain = volume->FileChain(*fragmented);
  ASSERT_TRUE(chain);
  bool contiguous = true;
  for (std::size_t i = 1; i < chain->size(); ++i) contiguous &= (*chain)[i] == (*chain)[i - 1] + 1;
  EXPECT_FALSE(contiguous) << "mtools was expected to fill the deleted file's hole first";

  const auto system_dat = volume->Lookup("WINDOWS\\SYSTEM.DAT");
  EXPECT_EQ(system_dat->attributes & 0x3F, 0x27);
  EXPECT_TRUE(volume->Lookup("WINDOWS\\INF")->Has(fat_attribute::kDirectory));
  EXPECT_FALSE(volume->Lookup("WINDOWS\\INF\\GAP.TXT"));
  EXPECT_FALSE(volume->Lookup("WINDOWS\\SYSTEM.DAT\\X"));
  EXPECT_FALSE(volume->Lookup("WINDOWS\\.."));
  EXPECT_FALSE(volume->Lookup("WINDOWS\\"));
  EXPECT_FALSE(volume->Lookup(""));
}

TEST_P(FatVolumeOnToolImages, GivesEachEntryTheDeviceOffsetOfItsShortSlot) {
  const TestImage image(GetParam().make, 0);
  ASSERT_TRUE(image.made());
  FillWindowsTree(image, GetParam().type);
  FileDevice device(image.path());
  const auto volume = FatVolume::Open(device, 0, device.Size());
  ASSERT_TRUE(volume);
  for (const char* path : {"WINDOWS", "WINDOWS\\SYSTEM.DAT", "WINDOWS\\INF\\USB.INF"}) {
    const auto entry = volume->Lookup(path);
    ASSERT_TRUE(entry) << path;
    std::string slot;
    ASSERT_TRUE(device.Read(entry->device_offset, kDirEntryBytes, slot));
    EXPECT_EQ(slot, entry->raw) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Types, FatVolumeOnToolImages,
    testing::Values(VolumeCase{"floppy", TestImage::Bare("1440K", ""), FatType::kFat12},
                    VolumeCase{"fat16", TestImage::Bare("64M", "-F 16"), FatType::kFat16},
                    VolumeCase{"fat32", TestImage::Bare("2G", "-F 32"), FatType::kFat32}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(FatVolumeTest, RefusesTruncatedImagesAndOffsetsPastTheDevice) {
  const TestImage image(TestImage::Bare("1440K", ""), 0);
  ASSERT_TRUE(image.made());
  const std::string bytes = image.Bytes();
  MemoryDevice whole(bytes);
  EXPECT_TRUE(FatVolume::Open(whole, 0, bytes.size()));
  EXPECT_FALSE(FatVolume::Open(whole, 0, bytes.size() + 1));
  EXPECT_FALSE(FatVolume::Open(whole, 512, bytes.size() - 512));
  EXPECT_FALSE(FatVolume::Open(whole, bytes.size() + 1, 0));
  MemoryDevice truncated(bytes.substr(0, bytes.size() - 512));
  EXPECT_FALSE(FatVolume::Open(truncated, 0, truncated.Size()));
  MemoryDevice boot_only(bytes.substr(0, 512));
  EXPECT_FALSE(FatVolume::Open(boot_only, 0, 1474560));
}

}  // namespace
