#include "fat/file_edits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "test_support/fat_image.h"
#include "test_support/fat_tree.h"

namespace {

class FileEditsTest : public testing::TestWithParam<VolumeKind> {};

TEST_P(FileEditsTest, WritesTheEditsIntoTheFragmentedFileAsMcopyThenReadsIt) {
  FilledVolume filled(GetParam());
  ASSERT_TRUE(filled.volume);
  const TestImage& image = filled.image;
  const std::optional<FatVolume>& volume = filled.volume;
  FileDevice& device = *filled.device;
  const auto file = volume->Lookup("WINDOWS\\INF\\Fragmented Long Name.inf");
  ASSERT_TRUE(file);
  const std::uint64_t cluster = volume->geometry().ClusterBytes();
  // One edit across each of the first two cluster boundaries, one at each end;
  // with small clusters the long one spans a whole cluster.
  ASSERT_GT(20000U, 2 * cluster + 10);
  const std::size_t long_edit = std::min<std::uint64_t>(cluster + 2, 19990 - 2 * cluster);
  const std::vector<FileEdit> edits = {{cluster - 3, "ABCDEFG"},
                                       {0, "start"},
                                       {2 * cluster - 1, std::string(long_edit, 'x')},
                                       {19995, "end!!"},
                                       {20000, ""}};
  std::string expected = Pattern(20000, 'f');
  for (const FileEdit& edit : edits) expected.replace(edit.offset, edit.bytes.size(), edit.bytes);
  const auto steps = MapFileEdits(*volume, *file, edits);
  ASSERT_TRUE(steps);
  EXPECT_EQ(steps->back(), DeviceStep::SyncPoint());
  ASSERT_TRUE(ApplySteps(device, *steps));
  ASSERT_TRUE(device.Sync());
  EXPECT_EQ(image.Get("::WINDOWS/INF/Fragmented Long Name.inf"), expected);
  EXPECT_TRUE(
      std::regex_match(image.Fsck(), std::regex("IMAGE: [0-9]+ files, [0-9/]+ clusters\nexit 0")));
  for (const TreeFile& other : WindowsTreeFiles()) {
    if (other.path != "::WINDOWS/INF/Fragmented Long Name.inf") {
      EXPECT_EQ(image.Get(other.path), other.bytes) << other.path;
    }
  }
}

TEST_P(FileEditsTest, RefusesEditsPastTheEndOfTheFile) {
  FilledVolume filled(GetParam());
  ASSERT_TRUE(filled.volume);
  const std::optional<FatVolume>& volume = filled.volume;
  const auto file = volume->Lookup("WINDOWS\\SYSTEM.DAT");
  EXPECT_TRUE(MapFileEdits(*volume, *file, {{8999, "x"}}));
  EXPECT_FALSE(MapFileEdits(*volume, *file, {{0, "ok"}, {8999, "xy"}}));
  EXPECT_FALSE(MapFileEdits(*volume, *file, {{9001, ""}}));
  EXPECT_FALSE(MapFileEdits(*volume, *file, {{UINT64_MAX, "x"}}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, FileEditsTest, testing::ValuesIn(VolumeKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
