#include "fat/volume_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "test_support/fat_edit.h"
#include "test_support/fat_image.h"

namespace {

// A floppy with a Windows tree, its bytes in memory.
class VolumeCheckTest : public testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(image_.made());
    ASSERT_TRUE(image_.Mtools("mmd", "::WINDOWS ::WINDOWS/INF"));
    ASSERT_TRUE(image_.Put("::WINDOWS/INF/MACHINE.INF", std::string(3000, 'm')));
    ASSERT_TRUE(image_.Put("::WINDOWS/INF/SAME.INF", std::string(3000, 's')));
    ASSERT_TRUE(image_.Put("::WINDOWS/SYSTEM.DAT", std::string(9000, 'd')));
    device_ = std::make_unique<MemoryDevice>(image_.Bytes());
  }
  std::optional<FatVolume> Open() { return FatVolume::Open(*device_, 0, device_->Size()); }
  DirEntry Entry(const char* path) { return *Open()->Lookup(path); }
  std::vector<std::uint32_t> Chain(const char* path) { return *Open()->FileChain(Entry(path)); }

  TestImage image_{TestImage::Bare("1440K", ""), 0};
  std::unique_ptr<MemoryDevice> device_;
};

TEST_F(VolumeCheckTest, CountsTheFreeClustersFsckCounts) {
  const auto map = CheckVolume(*Open());
  ASSERT_TRUE(map);
  std::smatch counts;
  const std::string report = image_.Fsck();
  ASSERT_TRUE(std::regex_search(report, counts, std::regex("([0-9]+)/([0-9]+) clusters")))
      << report;
  EXPECT_EQ(map->free_clusters.size(), std::stoul(counts[2]) - std::stoul(counts[1]));
  EXPECT_TRUE(std::is_sorted(map->free_clusters.begin(), map->free_clusters.end()));
  for (const std::uint32_t used : Chain("WINDOWS\\SYSTEM.DAT")) {
    EXPECT_FALSE(std::binary_search(map->free_clusters.begin(), map->free_clusters.end(), used));
  }
}

TEST_F(VolumeCheckTest, AClusterTakenInAnyCopyOrLostIsNotFree) {
  const std::uint32_t first_free = CheckVolume(*Open())->free_clusters[0];
  SetFatEntry(*device_, *Open(), first_free, 0xFFF, {1});
  SetFatEntry(*device_, *Open(), first_free + 1, 0xFFF, {0, 1});
  const auto map = CheckVolume(*Open());
  ASSERT_TRUE(map);
  EXPECT_EQ(map->free_clusters[0], first_free + 2);
}

