#include "fat/replace_plan.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "test_support/fat_edit.h"
#include "test_support/fat_image.h"
#include "test_support/fat_tree.h"

namespace {

TEST(MakeFatTimestampTest, PacksTheDateAndTheTimeToTwoSeconds) {
  const auto stamp = MakeFatTimestamp(2026, 12, 8, 13, 45, 31);
  ASSERT_TRUE(stamp);
  EXPECT_EQ(stamp->date, (46 << 9) | (12 << 5) | 8);
  EXPECT_EQ(stamp->time, (13 << 11) | (45 << 5) | 15);
  EXPECT_EQ(MakeFatTimestamp(1980, 1, 1, 0, 0, 0)->date, 0x21);
  EXPECT_EQ(MakeFatTimestamp(2107, 12, 31, 23, 59, 59)->time, 0xBF7D);
  const int bad[][6] = {{1979, 12, 31, 0, 0, 0}, {2108, 1, 1, 0, 0, 0},  {2000, 0, 1, 0, 0, 0},
                        {2000, 13, 1, 0, 0, 0},  {2000, 1, 0, 0, 0, 0},  {2000, 1, 32, 0, 0, 0},
                        {2000, 1, 1, 24, 0, 0},  {2000, 1, 1, 0, 60, 0}, {2000, 1, 1, 0, 0, 60},
                        {2000, 1, 1, -1, 0, 0}};
  for (const auto& t : bad) EXPECT_FALSE(MakeFatTimestamp(t[0], t[1], t[2], t[3], t[4], t[5]));
}

struct Change {
  const char* name;
  const char* target;     // as the volume looks it up
  const char* tool_path;  // as mtools names it
  std::size_t new_size;
};

const Change kChanges[] = {
    {"grow", "WINDOWS\\INF\\MACHINE.INF", "::WINDOWS/INF/MACHINE.INF", 7000},
    {"shrink_fragmented", "WINDOWS\\INF\\fragmented long name.inf",
     "::WINDOWS/INF/Fragmented Long Name.inf", 100},
    {"from_empty", "WINDOWS\\EMPTY.TXT", "::WINDOWS/empty.txt", 5000},
    {"to_empty", "WINDOWS\\INF\\USB.INF", "::WINDOWS/INF/usb.inf", 0},
};

struct ReplaceCase {
  VolumeKind kind;
  Change change;
};

std::vector<ReplaceCase> ReplaceCases() {
  std::vector<ReplaceCase> cases;
  for (const VolumeKind& kind : VolumeKinds()) {
    for (const Change& change : kChanges) cases.push_back({kind, change});
  }
  return cases;
}

class ReplaceOnToolImages : public testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceOnToolImages, LeavesAVolumeFsckAcceptsWithTheNewBytesAndAllElseAsBefore) {
  const VolumeKind& kind = GetParam().kind;
  const Change& change = GetParam().change;
  FilledVolume filled(kind);
  ASSERT_TRUE(filled.volume);
  const TestImage& image = filled.image;
  FileDevice& device = *filled.device;
  const std::optional<FatVolume>& before = filled.volume;
  const auto map = CheckVolume(*before);
  ASSERT_TRUE(map);
  const auto old_entry = before->Lookup(change.target);
  ASSERT_TRUE(old_entry);
  const std::string contents = Pattern(change.new_size, 'N');
  const FatTimestamp stamp = *MakeFatTimestamp(2001, 2, 3, 4, 5, 6);
  const auto steps = PlanReplacement(*before, *map, *old_entry, contents, stamp);
  ASSERT_TRUE(steps);
  ASSERT_TRUE(ApplySteps(device, *steps));
  ASSERT_TRUE(device.Sync());

  EXPECT_TRUE(
      std::regex_match(image.Fsck(), std::regex("IMAGE: [0-9]+ files, [0-9/]+ clusters\nexit 0")))
      << image.Fsck();
  EXPECT_EQ(image.Get(change.tool_path), contents);
  for (const TreeFile& file : WindowsTreeFiles()) {
    if (file.path != change.tool_path) {
      EXPECT_EQ(image.Get(file.path), file.bytes) << file.path;
    }
  }

