#include "creg/creg_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "test_support/temp_dir.h"

namespace creg {
namespace {

// The sample tree's SYSTEM.DAT: as Windows ME leaves a file, with checksums,
// free entries and freed records among those in use.
std::string Sample() {
  return ReadBytes(KESTRA32_EXAMPLES "/SYSTEM.DAT");
}

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

void Put(std::string& bytes, std::size_t at, std::uint32_t value, std::size_t size = 4) {
  for (std::size_t i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// File offsets of entries in the key table, which starts at 0x20.
std::size_t Root(const std::string& bytes) {
  return 0x20 + Get32(bytes, 0x28);
}
std::size_t FirstSubkey(const std::string& bytes, std::size_t entry) {
  return 0x20 + Get32(bytes, entry + 16);
}
std::size_t Next(const std::string& bytes, std::size_t entry) {
  return 0x20 + Get32(bytes, entry + 20);
}
std::size_t FreeEntry(const std::string& bytes) {
  return 0x20 + Get32(bytes, 0x2C);
}
// The first data block and its records, which follow its header.
std::size_t FirstBlock(const std::string& bytes) {
  return Get32(bytes, 8);
}
std::size_t FirstRecord(const std::string& bytes) {
  return FirstBlock(bytes) + 0x20;
}
std::size_t FirstFreedRecord(const std::string& bytes) {
  return FirstBlock(bytes) + Get32(bytes, FirstBlock(bytes) + 16);
}

// Sets each checksum that a header's flag asks for, after a damage that is
// meant to fail another check.
void FixChecksums(std::string& bytes) {
  const auto fix = [&bytes](std::size_t area, std::size_t size, std::size_t field, bool flagged) {
    if (!flagged) return;
    std::uint32_t sum = 0;
    for (std::size_t at = area; at + 4 <= area + size; at += 4) sum += Get32(bytes, at);
    Put(bytes, field, Get32(bytes, field) - sum);
  };
  fix(0, 0x20, 12, (Get32(bytes, 16) >> 16 & 4) != 0);
  fix(0x20, Get32(bytes, 0x24), 0x34, (Get32(bytes, 0x30) & 4) != 0);
  std::size_t block = FirstBlock(bytes);
  for (std::uint32_t n = Get32(bytes, 16) & 0xFFFF; n > 0 && block + 0x20 <= bytes.size(); --n) {
    const std::size_t size = Get32(bytes, block + 4);
    if (size < 0x20 || size > bytes.size() - block) return;
    fix(block, size, block + 28, (Get32(bytes, block + 12) & 4) != 0);
    block += size;
  }
}

TEST(CregFile, FindsKeysIgnoringLetterCase) {
  const std::string bytes = Sample();
  for (const char* path : {"Enum", R"(ENUM\pci)", R"(system\CurrentControlSet\Services\Class\HDC)",
                           R"(Enum\PCI\VEN_8086&DEV_7111\BUS_00&DEV_07&FUNC_01)"}) {
    EXPECT_TRUE(KeyExists(bytes, path)) << path;
  }
  for (const char* path : {"", R"(Enum\PC)", R"(Enum\PCIX)", R"(Enum\\PCI)", "Nothing",
                           R"(Enum\PCI\VEN_8086&DEV_7111\BUS_00&DEV_07&FUNC_01\More)"}) {
    EXPECT_FALSE(KeyExists(bytes, path)) << path;
  }
}

// First, middle and last among their siblings, and deeper down. The edit
// starts with the one pointer that leads past the key, synced: from there on
// the key is gone and the file passes every check, and so it does once the
// key's space is freed too.
TEST(CregFile, RemovesAKeyAndKeepsItsSiblings) {
  const std::vector<std::vector<const char*>> cases = {
      {R"(Enum\BIOS)", R"(Enum\ESDI)", R"(Enum\Root\*PNP0C01)"},
      {R"(Enum\MF)", R"(Enum\ESDI)", R"(Enum\PCI\VEN_8086&DEV_7110)"},
      {R"(Enum\Root)", R"(Enum\PCMCIA)", R"(Enum\BIOS)"},
      {R"(System\CurrentControlSet\Services\Class\hdc)",
       R"(System\CurrentControlSet\Services\Class\fdc)",
       R"(System\CurrentControlSet\Services\Class\System)"},
      {R"(Enum\PCI\VEN_8086&DEV_7111)", R"(Enum\PCI\VEN_8086&DEV_7110)",
       R"(Enum\PCI\VEN_8086&DEV_7112\BUS_00&DEV_07&FUNC_02)"},
  };
  for (const auto& c : cases) {
    const std::string old_bytes = Sample();
    const std::optional<Edit> edit = PlanKeyRemoval(old_bytes, c[0]);
    ASSERT_TRUE(edit) << c[0];
    ASSERT_GE(edit->size(), 3U) << c[0];
    const Write& unlink = edit->front();
    EXPECT_EQ(unlink.offset % 4, 0U) << c[0];
    EXPECT_EQ(unlink.bytes.size(), 4U) << c[0];
    EXPECT_TRUE(edit->back().sync_after) << c[0];
    std::string bytes = old_bytes;
    for (const Write& write : *edit) {
      ApplyEdit(bytes, {write});
      if (!write.sync_after) continue;
      EXPECT_FALSE(KeyExists(bytes, c[0])) << c[0];
      EXPECT_TRUE(KeyExists(bytes, c[1]) && KeyExists(bytes, c[2])) << c[0];
    }
    EXPECT_EQ(bytes.size(), old_bytes.size());
    EXPECT_FALSE(PlanKeyRemoval(bytes, c[0])) << "a second time: " << c[0];
  }
}

TEST(CregFile, TakesChecksumFieldsAsTheyAreWhereNoFlagAsksForThem) {
  std::string bytes = Sample();
  Put(bytes, 18, 0, 2);
  Put(bytes, 0x30, 0);
  Put(bytes, FirstBlock(bytes) + 12, 0, 2);
  for (const std::size_t field : {std::size_t{12}, std::size_t{0x34}, FirstBlock(bytes) + 28}) {
    Put(bytes, field, 0x5EED0000 + field);
  }
  const std::optional<Edit> edit = PlanKeyRemoval(bytes, R"(Enum\PCI)");
  ASSERT_TRUE(edit);
  ApplyEdit(bytes, *edit);
  EXPECT_FALSE(KeyExists(bytes, R"(Enum\PCI)"));
  EXPECT_EQ(Get32(bytes, 0x34), 0x5EED0034U);
}

struct Damage {
  const char* name;
  std::function<void(std::string&)> apply;
};

TEST(CregFile, RefusesADamagedFileWhole) {
  const std::vector<Damage> damages = {
      {"signature", [](std::string& b) { b[0] = 'K'; }},
      {"minor version", [](std::string& b) { Put(b, 4, 1, 2); }},
      {"major version", [](std::string& b) { Put(b, 6, 2, 2); }},
      {"key table signature", [](std::string& b) { b[0x20] = 'X'; }},
      {"key table past the end", [](std::string& b) { Put(b, 0x24, b.size()); }},
      {"cut in the key table", [](std::string& b) { b.resize(0x100); }},
      {"cut in the last data block", [](std::string& b) { b.resize(b.size() - 4); }},
      {"a data block more", [](std::string& b) { Put(b, 16, Get32(b, 16) + 1, 2); }},
      {"data blocks over the key table", [](std::string& b) { Put(b, 8, 0x40); }},
      {"data block past the end", [](std::string& b) { Put(b, FirstBlock(b) + 4, 0x7FFFFFF0); }},
      {"root misaligned", [](std::string& b) { Put(b, 0x28, Get32(b, 0x28) + 2); }},
      {"subkey past the table", [](std::string& b) { Put(b, Root(b) + 16, Get32(b, 0x24)); }},
      {"subkey misaligned",
       [](std::string& b) { Put(b, Root(b) + 16, Get32(b, Root(b) + 16) + 2); }},
      {"a loop",
       [](std::string& b) {
         const std::size_t enum_key = FirstSubkey(b, Root(b));
         Put(b, FirstSubkey(b, enum_key) + 20, enum_key - 0x20);
       }},
      {"overlapping entries",
       [](std::string& b) {
         const std::size_t bios = FirstSubkey(b, FirstSubkey(b, Root(b)));
         Put(b, bios + 20, Get32(b, Next(b, bios) + 16) - 4);
       }},
      {"a key marked free", [](std::string& b) { Put(b, FirstSubkey(b, Root(b)), 0x80000000); }},
      {"a wrong parent",
       [](std::string& b) { Put(b, FirstSubkey(b, Root(b)) + 12, Get32(b, Root(b) + 16)); }},
      {"a record not found",
       [](std::string& b) { Put(b, FirstSubkey(b, Root(b)) + 24, 0x7777, 2); }},
      {"a name past its record", [](std::string& b) { Put(b, FirstRecord(b) + 12, 0x7FFF, 2); }},
      {"a record past its block", [](std::string& b) { Put(b, FirstRecord(b), 0x7FFFFFF0); }},
      {"two keys of one record",
       [](std::string& b) {
         const std::size_t bios = FirstSubkey(b, FirstSubkey(b, Root(b)));
         Put(b, FirstSubkey(b, bios) + 24, Get32(b, Next(b, Next(b, bios)) + 24));
       }},
      {"two siblings of one name", [](std::string& b) { b.replace(b.find("ESDI"), 4, "bios"); }},
      {"two records of one id",
       [](std::string& b) {
         const std::size_t freed = FirstFreedRecord(b);
         Put(b, freed + 4, Get32(b, FirstRecord(b) + 4) & 0xFFFF, 2);
         Put(b, FirstBlock(b) + 16, Get32(b, freed + 8));
       }},
      {"the root with a sibling", [](std::string& b) { Put(b, Root(b) + 20, Get32(b, 0x28)); }},
      {"a free entry in use", [](std::string& b) { Put(b, 0x2C, Get32(b, 0x28)); }},
      {"a free run over an entry in use",
       [](std::string& b) { Put(b, FreeEntry(b) + 4, Get32(b, 0x24) - Get32(b, 0x2C)); }},
      {"a free run past the table", [](std::string& b) { Put(b, FreeEntry(b) + 4, 0x7FFFFFF0); }},
      {"a loop of free entries", [](std::string& b) { Put(b, FreeEntry(b) + 8, Get32(b, 0x2C)); }},
      {"a loop of freed records",
       [](std::string& b) { Put(b, FirstFreedRecord(b) + 8, Get32(b, FirstBlock(b) + 16)); }},
      {"a freed list leading to a record in use",
       [](std::string& b) { Put(b, FirstBlock(b) + 16, 0x20); }},
  };
  const std::vector<Damage> checksum_damages = {
      {"header checksum", [](std::string& b) { Put(b, 12, Get32(b, 12) + 1); }},
      {"key table checksum", [](std::string& b) { Put(b, 0x34, Get32(b, 0x34) + 1); }},
      {"a key table byte", [](std::string& b) { b[Root(b) + 4] ^= 1; }},
      {"a data block byte", [](std::string& b) { b[FirstRecord(b) + 20] ^= 1; }},
  };
  for (const bool fix_checksums : {true, false}) {
    for (const Damage& damage : fix_checksums ? damages : checksum_damages) {
      std::string bytes = Sample();
      ASSERT_TRUE(KeyExists(bytes, "Enum")) << damage.name;
      damage.apply(bytes);
      if (fix_checksums) FixChecksums(bytes);
      EXPECT_FALSE(KeyExists(bytes, "Enum")) << damage.name;
      EXPECT_FALSE(PlanKeyRemoval(bytes, R"(Enum\PCI)")) << damage.name;
    }
  }
}

}  // namespace
}  // namespace creg
