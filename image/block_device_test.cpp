#include "image/block_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(MemoryDeviceTest, ReadsAndWritesInsideTheBytesOnly) {
  MemoryDevice device("abcdefgh");
  std::string out;
  EXPECT_TRUE(device.Read(2, 3, out));
  EXPECT_EQ(out, "cde");
  EXPECT_TRUE(device.Read(8, 0, out));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(device.Read(6, 3, out));
  EXPECT_FALSE(device.Read(9, 0, out));
  EXPECT_FALSE(device.Read(UINT64_MAX, 1, out));
  EXPECT_TRUE(device.Write(6, "XY"));
  EXPECT_FALSE(device.Write(7, "XY"));
  EXPECT_EQ(device.bytes(), "abcdefXY");
  EXPECT_EQ(device.Size(), 8U);
}

TEST(MemoryDeviceTest, RecordsSuccessfulWritesAndSyncsInOrder) {
  MemoryDevice device(std::string(16, '.'));
  ASSERT_TRUE(device.Write(4, "ab"));
  ASSERT_FALSE(device.Write(15, "cd"));
  ASSERT_TRUE(device.Sync());
  ASSERT_TRUE(device.Write(0, "z"));
  const std::vector<DeviceStep> expected = {DeviceStep::WriteAt(4, "ab"), DeviceStep::SyncPoint(),
                                            DeviceStep::WriteAt(0, "z")};
  EXPECT_EQ(device.steps(), expected);
}

TEST(ApplyStepsTest, ReplaysAPrefixOfARecordedRunOntoACopy) {
  MemoryDevice original(std::string(8, '0'));
  ASSERT_TRUE(original.Write(0, "11"));
  ASSERT_TRUE(original.Sync());
  ASSERT_TRUE(original.Write(1, "22"));
  const std::vector<DeviceStep>& steps = original.steps();
  MemoryDevice copy(std::string(8, '0'));
  ASSERT_TRUE(ApplySteps(copy, {steps.begin(), steps.begin() + 2}));
  EXPECT_EQ(copy.bytes(), "11000000");
  ASSERT_TRUE(ApplySteps(copy, {steps.begin() + 2, steps.end()}));
  EXPECT_EQ(copy.bytes(), original.bytes());
}

TEST(ApplyStepsTest, StopsAtTheFirstWriteThatFails) {
  MemoryDevice device(std::string(4, '0'));
  EXPECT_FALSE(ApplySteps(device, {DeviceStep::WriteAt(3, "ab"), DeviceStep::WriteAt(0, "x")}));
  EXPECT_EQ(device.bytes(), "0000");
}

}  // namespace
