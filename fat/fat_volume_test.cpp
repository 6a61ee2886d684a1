#include "fat/fat_volume.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support/fat_image.h"
#include "test_support/fat_tree.h"

namespace {

class FatVolumeOnToolImages : public testing::TestWithParam<VolumeKind> {};

TEST_P(FatVolumeOnToolImages, FindsAndReadsEveryFileAsMtoolsWroteIt) {
  FilledVolume filled(GetParam());
  ASSERT_TRUE(filled.volume);
  const std::optional<FatVolume>& volume = filled.volume;
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
  FilledVolume filled(GetParam());
  ASSERT_TRUE(filled.volume);
  const std::optional<FatVolume>& volume = filled.volume;
  FileDevice& device = *filled.device;
  for (const char* path : {"WINDOWS", "WINDOWS\\SYSTEM.DAT", "WINDOWS\\INF\\USB.INF"}) {
    const auto entry = volume->Lookup(path);
    ASSERT_TRUE(entry) << path;
    std::string slot;
    ASSERT_TRUE(device.Read(entry->device_offset, kDirEntryBytes, slot));
    EXPECT_EQ(slot, entry->raw) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, FatVolumeOnToolImages, testing::ValuesIn(VolumeKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

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
