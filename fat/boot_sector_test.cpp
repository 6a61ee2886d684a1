#include "fat/boot_sector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "image/little_endian.h"

namespace {

struct Bpb {
  std::uint16_t bytes_per_sector = 512;
  std::uint8_t sectors_per_cluster = 1;
  std::uint16_t reserved = 1;
  std::uint8_t fats = 2;
  std::uint16_t root_entries = 224;
  std::uint32_t total_sectors = 2880;
  std::uint8_t media = 0xF0;
  std::uint32_t sectors_per_fat = 9;
  bool fat32_layout = false;  // FAT size and total in the 32-bit fields
  std::uint32_t root_cluster = 2;
};

std::string MakeBootSector(const Bpb& b) {
  std::string s(512, '\0');
  s[0] = static_cast<char>(0xEB);
  s[1] = 0x3C;
  s[2] = static_cast<char>(0x90);
  WriteLe16(s, 11, b.bytes_per_sector);
  s[13] = static_cast<char>(b.sectors_per_cluster);
  WriteLe16(s, 14, b.reserved);
  s[16] = static_cast<char>(b.fats);
  WriteLe16(s, 17, b.root_entries);
  s[21] = static_cast<char>(b.media);
  if (b.fat32_layout) {
    WriteLe32(s, 32, b.total_sectors);
    WriteLe32(s, 36, b.sectors_per_fat);
    WriteLe32(s, 44, b.root_cluster);
    WriteLe16(s, 48, 1);
  } else {
    if (b.total_sectors < 0x10000) {
      WriteLe16(s, 19, static_cast<std::uint16_t>(b.total_sectors));
    } else {
      WriteLe32(s, 32, b.total_sectors);
    }
    WriteLe16(s, 22, static_cast<std::uint16_t>(b.sectors_per_fat));
  }
  s[510] = 0x55;
  s[511] = static_cast<char>(0xAA);
  return s;
}

constexpr std::uint64_t kLarge = std::uint64_t{1} << 40;

TEST(ParseBootSectorTest, ReadsTheGeometryOfAFloppy) {
  const auto g = ParseBootSector(MakeBootSector({}), 1474560);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->type, FatType::kFat12);
  EXPECT_EQ(g->cluster_count, 2880U - 1 - 18 - 14);
  EXPECT_EQ(g->FatOffset(1), 512U * 10);
  EXPECT_EQ(g->RootDirectoryOffset(), 512U * 19);
  EXPECT_EQ(g->DataOffset(), 512U * 33);
  EXPECT_EQ(g->ClusterOffset(3), 512U * 34);
  EXPECT_TRUE(g->IsDataCluster(2));
  EXPECT_TRUE(g->IsDataCluster(2848));
  EXPECT_FALSE(g->IsDataCluster(2849));
  EXPECT_FALSE(g->IsDataCluster(1));
}

TEST(ParseBootSectorTest, ReadsAFat32Geometry) {
  Bpb b;
  b.fat32_layout = true;
  b.root_entries = 0;
  b.reserved = 32;
  b.sectors_per_cluster = 8;
  b.total_sectors = 4194304;
  b.sectors_per_fat = 4096;
  b.media = 0xF8;
  const auto g = ParseBootSector(MakeBootSector(b), std::uint64_t{4194304} * 512);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->type, FatType::kFat32);
  EXPECT_EQ(g->cluster_count, (4194304U - 32 - 8192) / 8);
  EXPECT_EQ(g->root_cluster, 2U);
  EXPECT_EQ(g->fsinfo_sector, 1U);
  EXPECT_EQ(g->DataOffset(), std::uint64_t{32 + 8192} * 512);
}

// One FAT, one root directory sector, FATs large enough for FAT32 entries:
// the cluster count alone decides the type.
Bpb WithClusterCount(std::uint32_t clusters) {
  Bpb b;
  b.fats = 1;
  b.root_entries = 16;
  b.sectors_per_fat = (clusters + 2) * 4 / 512 + 1;
  b.total_sectors = 1 + b.sectors_per_fat + 1 + clusters;
  return b;
}

