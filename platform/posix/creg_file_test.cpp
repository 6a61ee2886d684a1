#include "platform/posix/creg_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "test_support/temp_dir.h"

namespace platform::creg {
namespace {

// The sample tree's SYSTEM.DAT: two data blocks, unused bytes and free entries
// between the used ones.
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
// The name entries of the first data block follow its header.
std::size_t FirstNameEntry(const std::string& bytes) {
  return Get32(bytes, 8) + 0x20;
}
// The first free name entry of the first data block, given the number
// `number`, so that it names a key of its own: an empty name.
void NumberAFreeNameEntry(std::string& bytes, std::uint32_t number) {
  std::size_t entry = FirstNameEntry(bytes);
  while (Get32(bytes, entry + 4) >> 16 != 0 || (Get32(bytes, entry + 4) & 0xFFFF) != 0xFFFF) {
    entry += Get32(bytes, entry);
  }
  Put(bytes, entry + 4, number, 2);
}

TEST(CregFile, FindsKeysIgnoringLetterCase) {
  const std::string bytes = Sample();
  for (const char* path : {"Enum", R"(ENUM\pci)", R"(system\CurrentControlSet\Services\Class\HDC)",
                           R"(Enum\PCI\VEN_8086&DEV_7111\BUS_00&DEV_07&FUNC_01)"}) {
    EXPECT_TRUE(KeyExists(bytes, path)) << path;
  }
  for (const char* path : {"", R"(Enum\PC)", R"(Enum\PCIX)", R"(Enum\\PCI)", "Software",
                           R"(Enum\PCI\VEN_8086&DEV_7111\BUS_00&DEV_07&FUNC_01\More)"}) {
    EXPECT_FALSE(KeyExists(bytes, path)) << path;
  }
}

// First, middle and last among their siblings, and deeper down.
TEST(CregFile, UnlinksAKeyByOnePointerAndKeepsItsSiblings) {
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
    std::string bytes = old_bytes;
    const std::optional<Unlink> unlink = PlanUnlink(bytes, c[0]);
    ASSERT_TRUE(unlink) << c[0];
    ApplyUnlink(bytes, *unlink);
    EXPECT_FALSE(KeyExists(bytes, c[0])) << c[0];
    EXPECT_TRUE(KeyExists(bytes, c[1]) && KeyExists(bytes, c[2])) << c[0];
    EXPECT_FALSE(PlanUnlink(bytes, c[0])) << "a second time: " << c[0];
    // Only the four aligned bytes of one pointer changed.
    EXPECT_EQ(unlink->offset % 4, 0U) << c[0];
    EXPECT_NE(bytes.substr(unlink->offset, 4), old_bytes.substr(unlink->offset, 4)) << c[0];
    bytes.replace(unlink->offset, 4, old_bytes, unlink->offset, 4);
    EXPECT_EQ(bytes, old_bytes) << c[0];
  }
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
      {"header checksum", [](std::string& b) { Put(b, 12, 1); }},
      {"key table signature", [](std::string& b) { b[0x20] = 'X'; }},
      {"key table checksum", [](std::string& b) { Put(b, 0x34, 0x1234); }},
      {"key table past the end", [](std::string& b) { Put(b, 0x24, b.size()); }},
      {"cut in the key table", [](std::string& b) { b.resize(0x100); }},
      {"cut in the last data block", [](std::string& b) { b.pop_back(); }},
      {"a data block more", [](std::string& b) { Put(b, 16, Get32(b, 16) + 1, 2); }},
      {"data blocks over the key table", [](std::string& b) { Put(b, 8, 0x40); }},
      {"data block past the end", [](std::string& b) { Put(b, Get32(b, 8) + 4, 0x7FFFFFF0); }},
      {"root misaligned", [](std::string& b) { Put(b, 0x28, Get32(b, 0x28) + 2); }},
      {"subkey past the table", [](std::string& b) { Put(b, Root(b) + 16, Get32(b, 0x24)); }},
      {"subkey misaligned",
       [](std::string& b) { Put(b, Root(b) + 16, Get32(b, Root(b) + 16) + 2); }},
      {"a loop",
       [](std::string& b) {
         const std::size_t enum_key = FirstSubkey(b, Root(b));
         Put(b, FirstSubkey(b, enum_key) + 20, enum_key - 0x20);
       }},
      // Four bytes into the root lies what passes for a key under Enum with no
      // subkey or sibling: its name is the entry that the first field of the
      // next entry, which has no known meaning, makes it take.
      {"overlapping entries",
       [](std::string& b) {
         NumberAFreeNameEntry(b, 0x100);
         Put(b, Root(b) + 28, 0x100);
         Put(b, FirstSubkey(b, FirstSubkey(b, Root(b))) + 20, Root(b) - 0x20 + 4);
       }},
      {"a wrong parent",
       [](std::string& b) { Put(b, FirstSubkey(b, Root(b)) + 12, Get32(b, Root(b) + 16)); }},
      {"a name not found", [](std::string& b) { Put(b, FirstSubkey(b, Root(b)) + 24, 0x7777, 2); }},
      {"a name past its entry", [](std::string& b) { Put(b, FirstNameEntry(b) + 12, 0x7FFF, 2); }},
      {"a name entry past its block",
       [](std::string& b) { Put(b, FirstNameEntry(b), 0x7FFFFFF0); }},
      {"two keys of one name entry",
       [](std::string& b) {
         const std::size_t bios = FirstSubkey(b, FirstSubkey(b, Root(b)));
         Put(b, FirstSubkey(b, bios) + 24, Get32(b, Next(b, Next(b, bios)) + 24));
       }},
      {"two siblings of one name", [](std::string& b) { b.replace(b.find("ESDI"), 4, "bios"); }},
      {"two name entries of one number",
       [](std::string& b) { NumberAFreeNameEntry(b, Get32(b, FirstNameEntry(b) + 4) & 0xFFFF); }},
      {"the root with a sibling", [](std::string& b) { Put(b, Root(b) + 20, Get32(b, 0x28)); }},
  };
  for (const Damage& damage : damages) {
    std::string bytes = Sample();
    damage.apply(bytes);
    EXPECT_FALSE(KeyExists(bytes, "Enum")) << damage.name;
    EXPECT_FALSE(PlanUnlink(bytes, R"(Enum\PCI)")) << damage.name;
  }
}

}  // namespace
}  // namespace platform::creg
