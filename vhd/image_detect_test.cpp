#include "vhd/image_detect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/block_device.h"
#include "test_support/vhd_image.h"

namespace {

ImageDetection Detect(const std::string& bytes) {
  MemoryDevice file(bytes);
  return DetectImage(file);
}

constexpr std::uint32_t kBlock = 4096;
constexpr std::uint64_t kDisk = 16 * kBlock;
constexpr std::uint64_t kFirstBlock = 2048;  // after the table's one sector
constexpr std::uint64_t kBlockExtent = 512 + kBlock;

TEST(ImageDetectTest, RawImagesOfAnyContent) {
  EXPECT_EQ(Detect("").kind, ImageKind::kRaw);
  EXPECT_EQ(Detect("conectix").kind, ImageKind::kRefused);
  EXPECT_EQ(Detect(std::string(100, 'x')).kind, ImageKind::kRaw);
  std::string mbr(1 << 20, '\0');
  mbr[510] = '\x55';
  mbr[511] = '\xaa';
  EXPECT_EQ(Detect(mbr).kind, ImageKind::kRaw);
}

TEST(ImageDetectTest, FixedVhdWithFullOrShortFooter) {
  const std::string disk(8192, 'd');
  const ImageDetection full = Detect(MakeFixedVhd(disk));
  ASSERT_EQ(full.kind, ImageKind::kFixedVhd) << full.problem;
  EXPECT_EQ(full.layout.footer.current_size, 8192U);
  EXPECT_EQ(full.layout.footer_offset, 8192U);
  EXPECT_EQ(full.layout.footer_bytes, MakeFooter(2, 8192, UINT64_MAX));
  const ImageDetection short_footer = Detect(MakeFixedVhd(disk).substr(0, 8192 + 511));
  ASSERT_EQ(short_footer.kind, ImageKind::kFixedVhd) << short_footer.problem;
  EXPECT_EQ(short_footer.layout.footer_offset, 8192U);
  EXPECT_EQ(short_footer.layout.footer_bytes.size(), 511U);
}

TEST(ImageDetectTest, DynamicVhdWithItsTable) {
  const ImageDetection detection = Detect(MakeDynamicVhd(kDisk, kBlock, {3, 0}));
  ASSERT_EQ(detection.kind, ImageKind::kDynamicVhd) << detection.problem;
  EXPECT_EQ(detection.layout.header.block_size, kBlock);
  EXPECT_EQ(detection.layout.header.table_offset, kTestTableOffset);
  std::vector<std::uint32_t> table(16, kVhdUnallocated);
  table[3] = kFirstBlock / 512;
  table[0] = (kFirstBlock + kBlockExtent) / 512;
  EXPECT_EQ(detection.layout.table, table);
  EXPECT_EQ(detection.layout.footer_offset, kFirstBlock + 2 * kBlockExtent);
}

TEST(ImageDetectTest, OtherFormatsRefusedWithAdviceToConvert) {
  std::string vdi = "<<< Oracle VM VirtualBox Disk Image >>>\n";
  vdi.resize(0x40, '\0');
  vdi += std::string("\x7f\x10\xda\xbe", 4) + std::string(1000, '\0');
  std::string not_vdi = vdi;
  not_vdi[0x40] = 0;
  const std::vector<std::pair<std::string, const char*>> cases = {
      {"vhdxfile" + std::string(2000, '\0'), "VHDX"},
      {"QFI\xfb" + std::string(2000, '\0'), "qcow2"},
      {vdi, "VDI"},
      {"KDMV" + std::string(2000, '\0'), "VMDK"},
      {"# Disk DescriptorFile\nversion=1\n", "VMDK"},
  };
  for (const auto& [bytes, format] : cases) {
    const ImageDetection detection = Detect(bytes);
    EXPECT_EQ(detection.kind, ImageKind::kRefused) << format;
    EXPECT_EQ(detection.problem, std::string("a ") + format +
                                     " image: convert it to VHD or raw first, e.g. qemu-img "
                                     "convert -O vpc");
  }
  EXPECT_EQ(Detect(not_vdi).kind, ImageKind::kRaw);
  EXPECT_EQ(Detect("QFI" + std::string(2000, '\0')).kind, ImageKind::kRaw);
}

std::string Patched(std::string bytes, std::size_t offset, std::size_t width, std::uint64_t value) {
  PutBe(bytes, offset, width, value);
  return bytes;
}

// The dynamic VHD with blocks 0 and 1 in use, its header changed and resealed.
std::string WithHeaderField(std::size_t field, std::size_t width, std::uint64_t value) {
  std::string vhd = MakeDynamicVhd(kDisk, kBlock, {0, 1});
  std::string header = vhd.substr(512, kVhdHeaderSize);
  PutBe(header, field, width, value);
  Reseal(header, 36);
  return vhd.replace(512, kVhdHeaderSize, header);
}

// The dynamic VHD with both footers changed and resealed.
std::string WithFooterField(std::size_t field, std::size_t width, std::uint64_t value) {
  std::string vhd = MakeDynamicVhd(kDisk, kBlock, {0, 1});
  std::string footer = vhd.substr(0, kVhdFooterSize);
  PutBe(footer, field, width, value);
  Reseal(footer, 64);
  vhd.replace(0, kVhdFooterSize, footer);
  return vhd.replace(vhd.size() - kVhdFooterSize, kVhdFooterSize, footer);
}

// The table moved into the header's second half, which holds the same entries.
std::string TableInHeader() {
  std::string vhd = MakeDynamicVhd(kDisk, kBlock, {0, 1});
  std::string header = vhd.substr(512, kVhdHeaderSize);
  PutBe(header, 16, 8, 1024);
  header.replace(512, 512, vhd.substr(kTestTableOffset, 512));
  Reseal(header, 36);
  return vhd.replace(512, kVhdHeaderSize, header);
}

struct RefusalCase {
  const char* name;
  std::string bytes;
  const char* problem;
};

TEST(ImageDetectTest, RefusesBrokenVhdsSayingWhy) {
  const std::string good = MakeDynamicVhd(kDisk, kBlock, {0, 1});
  const std::uint64_t end = good.size();
  const std::uint64_t footer = end - kVhdFooterSize;
  const char* const outside = "the VHD's header, table or a block lies outside the file's data";
  const char* const overlap = "the VHD's header, table or blocks overlap";
  std::string start_copy_broken = good;
  start_copy_broken[300] = 'x';
  std::string end_footer_broken = good;
  end_footer_broken[footer + 300] = 'x';
  const std::vector<RefusalCase> cases = {
      {"cut short", good.substr(0, end - 512),
       "a VHD without its footer at the end: the file may be cut short"},
      {"cut short by 100", good.substr(0, end - 100),
       "a VHD without its footer at the end: the file may be cut short"},
      {"footer checksum", end_footer_broken, "the VHD footer's checksum is wrong"},
      {"footer copy checksum", start_copy_broken,
       "the dynamic VHD's footer copy at the start: the VHD footer's checksum is wrong"},
      {"differencing", WithFooterField(60, 4, 4),
       "a differencing VHD: convert it first, e.g. qemu-img convert -O vpc"},
      {"footers disagree", good.substr(0, footer) + MakeFooter(3, kDisk - 512, 512),
       "the dynamic VHD's two footers disagree"},
      {"header past end", WithFooterField(16, 8, footer - 512),
       "the dynamic VHD's header lies outside the file"},
      {"header over footer copy", WithFooterField(16, 8, 0),
       "the dynamic VHD's header lies outside the file"},
      {"header checksum", Patched(good, 600, 1, 1), "the dynamic VHD header's checksum is wrong"},
      {"table too small", WithHeaderField(28, 4, 15),
       "the dynamic VHD's table does not cover its disk"},
      {"table past end", WithHeaderField(16, 8, footer - 256),
       "the dynamic VHD's block table lies outside the file"},
      {"table of too many entries", WithHeaderField(28, 4, 0x40000000),
       "the dynamic VHD's block table lies outside the file"},
      {"table over header", TableInHeader(), overlap},
      {"block past end", Patched(good, kTestTableOffset + 8, 4, (footer - 512) / 512), outside},
      {"block over footer copy", Patched(good, kTestTableOffset + 8, 4, 0), outside},
      {"block over table", Patched(good, kTestTableOffset + 8, 4, 3), overlap},
      {"block over block", Patched(good, kTestTableOffset + 8, 4, kFirstBlock / 512), overlap},
      {"block half over block",
       Patched(good, kTestTableOffset + 4, 4, (kFirstBlock + kBlockExtent - 512) / 512), overlap},
      {"fixed of wrong size", MakeFixedVhd(std::string(4096, '\0')).substr(512),
       "the fixed VHD's file size does not match its disk size"},
  };
  for (const RefusalCase& test : cases) {
    const ImageDetection detection = Detect(test.bytes);
    EXPECT_EQ(detection.kind, ImageKind::kRefused) << test.name;
    EXPECT_EQ(detection.problem, test.problem) << test.name;
  }
}

TEST(ImageDetectTest, BlocksMayFillTheFileUpToTheFooter) {
  // Block 1's sector moved up against the footer, freeing its old place.
  const std::string good = MakeDynamicVhd(kDisk, kBlock, {0, 1});
  const std::string moved =
      Patched(good, kTestTableOffset + 4, 4, (good.size() - 512 - kBlockExtent) / 512);
  EXPECT_EQ(Detect(moved).kind, ImageKind::kDynamicVhd);
  const std::string past =
      Patched(good, kTestTableOffset + 4, 4, (good.size() - kBlockExtent) / 512);
  EXPECT_EQ(Detect(past).kind, ImageKind::kRefused);
}

}  // namespace
