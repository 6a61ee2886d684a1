#include "mbr/partition_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fat/fat_volume.h"
#include "image/little_endian.h"
#include "test_support/fat_image.h"

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint32_t kVolumeSectors = 2048;

// The boot sector of a 1 MiB FAT12 volume made by mkfs.fat.
const std::string& BootSector() {
  static const std::string sector = [] {
    const TestImage image(TestImage::Bare("1M", ""), 0);
    return image.Bytes().substr(0, kSector);
  }();
  return sector;
}

struct Slot {
  std::uint8_t type;
  std::uint32_t start;
  std::uint32_t sectors;
};

// A partition table sector with up to four entries.
std::string Table(const std::vector<Slot>& slots) {
  std::string sector(kSector, '\0');
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const std::size_t at = 0x1BE + 16 * i;
    sector[at + 4] = static_cast<char>(slots[i].type);
    WriteLe32(sector, at + 8, slots[i].start);
    WriteLe32(sector, at + 12, slots[i].sectors);
  }
  sector[510] = 0x55;
  sector[511] = static_cast<char>(0xAA);
  return sector;
}

// An image of the sectors with the given sectors placed at their numbers.
std::string Disk(std::uint64_t sectors,
                 const std::vector<std::pair<std::uint64_t, std::string>>& at) {
  std::string bytes(sectors * kSector, '\0');
  for (const auto& [sector, content] : at) bytes.replace(sector * kSector, content.size(), content);
  return bytes;
}

std::vector<VolumeExtent> Find(const std::string& bytes) {
  MemoryDevice device(bytes);
  return FindFatVolumes(device);
}

VolumeExtent Extent(std::uint64_t start, std::uint64_t sectors) {
  return {start * kSector, sectors * kSector};
}

TEST(FindFatVolumesTest, ABareVolumeIsTheWholeDevice) {
  ASSERT_EQ(BootSector().size(), kSector);
  const std::string bytes = Disk(kVolumeSectors + 5, {{0, BootSector()}});
  EXPECT_EQ(Find(bytes), std::vector<VolumeExtent>{Extent(0, kVolumeSectors + 5)});
}

TEST(FindFatVolumesTest, TakesPrimaryPartitionsOfTheFatTypesOnly) {
  const std::vector<std::uint8_t> fat_types = {0x01, 0x04, 0x06, 0x0B, 0x0C, 0x0E};
  for (const std::uint8_t type : fat_types) {
    const std::string bytes =
        Disk(3000, {{0, Table({{type, 100, kVolumeSectors}})}, {100, BootSector()}});
    EXPECT_EQ(Find(bytes), std::vector<VolumeExtent>{Extent(100, kVolumeSectors)}) << int{type};
  }
  for (const std::uint8_t type : {0x07, 0x83, 0x0D, 0x1B, 0x00}) {
    const std::string bytes =
        Disk(3000, {{0, Table({{type, 100, kVolumeSectors}})}, {100, BootSector()}});
    EXPECT_TRUE(Find(bytes).empty()) << int{type};
  }
}

TEST(FindFatVolumesTest, SkipsPartitionsWithoutAFittingBpbOrPastTheDevice) {
  const std::string bytes = Disk(6000, {{0, Table({{0x06, 10, kVolumeSectors},
                                                   {0x06, 2100, kVolumeSectors - 1},
                                                   {0x06, 4200, kVolumeSectors},
                                                   {0x0C, 4100, 50}})},
                                        {2100, BootSector()},
                                        {4200, BootSector()}});
  // The first has no boot sector, the second is smaller than its BPB, the
  // third ends past the device's 6000 sectors, the fourth holds zeros.
  EXPECT_TRUE(Find(bytes).empty());
  EXPECT_EQ(Find(bytes + std::string(248 * kSector, '\0')),
            std::vector<VolumeExtent>{Extent(4200, kVolumeSectors)});
}