  const auto after = FatVolume::Open(device, kind.offset, device.Size() - kind.offset);
  const auto new_entry = after->Lookup(change.target);
  ASSERT_TRUE(new_entry);
  EXPECT_EQ(new_entry->long_name, old_entry->long_name);
  EXPECT_EQ(new_entry->attributes, old_entry->attributes);
  EXPECT_EQ(new_entry->raw.substr(12, 8), old_entry->raw.substr(12, 8)) << "creation time";
  EXPECT_EQ(
      new_entry->raw.substr(22, 4),
      std::string({static_cast<char>(stamp.time & 0xFF), static_cast<char>(stamp.time >> 8),
                   static_cast<char>(stamp.date & 0xFF), static_cast<char>(stamp.date >> 8)}));
  // Only the old and the new chain's entries changed, in every copy.
  std::set<std::uint32_t> changed(map->free_clusters.begin(), map->free_clusters.end());
  const auto old_chain = before->FileChain(*old_entry);
  changed.insert(old_chain->begin(), old_chain->end());
  for (std::uint32_t copy = 0; copy < before->fats().size(); ++copy) {
    for (std::uint32_t cluster = 0; cluster < before->geometry().cluster_count + 2; ++cluster) {
      if (changed.count(cluster) != 0) continue;
      ASSERT_EQ(after->fats()[copy].Get(cluster), before->fats()[copy].Get(cluster)) << cluster;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ReplaceOnToolImages, testing::ValuesIn(ReplaceCases()),
                         [](const auto& info) {
                           return std::string(info.param.kind.name) + "_" + info.param.change.name;
                         });

// A floppy with the tree, in memory.
class ReplacePlanTest : public testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(image_.made());
    FillWindowsTree(image_, FatType::kFat12);
    device_ = std::make_unique<MemoryDevice>(image_.Bytes());
  }
  std::optional<FatVolume> Open() { return FatVolume::Open(*device_, 0, device_->Size()); }
  std::optional<std::vector<DeviceStep>> Plan(const char* path, std::size_t size) {
    const auto volume = Open();
    const auto map = CheckVolume(*volume);
    const auto entry = volume->Lookup(path);
    return PlanReplacement(*volume, *map, *entry, Pattern(size, 'N'), {});
  }

  TestImage image_{TestImage::Bare("1440K", ""), 0};
  std::unique_ptr<MemoryDevice> device_;
};

TEST_F(ReplacePlanTest, WritesDataAndChainsThenCommitsWithOneEntryWriteThenFrees) {
  const auto volume = Open();
  const auto entry = volume->Lookup("WINDOWS\\INF\\MACHINE.INF");
  const auto steps = Plan("WINDOWS\\INF\\MACHINE.INF", 7000);
  ASSERT_TRUE(steps);
  std::vector<std::size_t> syncs;
  for (std::size_t i = 0; i < steps->size(); ++i) {
    if ((*steps)[i].kind == DeviceStep::Kind::kSync) syncs.push_back(i);
  }
  ASSERT_EQ(syncs.size(), 3U);
  EXPECT_EQ(syncs[1], syncs[0] + 2);
  EXPECT_EQ(syncs[2], steps->size() - 1);
  const DeviceStep& commit = (*steps)[syncs[0] + 1];
  EXPECT_EQ(commit.offset, entry->device_offset);
  EXPECT_EQ(commit.bytes.size(), 32U);
  EXPECT_EQ(commit.offset / 512, (commit.offset + 31) / 512);
  // Step 1: 14 clusters of data at the lowest free run, then both FAT copies.
  const auto free = CheckVolume(*volume)->free_clusters;
  EXPECT_EQ((*steps)[0].offset, volume->geometry().ClusterOffset(free[0]));
  EXPECT_EQ((*steps)[0].bytes.size(), 14U * 512);
  EXPECT_EQ((*steps)[0].bytes.substr(0, 7000), Pattern(7000, 'N'));
  EXPECT_EQ((*steps)[0].bytes.substr(7000), std::string(168, '\0'));
  for (std::size_t i = 1; i < syncs[0]; ++i) {
    const std::uint64_t at = (*steps)[i].offset;
    EXPECT_TRUE(at >= volume->geometry().FatOffset(0) && at < volume->geometry().FatOffset(2)) << i;
    EXPECT_EQ((*steps)[i].bytes.size() % 512, 0U);
  }
  for (std::size_t i = syncs[1] + 1; i < syncs[2]; ++i) {
    const std::uint64_t at = (*steps)[i].offset;
    EXPECT_TRUE(at >= volume->geometry().FatOffset(0) && at < volume->geometry().FatOffset(2)) << i;
  }
}

