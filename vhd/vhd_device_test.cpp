#include "vhd/vhd_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/block_device.h"
#include "test_support/vhd_image.h"
#include "vhd/image_detect.h"

namespace {

constexpr std::uint32_t kBlock = 4096;
constexpr std::uint64_t kDisk = 16 * kBlock;
constexpr std::uint64_t kBitmap0 = 2048;  // blocks 0 and 1 follow the table
constexpr std::uint64_t kData0 = kBitmap0 + 512;
constexpr std::uint64_t kFooter = kBitmap0 + 2 * (512 + kBlock);

VhdLayout LayoutOf(const std::string& bytes) {
  MemoryDevice file(bytes);
  ImageDetection detection = DetectImage(file);
  EXPECT_NE(detection.kind, ImageKind::kRefused) << detection.problem;
  return detection.layout;
}

std::string Be32(std::uint32_t value) {
  std::string bytes(4, '\0');
  PutBe(bytes, 0, 4, value);
  return bytes;
}

// The disk of MakeDynamicVhd(kDisk, kBlock, {0, 1}).
std::string TwoBlockDisk() {
  return std::string(kBlock, 'A') + std::string(kBlock, 'B') + std::string(kDisk - 2 * kBlock, 0);
}

std::string ReadAll(VhdDevice& device) {
  std::string disk;
  EXPECT_TRUE(device.Read(0, device.Size(), disk));
  return disk;
}

TEST(VhdDeviceTest, DynamicReadsBlocksAndZerosForUnallocatedOnes) {
  MemoryDevice file(MakeDynamicVhd(kDisk, kBlock, {0, 1}), MemoryDevice::kGrows);
  VhdDevice device(file, LayoutOf(file.bytes()));
  EXPECT_EQ(device.Size(), kDisk);
  EXPECT_EQ(ReadAll(device), TwoBlockDisk());
  std::string across;
  ASSERT_TRUE(device.Read(2 * kBlock - 3, 6, across));
  EXPECT_EQ(across, std::string("BBB\0\0\0", 6));
  EXPECT_FALSE(device.Read(kDisk - 1, 2, across));
  EXPECT_TRUE(file.steps().empty());
}

TEST(VhdDeviceTest, SectorsMarkedAbsentReadAsZeros) {
  std::string vhd = MakeDynamicVhd(kDisk, kBlock, {0, 1});
  vhd[kBitmap0] = static_cast<char>(0xBE);  // sectors 1 and 7 absent
  MemoryDevice file(vhd, MemoryDevice::kGrows);
  VhdDevice device(file, LayoutOf(vhd));
  std::string expected = TwoBlockDisk();
  expected.replace(512, 512, std::string(512, '\0'));
  expected.replace(7 * 512, 512, std::string(512, '\0'));
  EXPECT_EQ(ReadAll(device), expected);
  std::string part;
  ASSERT_TRUE(device.Read(1000, 30, part));
  EXPECT_EQ(part, std::string(24, '\0') + "AAAAAA");
}

TEST(VhdDeviceTest, WriteIntoPresentSectorsWritesOnlyTheData) {
  MemoryDevice file(MakeDynamicVhd(kDisk, kBlock, {0, 1}), MemoryDevice::kGrows);
  VhdDevice device(file, LayoutOf(file.bytes()));
  ASSERT_TRUE(device.Write(kBlock + 100, "xyz"));
  const std::vector<DeviceStep> expected = {
      DeviceStep::WriteAt(kData0 + 512 + kBlock + 100, "xyz")};
  EXPECT_EQ(file.steps(), expected);
}

TEST(VhdDeviceTest, WriteIntoAbsentSectorsWritesThemWholeThenTheirBits) {
  std::string vhd = MakeDynamicVhd(kDisk, kBlock, {0, 1});
  vhd[kBitmap0] = static_cast<char>(0xBE);
  vhd.replace(kData0 + 512, 512, std::string(512, 'g'));  // stale bytes of an absent sector
  MemoryDevice file(vhd, MemoryDevice::kGrows);
  VhdDevice device(file, LayoutOf(vhd));
  ASSERT_TRUE(device.Write(1022, "wxyz"));  // the end of sector 1, the start of 2
  const std::string sectors = std::string(510, '\0') + "wxyz" + std::string(510, 'A');
  const std::vector<DeviceStep> expected = {DeviceStep::WriteAt(kData0 + 512, sectors),
                                            DeviceStep::SyncPoint(),
                                            DeviceStep::WriteAt(kBitmap0, "\xfe")};
  EXPECT_EQ(file.steps(), expected);
  std::string disk = TwoBlockDisk();
  disk.replace(512, 512, std::string(512, '\0'));
  disk.replace(7 * 512, 512, std::string(512, '\0'));
  disk.replace(1022, 4, "wxyz");
  EXPECT_EQ(ReadAll(device), disk);
}

TEST(VhdDeviceTest, WriteIntoUnallocatedBlockAppendsItInCrashSafeSteps) {
  const std::string vhd = MakeDynamicVhd(kDisk, kBlock, {0, 1});
  const std::string footer = vhd.substr(kFooter);
  MemoryDevice file(vhd, MemoryDevice::kGrows);
  VhdDevice device(file, LayoutOf(vhd));
  EXPECT_FALSE(device.IsAllocated(5 * kBlock, 1));
  ASSERT_TRUE(device.Write(5 * kBlock + 10, "hello"));
  const std::uint64_t new_footer = kFooter + 512 + kBlock;
  const std::vector<DeviceStep> expected = {
      DeviceStep::WriteAt(new_footer, footer),
      DeviceStep::SyncPoint(),
      DeviceStep::WriteAt(kFooter, "\xff" + std::string(511, '\0')),
      DeviceStep::WriteAt(kFooter + 512 + 10, "hello"),
      DeviceStep::SyncPoint(),
      DeviceStep::WriteAt(kTestTableOffset + 5 * 4, Be32(kFooter / 512)),
      DeviceStep::SyncPoint()};
  EXPECT_EQ(file.steps(), expected);
  EXPECT_EQ(file.Size(), new_footer + 512);
  EXPECT_EQ(file.bytes().substr(0, kFooter),
            vhd.substr(0, kFooter).replace(kTestTableOffset + 20, 4, Be32(kFooter / 512)));
  EXPECT_TRUE(device.IsAllocated(5 * kBlock, kBlock));
  std::string disk = TwoBlockDisk();
  disk.replace(5 * kBlock + 10, 5, "hello");
  EXPECT_EQ(ReadAll(device), disk);
  const VhdLayout reread = LayoutOf(file.bytes());
  EXPECT_EQ(reread.table[5], kFooter / 512);
  VhdDevice reopened(file, reread);
  EXPECT_EQ(ReadAll(reopened), disk);
}

TEST(VhdDeviceTest, WriteAcrossBlocksAllocatesEachInTurn) {
  MemoryDevice file(MakeDynamicVhd(kDisk, kBlock, {0, 1}), MemoryDevice::kGrows);
  VhdDevice device(file, LayoutOf(file.bytes()));
  const std::string bytes(kBlock + 2, 'n');
  ASSERT_TRUE(device.Write(3 * kBlock - 1, bytes));
  const VhdLayout layout = LayoutOf(file.bytes());
  EXPECT_EQ(layout.table[2], kFooter / 512);
  EXPECT_EQ(layout.table[3], (kFooter + 512 + kBlock) / 512);
  EXPECT_EQ(layout.table[4], (kFooter + 2 * (512 + kBlock)) / 512);
  EXPECT_EQ(file.Size(), kFooter + 3 * (512 + kBlock) + 512);
  std::string disk = TwoBlockDisk();
  disk.replace(3 * kBlock - 1, bytes.size(), bytes);
  EXPECT_EQ(ReadAll(device), disk);
  EXPECT_TRUE(device.IsAllocated(2 * kBlock, 3 * kBlock));
  EXPECT_FALSE(device.IsAllocated(2 * kBlock, 3 * kBlock + 1));
}

TEST(VhdDeviceTest, OneSectorBlocksMarkTheirOnlySector) {
  MemoryDevice file(MakeDynamicVhd(8 * 512, 512, {}), MemoryDevice::kGrows);
  VhdDevice device(file, LayoutOf(file.bytes()));
  ASSERT_TRUE(device.Write(3 * 512 + 7, "s"));
  EXPECT_EQ(file.steps()[2], DeviceStep::WriteAt(2048, "\x80" + std::string(511, '\0')));
  std::string sector;
  ASSERT_TRUE(device.Read(3 * 512, 512, sector));
  EXPECT_EQ(sector, std::string(7, '\0') + "s" + std::string(504, '\0'));
}

TEST(VhdDeviceTest, ShortFooterMovesToTheEndAsItWas) {
  const std::string vhd = MakeDynamicVhd(kDisk, kBlock, {0, 1});
  MemoryDevice file(vhd.substr(0, vhd.size() - 1), MemoryDevice::kGrows);
  VhdDevice device(file, LayoutOf(file.bytes()));
  ASSERT_TRUE(device.Write(9 * kBlock, "z"));
  EXPECT_EQ(file.Size(), kFooter + 512 + kBlock + 511);
  EXPECT_EQ(file.bytes().substr(kFooter + 512 + kBlock), vhd.substr(kFooter, 511));
  EXPECT_EQ(LayoutOf(file.bytes()).table[9], kFooter / 512);
}

TEST(VhdDeviceTest, FooterOffTheSectorsPutsTheNewBlockOnTheNextSector) {
  const std::string vhd = MakeDynamicVhd(kDisk, kBlock, {0, 1});
  MemoryDevice file(vhd.substr(0, kFooter) + "12345" + vhd.substr(kFooter, 511),
                    MemoryDevice::kGrows);
  VhdDevice device(file, LayoutOf(file.bytes()));
  ASSERT_TRUE(device.Write(9 * kBlock + 1, "z"));
  const std::uint64_t start = kFooter + 512;
  EXPECT_EQ(file.Size(), start + 512 + kBlock + 511);
  EXPECT_EQ(file.bytes().substr(kFooter, 5), "12345");
  EXPECT_EQ(LayoutOf(file.bytes()).table[9], start / 512);
  std::string byte;
  ASSERT_TRUE(device.Read(9 * kBlock + 1, 1, byte));
  EXPECT_EQ(byte, "z");
}

TEST(VhdDeviceTest, RangesPastTheDiskFail) {
  MemoryDevice file(MakeDynamicVhd(kDisk, kBlock, {0, 1}), MemoryDevice::kGrows);
  VhdDevice device(file, LayoutOf(file.bytes()));
  std::string out;
  EXPECT_FALSE(device.Read(kDisk, 1, out));
  EXPECT_FALSE(device.Write(kDisk - 1, "ab"));
  EXPECT_FALSE(device.Write(UINT64_MAX, "a"));
  EXPECT_TRUE(device.Write(kDisk, ""));
  EXPECT_FALSE(device.IsAllocated(0, kDisk + 1));
  EXPECT_TRUE(device.IsAllocated(0, 2 * kBlock));
  EXPECT_TRUE(file.steps().empty());
}

// A file whose writes fail from the one numbered so on.
class FailingFile : public MemoryDevice {
 public:
  FailingFile(std::string bytes, std::size_t failing_write)
      : MemoryDevice(std::move(bytes), MemoryDevice::kGrows), writes_left_(failing_write) {}
  bool Write(std::uint64_t offset, std::string_view bytes) override {
    if (writes_left_ == 0) return false;
    --writes_left_;
    return MemoryDevice::Write(offset, bytes);
  }

