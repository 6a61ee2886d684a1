#include "fat/directory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/little_endian.h"

namespace {

std::string ShortSlot(const std::string& name11, std::uint8_t attributes, std::uint32_t cluster = 0,
                      std::uint32_t size = 0) {
  std::string slot = name11;
  slot.resize(kDirEntryBytes, '\0');
  slot[11] = static_cast<char>(attributes);
  WriteLe16(slot, 20, static_cast<std::uint16_t>(cluster >> 16));
  WriteLe16(slot, 26, static_cast<std::uint16_t>(cluster & 0xFFFF));
  WriteLe32(slot, 28, size);
  return slot;
}

// The long-name slots of a name, as they precede the short entry: last part first.
std::vector<std::string> LongSlots(const std::u16string& name, std::uint8_t checksum) {
  static const std::size_t offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  const std::size_t parts = (name.size() + 12) / 13;
  std::vector<std::string> slots;
  for (std::size_t part = parts; part > 0; --part) {
    std::string slot(kDirEntryBytes, '\0');
    slot[0] = static_cast<char>(part | (part == parts ? 0x40 : 0));
    slot[11] = 0x0F;
    slot[13] = static_cast<char>(checksum);
    for (std::size_t i = 0; i < 13; ++i) {
      const std::size_t at = (part - 1) * 13 + i;
      const std::uint16_t unit = at < name.size() ? name[at] : (at == name.size() ? 0 : 0xFFFF);
      WriteLe16(slot, offsets[i], unit);
    }
    slots.push_back(slot);
  }
  return slots;
}

std::string Join(const std::vector<std::string>& slots) {
  std::string bytes;
  for (const std::string& slot : slots) bytes += slot;
  return bytes;
}

TEST(ShortNameChecksumTest, RotatesAndAddsEachByte) {
  EXPECT_EQ(ShortNameChecksum("MACHINE INF"), 0xE5);
  EXPECT_EQ(ShortNameChecksum("ALONGF~1TXT"), 0x02);
}

TEST(ParseDirectoryTest, ReadsShortEntriesUpToTheEndMarker) {
  std::string bytes =
      Join({ShortSlot("SYSTEM  DAT", 0x27, 7, 123456), ShortSlot("INF        ", 0x10, 9),
            ShortSlot("\xE5OLD    TXT", 0x20, 3, 1),
            ShortSlot("\x05"
                      "AB     X  ",
                      0x20, 4, 2),
            ShortSlot("DISK1      ", 0x08), std::string(kDirEntryBytes, '\0'),
            ShortSlot("HIDDEN  TXT", 0x20, 5, 5)});
  const std::vector<DirEntry> entries = ParseDirectory(bytes, false);
  ASSERT_EQ(entries.size(), 4U);
  EXPECT_EQ(entries[0].short_name, "SYSTEM.DAT");
  EXPECT_EQ(entries[0].first_cluster, 7U);
  EXPECT_EQ(entries[0].size, 123456U);
  EXPECT_TRUE(entries[0].Has(fat_attribute::kReadOnly));
  EXPECT_TRUE(entries[0].Has(fat_attribute::kHidden));
  EXPECT_TRUE(entries[0].Has(fat_attribute::kSystem));
  EXPECT_FALSE(entries[0].Has(fat_attribute::kDirectory));
  EXPECT_EQ(entries[0].raw, bytes.substr(0, 32));
  EXPECT_EQ(entries[1].short_name, "INF");
  EXPECT_TRUE(entries[1].Has(fat_attribute::kDirectory));
  EXPECT_EQ(entries[2].short_name,
            "\xE5"
            "AB.X");
  EXPECT_EQ(entries[2].index, 3U);
  EXPECT_EQ(entries[3].short_name, "DISK1");
  EXPECT_TRUE(entries[3].Has(fat_attribute::kVolumeLabel));
}

TEST(ParseDirectoryTest, TakesTheHighClusterWordOnFat32Only) {
  const std::string bytes = ShortSlot("A          ", 0x20, 0x00120034, 1);
  EXPECT_EQ(ParseDirectory(bytes, true)[0].first_cluster, 0x00120034U);
  EXPECT_EQ(ParseDirectory(bytes, false)[0].first_cluster, 0x34U);
}

TEST(ParseDirectoryTest, DotEntriesAreKeptAndKnown) {
  const auto entries =
      ParseDirectory(ShortSlot(".          ", 0x10, 5) + ShortSlot("..         ", 0x10), false);
  ASSERT_EQ(entries.size(), 2U);
  EXPECT_TRUE(entries[0].IsDotEntry());
  EXPECT_TRUE(entries[1].IsDotEntry());
  EXPECT_EQ(entries[1].first_cluster, 0U);
}

TEST(ParseDirectoryTest, JoinsLongNameSlotsWithAMatchingChecksum) {
  std::vector<std::string> slots = LongSlots(u"A long file name.txt", 0x02);
  ASSERT_EQ(slots.size(), 2U);
  slots.push_back(ShortSlot("ALONGF~1TXT", 0x20, 2, 10));
  slots.push_back(ShortSlot("PLAIN   TXT", 0x20, 3, 10));
  const auto entries = ParseDirectory(Join(slots), false);
  ASSERT_EQ(entries.size(), 2U);
  EXPECT_EQ(entries[0].long_name, "A long file name.txt");
  EXPECT_EQ(entries[0].index, 2U);
  EXPECT_EQ(entries[1].long_name, "");
}

TEST(ParseDirectoryTest, EncodesLongNamesAsUtf8) {
  std::vector<std::string> slots = LongSlots(u"caf\u00e9 \u20ac", 0x02);
  slots.push_back(ShortSlot("ALONGF~1TXT", 0x20));
  EXPECT_EQ(ParseDirectory(Join(slots), false)[0].long_name, "caf\xC3\xA9 \xE2\x82\xAC");
}

TEST(ParseDirectoryTest, DropsLongNamesThatDoNotBelongToTheShortEntry) {
  const std::vector<std::string> good = LongSlots(u"A long file name.txt", 0x02);
  const std::string short_slot = ShortSlot("ALONGF~1TXT", 0x20);
  std::string deleted_slot = good[1];
  deleted_slot[0] = static_cast<char>(0xE5);
  const struct {
    const char* what;
    std::vector<std::string> slots;
  } cases[] = {
      {"wrong checksum",
       {LongSlots(u"A long file name.txt", 0x03)[0], LongSlots(u"A long file name.txt", 0x03)[1],
        short_slot}},
      {"first part missing", {good[0], short_slot}},
      {"last part missing", {good[1], short_slot}},
      {"parts swapped", {good[1], good[0], short_slot}},
      {"part deleted", {good[0], deleted_slot, short_slot}},
      {"deleted between", {good[0], good[1], ShortSlot("\xE5OLD    TXT", 0x20), short_slot}},
      {"checksums differ", {good[0], LongSlots(u"A long file name.txt", 0x03)[1], short_slot}},
  };
  for (const auto& c : cases) {
    const auto entries = ParseDirectory(Join(c.slots), false);
    ASSERT_EQ(entries.size(), 1U) << c.what;
    EXPECT_EQ(entries[0].long_name, "") << c.what;
    EXPECT_EQ(entries[0].short_name, "ALONGF~1.TXT") << c.what;
  }
}

TEST(DirEntryTest, MatchesTheLongOrShortNameFoldingAsciiOnly) {
  DirEntry entry;
  entry.short_name = "MACHIN~1.INF";
  entry.long_name = "Machine.inf";
  EXPECT_TRUE(entry.Matches("MACHINE.INF"));
  EXPECT_TRUE(entry.Matches("machin~1.inf"));
  EXPECT_FALSE(entry.Matches("MACHINE"));
  EXPECT_FALSE(entry.Matches("MACHINE.INF "));
  entry.long_name = "\xC3\xA9t\xC3\xA9";
  EXPECT_TRUE(entry.Matches("\xC3\xA9T\xC3\xA9"));
  EXPECT_FALSE(entry.Matches("\xC3\x89T\xC3\x89"));
  entry.long_name.clear();
  EXPECT_FALSE(entry.Matches(""));
}

}  // namespace
