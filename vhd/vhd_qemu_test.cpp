// The VHD device against qemu-img on VHDs it made from a FAT16 image: what
// the device reads is what qemu-img reads, and qemu-img reads the device's
// writes, allocated blocks and all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/block_device.h"
#include "test_support/qemu_vhd.h"
#include "vhd/image_detect.h"
#include "vhd/vhd_device.h"

namespace {

constexpr std::uint64_t kMiB = 1 << 20;

class QemuVhdTest : public testing::TestWithParam<const char*> {
 protected:
  bool Dynamic() const { return std::string(GetParam()) == "dynamic"; }
  ImageKind Kind() const { return Dynamic() ? ImageKind::kDynamicVhd : ImageKind::kFixedVhd; }

  // The whole virtual disk as the device reads it from the VHD's bytes;
  // empty when the VHD is not taken for what it is.
  std::string DeviceDisk(const std::string& bytes) const {
    MemoryDevice file(bytes, MemoryDevice::kGrows);
    const ImageDetection detection = DetectImage(file);
    EXPECT_EQ(detection.kind, Kind()) << detection.problem;
    if (detection.kind != Kind()) return "";
    VhdDevice device(file, detection.layout);
    std::string disk;
    EXPECT_TRUE(device.Read(0, device.Size(), disk));
    return disk;
  }
};

TEST_P(QemuVhdTest, ReadsWhatQemuImgReads) {
  const QemuVhd vhd(GetParam());
  ASSERT_TRUE(vhd.made());
  EXPECT_EQ(DeviceDisk(vhd.Bytes()), vhd.Disk(vhd.Bytes()));
}

TEST_P(QemuVhdTest, ReadsBlocksQemuAllocatedOutOfOrder) {
  const QemuVhd vhd(GetParam());
  ASSERT_TRUE(vhd.made());
  ASSERT_TRUE(Shell("qemu-io -f vpc -c 'write -P 0x55 12M 4k' -c 'write -P 0x66 5M 1k' '" +
                    vhd.path() + "' >/dev/null"));
  const std::string disk = DeviceDisk(vhd.Bytes());
  ASSERT_GE(disk.size(), 12 * kMiB + 4096);
  EXPECT_EQ(disk.substr(12 * kMiB, 4096), std::string(4096, '\x55'));
  EXPECT_EQ(disk, vhd.Disk(vhd.Bytes()));
}

TEST_P(QemuVhdTest, QemuImgReadsTheDevicesWrites) {
  const QemuVhd vhd(GetParam());
  ASSERT_TRUE(vhd.made());
  const std::string original = vhd.Bytes();
  MemoryDevice file(original, MemoryDevice::kGrows);
  const ImageDetection detection = DetectImage(file);
  ASSERT_EQ(detection.kind, Kind()) << detection.problem;
  VhdDevice device(file, detection.layout);
  const std::vector<DiskWrite> writes = {
      {3, "boot sector bytes"},                    // block 0, allocated
      {0x10000 + 5, Pattern(3000, 'w')},           // block 0, allocated
      {5 * kMiB + 17, Pattern(5000, 'x')},         // block 2, unallocated
      {8 * kMiB - 700, Pattern(1500, 'y')},        // blocks 3 and 4
      {device.Size() - 1000, Pattern(1000, 'z')},  // block 8, the last, unallocated
      {5 * kMiB + 4000, Pattern(100, 'v')},        // block 2 again
  };
  const std::vector<bool> allocated_before = {true, true, false, false, false};
  for (std::size_t i = 0; i < allocated_before.size(); ++i) {
    EXPECT_EQ(device.IsAllocated(writes[i].offset, writes[i].bytes.size()),
              allocated_before[i] || !Dynamic())
        << i;
  }
  for (const DiskWrite& write : writes) ASSERT_TRUE(device.Write(write.offset, write.bytes));
  const std::string expected = Applied(*vhd.Disk(original), writes);
  EXPECT_EQ(vhd.Disk(file.bytes()), expected);
  WriteBytes(vhd.File("written.vhd"), file.bytes());
  WriteBytes(vhd.File("expected.raw"), expected);
  EXPECT_TRUE(Shell("qemu-img compare -q -f vpc -F raw '" + vhd.File("written.vhd") + "' '" +
                    vhd.File("expected.raw") + "'"));
  EXPECT_TRUE(Shell("qemu-img info '" + vhd.File("written.vhd") + "' >/dev/null"));
  const std::string& now = file.bytes();
  EXPECT_EQ(now.substr(now.size() - 512), original.substr(original.size() - 512));
  if (!Dynamic()) {
    EXPECT_EQ(now.size(), original.size());
    return;
  }
  // The footer copy and header keep every byte; of the table only the entries
  // of the four new blocks change.
  EXPECT_EQ(now.substr(0, 1536), original.substr(0, 1536));
  const VhdLayout& before = detection.layout;
  const ImageDetection after = DetectImage(file);
  ASSERT_EQ(after.kind, ImageKind::kDynamicVhd) << after.problem;
  std::vector<std::uint32_t> table = before.table;
  std::uint64_t end = before.footer_offset;
  for (const std::size_t block : {2, 3, 4, 8}) {
    EXPECT_EQ(table[block], kVhdUnallocated);
    table[block] = static_cast<std::uint32_t>(end / 512);
    end += 512 + 2 * kMiB;
  }
  EXPECT_EQ(after.layout.table, table);
  EXPECT_EQ(now.size(), end + 512);
}

INSTANTIATE_TEST_SUITE_P(Subformats, QemuVhdTest, testing::Values("fixed", "dynamic"));

TEST(QemuFormatsTest, RefusesWhatQemuImgMakesInOtherFormats) {
  const TempDir dir;
  const std::string raw = dir.File("disk.raw");
  WriteBytes(raw, Pattern(65536, 'r'));
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"qcow2", "qcow2"}, {"vdi", "VDI"},
      {"vmdk", "VMDK"},   {"vmdk -o subformat=monolithicFlat", "VMDK"},
      {"vhdx", "VHDX"},
  };
  for (const auto& [options, format] : cases) {
    const std::string image = dir.File("image");
    ASSERT_TRUE(Shell("qemu-img convert -f raw -O " + std::string(options) + " '" + raw + "' '" +
                      image + "'"));
    MemoryDevice file(ReadBytes(image));
    const ImageDetection detection = DetectImage(file);
    EXPECT_EQ(detection.kind, ImageKind::kRefused) << options;
    EXPECT_NE(detection.problem.find(std::string("a ") + format + " image"), std::string::npos)
        << options << ": " << detection.problem;
  }
}

}  // namespace
