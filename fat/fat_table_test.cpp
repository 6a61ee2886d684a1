#include "fat/fat_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

TEST(FatTableTest, Fat12EntriesShareTheMiddleByteOfEachPair) {
  // Entries 2 = 0x345 and 3 = 0x678 pack as 45 83 67.
  FatTable fat(FatType::kFat12, std::string("\xF0\xFF\xFF\x45\x83\x67", 6));
  EXPECT_EQ(fat.Get(0), 0xFF0U);
  EXPECT_EQ(fat.Get(1), 0xFFFU);
  EXPECT_EQ(fat.Get(2), 0x345U);
  EXPECT_EQ(fat.Get(3), 0x678U);
  fat.Set(2, 0xABC);
  EXPECT_EQ(fat.bytes(), std::string("\xF0\xFF\xFF\xBC\x8A\x67", 6));
  fat.Set(3, 0x001);
  EXPECT_EQ(fat.bytes(), std::string("\xF0\xFF\xFF\xBC\x1A\x00", 6));
  EXPECT_EQ(fat.Get(2), 0xABCU);
  EXPECT_EQ(fat.EntryOffset(2), 3U);
  EXPECT_EQ(fat.EntryOffset(3), 4U);
}

TEST(FatTableTest, Fat16EntriesAreTwoBytes) {
  FatTable fat(FatType::kFat16, std::string(8, '\0'));
  fat.Set(3, 0xFFF8);
  EXPECT_EQ(fat.bytes(), std::string("\0\0\0\0\0\0\xF8\xFF", 8));
  EXPECT_EQ(fat.Get(3), 0xFFF8U);
}

TEST(FatTableTest, Fat32KeepsTheHighFourBits) {
  FatTable fat(FatType::kFat32, std::string("\0\0\0\0\0\0\0\0\x11\x22\x33\xA4", 12));
  EXPECT_EQ(fat.Get(2), 0x04332211U);
  fat.Set(2, 0xFFFFFFFF);
  EXPECT_EQ(fat.bytes().substr(8), "\xFF\xFF\xFF\xAF");
  fat.Set(2, 0);
  EXPECT_EQ(fat.bytes().substr(8), std::string("\0\0\0\xA0", 4));
}

TEST(FatTableTest, EndOfChainMarksStartEightBelowTheTop) {
  const struct {
    FatType type;
    std::uint32_t last_link;
    std::uint32_t first_end;
  } cases[] = {{FatType::kFat12, 0xFF7, 0xFF8},
               {FatType::kFat16, 0xFFF7, 0xFFF8},
               {FatType::kFat32, 0x0FFFFFF7, 0x0FFFFFF8}};
  for (const auto& c : cases) {
    EXPECT_FALSE(IsEndOfChain(c.type, c.last_link));
    EXPECT_TRUE(IsEndOfChain(c.type, c.first_end));
    EXPECT_TRUE(IsEndOfChain(c.type, EndOfChainMark(c.type)));
  }
}

// A FAT16 table of ten data clusters (2..11) with the given links.
struct Chains {
  FatGeometry geometry;
  FatTable fat{FatType::kFat16, std::string(24, '\0')};
  Chains() {
    geometry.type = FatType::kFat16;
    geometry.bytes_per_sector = 512;
    geometry.sectors_per_cluster = 1;
    geometry.cluster_count = 10;
  }
};

TEST(FollowChainTest, FollowsLinksToTheEnd) {
  Chains c;
  c.fat.Set(2, 5);
  c.fat.Set(5, 3);
  c.fat.Set(3, 0xFFFF);
  c.fat.Set(11, 0xFFF8);
  EXPECT_EQ(FollowChain(c.fat, c.geometry, 2), (std::vector<std::uint32_t>{2, 5, 3}));
  EXPECT_EQ(FollowChain(c.fat, c.geometry, 11), (std::vector<std::uint32_t>{11}));
}

TEST(FollowChainTest, RefusesLoopsFreeBadAndOutOfRangeLinks) {
  const struct {
    const char* what;
    std::uint32_t link;
  } cases[] = {{"loop to itself", 2}, {"loop to the start", 4}, {"free", 0},
               {"reserved", 1},       {"bad cluster", 0xFFF7},  {"past the end", 12}};
  for (const auto& k : cases) {
    Chains c;
    c.fat.Set(4, 2);
    c.fat.Set(2, k.link);
    EXPECT_FALSE(FollowChain(c.fat, c.geometry, 4)) << k.what;
  }
  Chains c;
  EXPECT_FALSE(FollowChain(c.fat, c.geometry, 0));
  EXPECT_FALSE(FollowChain(c.fat, c.geometry, 12));
}

TEST(ClustersForTest, RoundsUpToWholeClusters) {
  FatGeometry g;
  g.bytes_per_sector = 512;
  g.sectors_per_cluster = 4;
  EXPECT_EQ(ClustersFor(g, 0), 0U);
  EXPECT_EQ(ClustersFor(g, 1), 1U);
  EXPECT_EQ(ClustersFor(g, 2048), 1U);
  EXPECT_EQ(ClustersFor(g, 2049), 2U);
}

}  // namespace