TEST_F(VolumeCheckTest, RefusesBrokenChainsAndDirectories) {
  const struct {
    const char* what;
    std::function<void(VolumeCheckTest&)> damage;
  } cases[] = {
      {"cross-linked files",
       [](VolumeCheckTest& t) {
         SetEntryField(*t.device_, t.Entry("WINDOWS\\INF\\SAME.INF"), 26,
                       t.Entry("WINDOWS\\INF\\MACHINE.INF").first_cluster, 2);
       }},
      {"looping chain",
       [](VolumeCheckTest& t) {
         const auto chain = t.Chain("WINDOWS\\INF\\MACHINE.INF");
         SetFatEntry(*t.device_, *t.Open(), chain.back(), chain.front(), {0, 1});
       }},
      {"link past the last cluster",
       [](VolumeCheckTest& t) {
         SetFatEntry(*t.device_, *t.Open(), t.Chain("WINDOWS\\SYSTEM.DAT")[3], 2849, {0, 1});
       }},
      {"chain longer than the file",
       [](VolumeCheckTest& t) {
         SetEntryField(*t.device_, t.Entry("WINDOWS\\INF\\MACHINE.INF"), 28, 2000, 4);
       }},
      {"chain shorter than the file",
       [](VolumeCheckTest& t) {
         SetEntryField(*t.device_, t.Entry("WINDOWS\\INF\\MACHINE.INF"), 28, 3073, 4);
       }},
      {"empty file with a cluster",
       [](VolumeCheckTest& t) {
         SetEntryField(*t.device_, t.Entry("WINDOWS\\INF\\MACHINE.INF"), 28, 0, 4);
       }},
      {"directory with a free cluster in its chain",
       [](VolumeCheckTest& t) {
         SetFatEntry(*t.device_, *t.Open(), t.Entry("WINDOWS\\INF").first_cluster, 0, {0, 1});
       }},
      {"directory at cluster 0",
       [](VolumeCheckTest& t) { SetEntryField(*t.device_, t.Entry("WINDOWS\\INF"), 26, 0, 2); }},
      {"dot entry that is a file",
       [](VolumeCheckTest& t) {
         const auto inf = t.Open()->ReadDirectory(t.Entry("WINDOWS\\INF").first_cluster);
         t.device_->Write((*inf)[1].device_offset + 11, std::string(1, '\x20'));
       }},
      {"dot entry in the root",
       [](VolumeCheckTest& t) {
         t.device_->Write(t.Entry("WINDOWS").device_offset, "..         ");
       }},
      {"directory that is its own parent",
       [](VolumeCheckTest& t) {
         SetEntryField(*t.device_, t.Entry("WINDOWS\\INF"), 26, t.Entry("WINDOWS").first_cluster,
                       2);
       }},
  };
  ASSERT_TRUE(CheckVolume(*Open()));
  const std::string healthy = device_->bytes();
  for (const auto& c : cases) {
    device_ = std::make_unique<MemoryDevice>(healthy);
    c.damage(*this);
    const auto volume = Open();
    ASSERT_TRUE(volume) << c.what;
    EXPECT_FALSE(CheckVolume(*volume)) << c.what;
  }
}

std::vector<std::string> FolderNames(const TestImage& image) {
  MemoryDevice device(image.Bytes());
  const auto folders = FindWindowsFolders(*FatVolume::Open(device, 0, device.Size()));
  std::vector<std::string> names;
  for (const DirEntry& folder : *folders) names.push_back(folder.short_name);
  return names;
}

TEST(FindWindowsFoldersTest, FindsTheRootFoldersWithAnInfFolderAndASystemDat) {
  const TestImage image(TestImage::Bare("1440K", ""), 0);
  ASSERT_TRUE(image.made());
  EXPECT_EQ(FolderNames(image), std::vector<std::string>{});
  ASSERT_TRUE(image.Mtools("mmd", "::WINDOWS ::WINDOWS/inf ::NOSYS ::NOSYS/INF ::FILEINF"));
  ASSERT_TRUE(image.Put("::WINDOWS/system.dat", "x"));
  ASSERT_TRUE(image.Put("::NOSYS/SYSTEM.DA", "x"));
  ASSERT_TRUE(image.Put("::FILEINF/INF", "x"));
  ASSERT_TRUE(image.Put("::FILEINF/SYSTEM.DAT", "x"));
  ASSERT_TRUE(image.Put("::SYSTEM.DAT", "x"));
  ASSERT_TRUE(image.Mtools("mmd", "::INF"));
  EXPECT_EQ(FolderNames(image), std::vector<std::string>{"WINDOWS"});
  ASSERT_TRUE(image.Mtools("mmd", "::Win95 ::Win95/INF ::Win95/SYSTEM.DAT"));
  EXPECT_EQ(FolderNames(image), std::vector<std::string>{"WINDOWS"});
  ASSERT_TRUE(image.Mtools("mmd", "::OLDWIN ::OLDWIN/INF"));
  ASSERT_TRUE(image.Put("::OLDWIN/SYSTEM.DAT", "x"));
  EXPECT_EQ(FolderNames(image), (std::vector<std::string>{"WINDOWS", "OLDWIN"}));
}

}  // namespace
