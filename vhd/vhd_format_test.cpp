#include "vhd/vhd_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support/vhd_image.h"

namespace {

std::string FromHex(const std::string& hex, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < hex.size() / 2; ++i) {
    bytes[i] = static_cast<char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  }
  return bytes;
}

// The footer and header qemu-img 7.2 wrote for a dynamic VHD of a 16 MiB raw
// image, its reserved bytes left out.
const std::string kQemuFooter = FromHex(
    "636f6e65637469780000000200010000000000000000020032aac7f071656d75000500035769326b0000000001"
    "001000000000000100100001e2041100000003ffffefa4090cff276d364a34bd31290b4adcb7d1",
    kVhdFooterSize);
const std::string kQemuHeader =
    FromHex("6378737061727365ffffffffffffffff0000000000000600000100000000000900200000fffff46e",
            kVhdHeaderSize);

TEST(VhdFormatTest, ChecksumsOfQemuImgsFooterAndHeader) {
  EXPECT_EQ(VhdChecksum(kQemuFooter, 64), 0xffffefa4U);
  EXPECT_EQ(VhdChecksum(kQemuHeader, 36), 0xfffff46eU);
}

TEST(VhdFormatTest, ReadsQemuImgsFooterAndHeader) {
  const VhdRead<VhdFooter> footer = ReadVhdFooter(kQemuFooter);
  ASSERT_TRUE(footer.value) << footer.problem;
  EXPECT_EQ(footer.value->data_offset, 512U);
  EXPECT_EQ(footer.value->current_size, 16781312U);
  EXPECT_EQ(footer.value->type, VhdType::kDynamic);
  const VhdRead<VhdHeader> header = ReadVhdHeader(kQemuHeader);
  ASSERT_TRUE(header.value) << header.problem;
  EXPECT_EQ(header.value->table_offset, 1536U);
  EXPECT_EQ(header.value->max_table_entries, 9U);
  EXPECT_EQ(header.value->block_size, 2U << 20);
}

TEST(VhdFormatTest, AcceptsTheFooterOfOldToolsWithoutItsLastByte) {
  const VhdRead<VhdFooter> footer = ReadVhdFooter(kQemuFooter.substr(0, 511));
  ASSERT_TRUE(footer.value) << footer.problem;
  EXPECT_EQ(footer.value->current_size, 16781312U);
}

struct FooterCase {
  const char* name;
  std::string bytes;
  const char* problem;
};

std::string WithField(std::string bytes, std::size_t offset, std::size_t width, std::uint64_t value,
                      std::size_t checksum_offset) {
  PutBe(bytes, offset, width, value);
  Reseal(bytes, checksum_offset);
  return bytes;
}

std::string Flipped(std::string bytes, std::size_t offset) {
  bytes[offset] = static_cast<char>(bytes[offset] ^ 1);
  return bytes;
}

TEST(VhdFormatTest, RefusesBrokenFootersSayingWhy) {
  const std::vector<FooterCase> cases = {
      {"short", kQemuFooter.substr(0, 510), "a VHD footer takes 512 bytes"},
      {"cookie", WithField(kQemuFooter, 0, 1, 'C', 64), "no VHD footer"},
      {"flipped byte", Flipped(kQemuFooter, 100), "the VHD footer's checksum is wrong"},
      {"flipped checksum", Flipped(kQemuFooter, 67), "the VHD footer's checksum is wrong"},
      {"differencing", WithField(kQemuFooter, 60, 4, 4, 64),
       "a differencing VHD: convert it first, e.g. qemu-img convert -O vpc"},
      {"no type", WithField(kQemuFooter, 60, 4, 0, 64), "a VHD of an unknown disk type"},
      {"deprecated type", WithField(kQemuFooter, 60, 4, 5, 64), "a VHD of an unknown disk type"},
      {"odd size", WithField(kQemuFooter, 48, 8, 16781313, 64),
       "the VHD's disk size is no whole number of sectors"},
  };
  for (const FooterCase& test : cases) {
    const VhdRead<VhdFooter> footer = ReadVhdFooter(test.bytes);
    EXPECT_FALSE(footer.value) << test.name;
    EXPECT_EQ(footer.problem, test.problem) << test.name;
  }
}

TEST(VhdFormatTest, RefusesBrokenHeadersSayingWhy) {
  const char* const bad_block = "the VHD's block size is no power of two of whole sectors";
  const std::vector<FooterCase> cases = {
      {"short", kQemuHeader.substr(0, 512), "a VHD header takes 1024 bytes"},
      {"cookie", WithField(kQemuHeader, 7, 1, 'E', 36), "no dynamic VHD header"},
      {"flipped byte", Flipped(kQemuHeader, 1000), "the dynamic VHD header's checksum is wrong"},
      {"block size 0", WithField(kQemuHeader, 32, 4, 0, 36), bad_block},
      {"block size 256", WithField(kQemuHeader, 32, 4, 256, 36), bad_block},
      {"block size 3 sectors", WithField(kQemuHeader, 32, 4, 1536, 36), bad_block},
      {"block size 2 MiB + 1", WithField(kQemuHeader, 32, 4, (2U << 20) + 1, 36), bad_block},
  };
  for (const FooterCase& test : cases) {
    const VhdRead<VhdHeader> header = ReadVhdHeader(test.bytes);
    EXPECT_FALSE(header.value) << test.name;
    EXPECT_EQ(header.problem, test.problem) << test.name;
  }
  EXPECT_TRUE(ReadVhdHeader(WithField(kQemuHeader, 32, 4, 512, 36)).value);
}

TEST(VhdFormatTest, BitmapAndTableSizesArePaddedToSectors) {
  EXPECT_EQ(VhdBitmapSize(512), 512U);
  EXPECT_EQ(VhdBitmapSize(2U << 20), 512U);
  EXPECT_EQ(VhdBitmapSize(4U << 20), 1024U);
  EXPECT_EQ(VhdBitmapSize(1U << 31), 512U * 1024);
  EXPECT_EQ(VhdTableSize(0), 0U);
  EXPECT_EQ(VhdTableSize(9), 512U);
  EXPECT_EQ(VhdTableSize(128), 512U);
  EXPECT_EQ(VhdTableSize(129), 1024U);
}

TEST(VhdFormatTest, ReadsTableEntriesBigEndian) {
  const std::string bytes("\x00\x00\x00\x04\xff\xff\xff\xff\x01\x02\x03\x04", 12);
  const std::vector<std::uint32_t> expected = {4, kVhdUnallocated, 0x01020304};
  EXPECT_EQ(ReadBlockTable(bytes, 3), expected);
  EXPECT_EQ(ReadBlockTable(bytes, 1), std::vector<std::uint32_t>{4});
}

}  // namespace