 private:
  std::size_t writes_left_;
};

TEST(VhdDeviceTest, FailedAllocationLeavesTheBlockUnallocated) {
  for (std::size_t failing = 0; failing < 4; ++failing) {
    FailingFile file(MakeDynamicVhd(kDisk, kBlock, {0, 1}), failing);
    VhdDevice device(file, LayoutOf(file.bytes()));
    EXPECT_FALSE(device.Write(5 * kBlock, "q")) << failing;
    EXPECT_FALSE(device.IsAllocated(5 * kBlock, 1)) << failing;
    EXPECT_EQ(LayoutOf(file.bytes()).table[5], kVhdUnallocated) << failing;
  }
}

TEST(VhdDeviceTest, FixedDiskIsTheFileBeforeTheFooter) {
  std::string disk(8192, 'd');
  const std::string vhd = MakeFixedVhd(disk);
  MemoryDevice file(vhd, MemoryDevice::kGrows);
  VhdDevice device(file, LayoutOf(vhd));
  EXPECT_EQ(device.Size(), 8192U);
  EXPECT_EQ(ReadAll(device), disk);
  ASSERT_TRUE(device.Write(8190, "ef"));
  EXPECT_FALSE(device.Write(8191, "ef"));
  EXPECT_TRUE(device.IsAllocated(0, 8192));
  EXPECT_FALSE(device.IsAllocated(1, 8192));
  const std::vector<DeviceStep> expected = {DeviceStep::WriteAt(8190, "ef")};
  EXPECT_EQ(file.steps(), expected);
  EXPECT_EQ(file.bytes(), vhd.substr(0, 8190) + "ef" + vhd.substr(8192));
}

}  // namespace