TEST(FindFatVolumesTest, FollowsTheEbrChainRelativeToTheExtendedStart) {
  // Extended partition at 1000; EBRs at 1000 and 4000 (1000 + 3000).
  for (const std::uint8_t extended_type : {0x05, 0x0F}) {
    const std::string bytes =
        Disk(8000, {{0, Table({{0x06, 10, 900}, {extended_type, 1000, 7000}})},
                    {1000, Table({{0x0B, 20, kVolumeSectors}, {0x05, 3000, 2100}})},
                    {1020, BootSector()},
                    {4000, Table({{0x0E, 100, kVolumeSectors}})},
                    {4100, BootSector()}});
    EXPECT_EQ(Find(bytes), (std::vector<VolumeExtent>{Extent(1020, kVolumeSectors),
                                                      Extent(4100, kVolumeSectors)}))
        << int{extended_type};
  }
}

TEST(FindFatVolumesTest, StopsAtEbrLoopsAndLinksOutsideTheExtendedPartition) {
  const struct {
    const char* what;
    std::uint32_t next_start;  // relative to the extended partition
  } cases[] = {{"back to the first EBR", 0}, {"to itself", 3000}, {"past the end", 7000}};
  for (const auto& c : cases) {
    const std::string bytes =
        Disk(8000, {{0, Table({{0x0F, 1000, 7000}})},
                    {1000, Table({{0x0B, 20, kVolumeSectors}, {0x05, 3000, 100}})},
                    {1020, BootSector()},
                    {4000, Table({{0x0E, 100, kVolumeSectors}, {0x05, c.next_start, 100}})},
                    {4100, BootSector()}});
    EXPECT_EQ(Find(bytes), (std::vector<VolumeExtent>{Extent(1020, kVolumeSectors),
                                                      Extent(4100, kVolumeSectors)}))
        << c.what;
  }
}

TEST(FindFatVolumesTest, SkipsLogicalPartitionsReachingPastTheExtendedOne) {
  const std::string bytes = Disk(8000, {{0, Table({{0x05, 1000, 2000}})},
                                        {1000, Table({{0x0B, 20, kVolumeSectors}})},
                                        {1020, BootSector()}});
  EXPECT_TRUE(Find(bytes).empty());
}

TEST(FindFatVolumesTest, AnImageThatIsNeitherHasNone) {
  std::string bad_flag = Table({{0x06, 100, kVolumeSectors}});
  bad_flag[0x1BE] = 0x01;
  std::string no_signature = Table({{0x06, 100, kVolumeSectors}});
  no_signature[511] = 0;
  for (const std::string& first : {std::string(kSector, '\0'), bad_flag, no_signature}) {
    EXPECT_TRUE(Find(Disk(3000, {{0, first}, {100, BootSector()}})).empty());
  }
  EXPECT_TRUE(Find(std::string(511, '\0')).empty());
  EXPECT_TRUE(Find(BootSector().substr(0, 511)).empty());
}

TEST(FindFatVolumesTest, FindsThePartitionsSfdiskAndMkfsFatMade) {
  const TestImage image(
      "truncate -s 40M \"$IMG\" && printf 'label: dos\\nstart=2048, size=20480, type=6\\n"
      "start=22528, size=57344, type=f\\nstart=24576, size=20480, type=e\\n"
      "start=47104, size=30000, type=c\\n' | sfdisk \"$IMG\" && "
      "mkfs.fat --offset 2048 \"$IMG\" 10240 && mkfs.fat --offset 24576 \"$IMG\" 10240 && "
      "mkfs.fat --offset 47104 \"$IMG\" 15000",
      24576 * kSector);
  ASSERT_TRUE(image.made());
  ASSERT_TRUE(image.Put("::LOGICAL.TXT", "on the first logical volume"));
  FileDevice device(image.path());
  const std::vector<VolumeExtent> volumes = FindFatVolumes(device);
  ASSERT_EQ(volumes, (std::vector<VolumeExtent>{Extent(2048, 20480), Extent(24576, 20480),
                                                Extent(47104, 30000)}));
  const auto volume = FatVolume::Open(device, volumes[1].offset, volumes[1].size);
  ASSERT_TRUE(volume);
  const auto entry = volume->Lookup("logical.txt");
  ASSERT_TRUE(entry);
  EXPECT_EQ(volume->ReadFile(*entry), "on the first logical volume");
}

}  // namespace