TEST(ParseBootSectorTest, DecidesTheTypeByTheClusterCountAtTheLimits) {
  const struct {
    std::uint32_t clusters;
    FatType type;
  } cases[] = {{4084, FatType::kFat12},
               {4085, FatType::kFat16},
               {65524, FatType::kFat16},
               {65525, FatType::kFat32}};
  for (const auto& c : cases) {
    Bpb b = WithClusterCount(c.clusters);
    if (c.type == FatType::kFat32) {
      b.fat32_layout = true;
      b.root_entries = 0;
      b.reserved = 2;  // the boot sector and FSInfo; no root directory sector
    }
    const auto g = ParseBootSector(MakeBootSector(b), kLarge);
    ASSERT_TRUE(g) << c.clusters;
    EXPECT_EQ(g->cluster_count, c.clusters);
    EXPECT_EQ(g->type, c.type) << c.clusters;
  }
}

TEST(ParseBootSectorTest, RefusesImpossibleGeometry) {
  const struct {
    const char* what;
    std::function<void(Bpb&)> change;
    std::uint64_t volume_bytes;
  } cases[] = {
      {"sector of 256 bytes", [](Bpb& b) { b.bytes_per_sector = 256; }, kLarge},
      {"sector of 8192 bytes", [](Bpb& b) { b.bytes_per_sector = 8192; }, kLarge},
      {"sector of 768 bytes", [](Bpb& b) { b.bytes_per_sector = 768; }, kLarge},
      {"3 sectors per cluster", [](Bpb& b) { b.sectors_per_cluster = 3; }, kLarge},
      {"no sector per cluster", [](Bpb& b) { b.sectors_per_cluster = 0; }, kLarge},
      {"no reserved sector", [](Bpb& b) { b.reserved = 0; }, kLarge},
      {"no FAT", [](Bpb& b) { b.fats = 0; }, kLarge},
      {"empty FAT", [](Bpb& b) { b.sectors_per_fat = 0; }, kLarge},
      {"FAT too small for the clusters", [](Bpb& b) { b.sectors_per_fat = 8; }, kLarge},
      {"no root directory on FAT12", [](Bpb& b) { b.root_entries = 0; }, kLarge},
      {"no data sector", [](Bpb& b) { b.total_sectors = 33; }, kLarge},
      {"bad media byte", [](Bpb& b) { b.media = 0x12; }, kLarge},
      {"larger than the volume", [](Bpb&) {}, 1474559},
  };
  for (const auto& c : cases) {
    Bpb b;
    c.change(b);
    EXPECT_FALSE(ParseBootSector(MakeBootSector(b), c.volume_bytes)) << c.what;
  }
  EXPECT_TRUE(ParseBootSector(MakeBootSector({}), 1474560));
}

TEST(ParseBootSectorTest, RefusesSectorsWithoutJumpOrSignature) {
  const std::string good = MakeBootSector({});
  const struct {
    std::size_t offset;
    char value;
  } cases[] = {{0, 0x00}, {2, 0x00}, {510, 0x00}, {511, 0x00}};
  for (const auto& c : cases) {
    std::string s = good;
    s[c.offset] = c.value;
    EXPECT_FALSE(ParseBootSector(s, kLarge)) << c.offset;
  }
  std::string near_jump = good;
  near_jump[0] = static_cast<char>(0xE9);
  near_jump[2] = 0;
  EXPECT_TRUE(ParseBootSector(near_jump, kLarge));
  EXPECT_FALSE(ParseBootSector(good.substr(0, 511), kLarge));
}

TEST(ParseBootSectorTest, RefusesFat32FieldsThatDoNotFit) {
  Bpb b = WithClusterCount(70000);
  b.fat32_layout = true;
  b.root_entries = 0;
  b.reserved = 2;
  const std::string good = MakeBootSector(b);
  ASSERT_TRUE(ParseBootSector(good, kLarge));
  const struct {
    const char* what;
    std::size_t offset;
    std::uint16_t value;
  } cases[] = {
      {"one active FAT, no mirroring", 40, 0x80},
      {"version 1", 42, 1},
      {"root entries", 17, 16},
      {"root cluster 1", 44, 1},
      {"root cluster past the end", 44, 0xFFFF},
      {"FSInfo outside the reserved sectors", 48, 2},
  };
  for (const auto& c : cases) {
    std::string s = good;
    WriteLe16(s, c.offset, c.value);
    if (c.offset == 44) WriteLe16(s, 46, c.value == 1 ? 0 : 0xFFFF);
    EXPECT_FALSE(ParseBootSector(s, kLarge)) << c.what;
  }
}

}  // namespace
