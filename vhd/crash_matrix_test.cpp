// Every prefix of the file writes that VHD device writes make, as a crash
// would leave the file: qemu-img and DetectImage still read a VHD, and each
// write's range holds its old or its new bytes, with its block there or not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/block_device.h"
#include "test_support/qemu_vhd.h"
#include "vhd/image_detect.h"
#include "vhd/vhd_device.h"

namespace {

constexpr std::uint64_t kMiB = 1 << 20;

// Each within one block, so that a crash leaves it old or new as a whole.
const std::vector<DiskWrite>& Writes() {
  static const std::vector<DiskWrite> writes = {
      {6 * kMiB + 1000, Pattern(3000, 'n')},  // allocates block 3
      {0x2000, Pattern(600, 'o')},            // block 0, allocated
      {8 * kMiB - 10, Pattern(10, 'p')},      // block 3 again, now allocated
      {8 * kMiB, Pattern(512, 'q')},          // allocates block 4
  };
  return writes;
}

// Which writes' ranges hold their new bytes, the rest holding the old ones;
// nothing when some range holds neither.
std::optional<std::vector<bool>> NewWrites(const std::string& disk, const std::string& old_disk) {
  std::vector<bool> done;
  for (const DiskWrite& write : Writes()) {
    const std::string now = disk.substr(write.offset, write.bytes.size());
    if (now != write.bytes && now != old_disk.substr(write.offset, write.bytes.size())) {
      return std::nullopt;
    }
    done.push_back(now == write.bytes);
  }
  return done;
}

TEST(VhdCrashMatrixTest, EveryPrefixOfTheWritesLeavesAValidVhdOfOldOrNewBytes) {
  const QemuVhd vhd("dynamic");
  ASSERT_TRUE(vhd.made());
  const std::string original = vhd.Bytes();
  const std::string old_disk = *vhd.Disk(original);
  MemoryDevice recorded(original, MemoryDevice::kGrows);
  const ImageDetection detection = DetectImage(recorded);
  ASSERT_EQ(detection.kind, ImageKind::kDynamicVhd) << detection.problem;
  VhdDevice device(recorded, detection.layout);
  for (const DiskWrite& write : Writes()) ASSERT_TRUE(device.Write(write.offset, write.bytes));
  std::vector<DeviceStep> writes;
  for (const DeviceStep& step : recorded.steps()) {
    if (step.kind == DeviceStep::Kind::kWrite) writes.push_back(step);
  }
  ASSERT_EQ(writes.size(), 10U);  // four for each new block, one for each other write
  std::vector<bool> last_done(Writes().size(), false);
  for (std::size_t prefix = 0; prefix <= writes.size(); ++prefix) {
    MemoryDevice file(original, MemoryDevice::kGrows);
    ASSERT_TRUE(ApplySteps(file, {writes.begin(), writes.begin() + prefix}));
    const std::optional<std::string> disk = vhd.Disk(file.bytes());
    ASSERT_TRUE(disk) << "qemu-img cannot read the VHD after " << prefix << " writes";
    ASSERT_EQ(disk->size(), old_disk.size()) << prefix;
    const std::optional<std::vector<bool>> done = NewWrites(*disk, old_disk);
    ASSERT_TRUE(done) << "a range torn after " << prefix << " writes";
    std::vector<DiskWrite> applied;
    for (std::size_t i = 0; i < done->size(); ++i) {
      EXPECT_TRUE((*done)[i] || !last_done[i]) << "write " << i << " undone at " << prefix;
      if ((*done)[i]) applied.push_back(Writes()[i]);
    }
    EXPECT_EQ(*disk, Applied(old_disk, applied)) << "bytes outside the writes at " << prefix;
    last_done = *done;
    const ImageDetection reopened = DetectImage(file);
    ASSERT_EQ(reopened.kind, ImageKind::kDynamicVhd) << prefix << ": " << reopened.problem;
    VhdDevice reader(file, reopened.layout);
    std::string read;
    ASSERT_TRUE(reader.Read(0, reader.Size(), read));
    EXPECT_EQ(read, *disk) << prefix;
  }
  EXPECT_EQ(last_done, std::vector<bool>(Writes().size(), true));
}

}  // namespace
