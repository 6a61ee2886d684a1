// Every prefix of a replacement's writes, as a crash would leave it: fsck.fat
// finds nothing worse than lost clusters and mcopy reads the old or the new bytes.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "fat/replace_plan.h"
#include "fat/volume_check.h"
#include "test_support/fat_image.h"
#include "test_support/fat_tree.h"

namespace {

const std::regex kClean("IMAGE: [0-9]+ files, [0-9]+/[0-9]+ clusters\nexit 0");

struct CrashCase {
  VolumeKind kind;
  std::size_t new_size;
};

class CrashMatrixTest : public testing::TestWithParam<CrashCase> {};

TEST_P(CrashMatrixTest, EveryPrefixOfTheWritesLeavesTheOldOrTheNewFile) {
  const VolumeKind& kind = GetParam().kind;
  const TestImage image(kind.make, kind.offset);
  ASSERT_TRUE(image.made());
  FillWindowsTree(image, kind.type);
  const char* const tool_path = "::WINDOWS/INF/Fragmented Long Name.inf";
  const std::string old_bytes = *image.Get(tool_path);
  const std::string new_bytes = Pattern(GetParam().new_size, 'N');
  std::vector<DeviceStep> writes;
  {
    FileDevice device(image.path());
    const auto volume = FatVolume::Open(device, kind.offset, device.Size() - kind.offset);
    const auto plan =
        PlanReplacement(*volume, *CheckVolume(*volume),
                        *volume->Lookup("WINDOWS\\INF\\Fragmented Long Name.inf"), new_bytes, {});
    ASSERT_TRUE(plan);
    for (const DeviceStep& step : *plan) {
      if (step.kind == DeviceStep::Kind::kWrite) writes.push_back(step);
    }
  }
  for (std::size_t prefix = 0; prefix <= writes.size(); ++prefix) {
    std::vector<DeviceStep> undo;
    {
      FileDevice device(image.path());
      for (std::size_t i = 0; i < prefix; ++i) {
        std::string original;
        ASSERT_TRUE(device.Read(writes[i].offset, writes[i].bytes.size(), original));
        undo.insert(undo.begin(), DeviceStep::WriteAt(writes[i].offset, original));
        ASSERT_TRUE(device.Write(writes[i].offset, writes[i].bytes));
      }
    }
    const auto read = image.Get(tool_path);
    EXPECT_TRUE(read == old_bytes || read == new_bytes) << "after " << prefix << " writes";
    const std::string report = image.Fsck();
    EXPECT_EQ(FsckHarmfulLines(report), "") << "after " << prefix << " writes:\n" << report;
    if (prefix == 0 || prefix == writes.size()) {
      EXPECT_TRUE(std::regex_match(report, kClean)) << "after " << prefix << " writes:\n" << report;
    }
    FileDevice device(image.path());
    ASSERT_TRUE(ApplySteps(device, undo));
  }
}

std::vector<CrashCase> CrashCases() {
  std::vector<CrashCase> cases;
  for (const VolumeKind& kind : VolumeKinds()) {
    cases.push_back({kind, 30000});
    cases.push_back({kind, 100});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Kinds, CrashMatrixTest, testing::ValuesIn(CrashCases()),
                         [](const auto& info) {
                           return std::string(info.param.kind.name) + "_" +
                                  std::to_string(info.param.new_size);
                         });

}  // namespace