TEST_F(ReplacePlanTest, TakesTheLowestRunLongEnoughOrElseTheLowestClusters) {
  auto volume = Open();
  const std::uint32_t first = CheckVolume(*volume)->free_clusters[0];
  // Leave single free clusters at first, first + 2 and first + 4.
  SetFatEntry(*device_, *volume, first + 1, 0xFFF, {0, 1});
  SetFatEntry(*device_, *volume, first + 3, 0xFFF, {0, 1});
  ASSERT_TRUE(ApplySteps(*device_, *Plan("WINDOWS\\INF\\USB.INF", 1024)));
  volume = Open();
  EXPECT_EQ(*volume->FileChain(*volume->Lookup("WINDOWS\\INF\\USB.INF")),
            (std::vector<std::uint32_t>{first + 4, first + 5}));
  // No run of 3000 clusters is left: the lowest free ones are taken.
  const auto free = CheckVolume(*volume)->free_clusters;
  ASSERT_TRUE(ApplySteps(*device_, *Plan("WINDOWS\\INF\\USB.INF", free.size() * 512)));
  volume = Open();
  EXPECT_EQ(*volume->FileChain(*volume->Lookup("WINDOWS\\INF\\USB.INF")), free);
}

TEST_F(ReplacePlanTest, RefusesReadOnlyFilesFoldersAndTooLittleSpace) {
  EXPECT_FALSE(Plan("WINDOWS\\SYSTEM.DAT", 10));
  EXPECT_FALSE(Plan("WINDOWS\\INF", 10));
  const std::size_t free = CheckVolume(*Open())->free_clusters.size();
  // MACHINE.INF's own clusters are not free before the commit.
  EXPECT_FALSE(Plan("WINDOWS\\INF\\MACHINE.INF", free * 512 + 1));
  EXPECT_TRUE(Plan("WINDOWS\\INF\\MACHINE.INF", free * 512));
}

TEST_F(ReplacePlanTest, RefusesWhenTheFatCopiesDisagreeOnAnEntryItWouldChange) {
  const auto volume = Open();
  const auto chain = *volume->FileChain(*volume->Lookup("WINDOWS\\INF\\MACHINE.INF"));
  const std::string healthy = device_->bytes();
  SetFatEntry(*device_, *volume, chain[1], 0xFFF, {1});
  EXPECT_FALSE(Plan("WINDOWS\\INF\\MACHINE.INF", 10));
  // A difference elsewhere does not matter.
  device_ = std::make_unique<MemoryDevice>(healthy);
  SetFatEntry(*device_, *volume, 2000, 0xFFF, {1});
  EXPECT_TRUE(Plan("WINDOWS\\INF\\MACHINE.INF", 10));
}

TEST(ReplacePlanFullVolumeTest, PlansNothingOnAVolumeWithoutAFreeCluster) {
  const TestImage image(TestImage::Bare("1440K", ""), 0);
  ASSERT_TRUE(image.made());
  ASSERT_TRUE(image.Put("::A.TXT", "a"));
  ASSERT_TRUE(image.Put("::FILL.BIN", std::string(1457152, 'f')));
  MemoryDevice device(image.Bytes());
  const auto volume = FatVolume::Open(device, 0, device.Size());
  const auto map = CheckVolume(*volume);
  ASSERT_TRUE(map);
  ASSERT_TRUE(map->free_clusters.empty());
  EXPECT_FALSE(PlanReplacement(*volume, *map, *volume->Lookup("A.TXT"), "b", {}));
  EXPECT_TRUE(PlanReplacement(*volume, *map, *volume->Lookup("A.TXT"), "", {}));
}

}  // namespace
