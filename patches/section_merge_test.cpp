#include "patches/section_merge.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support/temp_dir.h"

namespace {

// Entries of a made-up vendor "8086" at offset 2 of the compared part.
constexpr Entry kTwoKeys[] = {{"K_8086A=a"}, {"K_8086B=b"}};
constexpr Entry kGrouped[] = {
    {"K_8086A=a"}, {"K_8086B=b"}, {"chain1=c", false}, {"chain2=c", false, 1U}};
constexpr Entry kValues[] = {{"Only=V_8086A"}, {"Only=V_8086B"}};
constexpr Entry kWholeLines[] = {{"kw:8086 name1", true},
                                 {"kw:8086 path1", false},
                                 {"kw:8086 name2", true},
                                 {"kw:8086 path2", false}};

constexpr Scan kKeys[] = {KeyScan({2, "8086"}, TableOf(kTwoKeys))};
constexpr Scan kKeysStopAtSecond[] = {KeyScan({2, "8086"}, TableOf(kTwoKeys), 1)};
constexpr Scan kGroups[] = {KeyScan({2, "8086"}, TableOf(kGrouped))};
constexpr Scan kValueScan[] = {ValueScan("Only", {2, "8086"}, TableOf(kValues))};
constexpr Scan kWholeLineScan[] = {{ComparedPart::kLine,
                                    {},
                                    {0, "KW:"},
                                    {3, "8086"},
                                    0,
                                    Fallback::kLastFilteredLine,
                                    2,
                                    1U,
                                    TableOf(kWholeLines)}};
// The whole-line scan sets flag 1, which lets the group scan insert "chain2".
constexpr Scan kFlagThenGroups[] = {kWholeLineScan[0], kGroups[0]};

struct MergeCase {
  const char* name;
  Table<Scan> scans;
  std::string before;  // a file holding section [S]
  std::string after;
};

TEST(SectionMergeTest, InsertsMissingEntriesAfterTheVendorAnchor) {
  const MergeCase cases[] = {
      {"empty section", TableOf(kKeys), "[S]\r\n[T]", "[S]\r\nK_8086A=a\r\nK_8086B=b\r\n[T]"},
      {"section at end of file", TableOf(kKeys), "[S]", "[S]\r\nK_8086A=a\r\nK_8086B=b"},
      {"all present in other case and spacing", TableOf(kKeys),
       "[S]\r\n  k_8086a =x\r\nK_8086B\t= y", "[S]\r\n  k_8086a =x\r\nK_8086B\t= y"},
      {"after last vendor line when stop absent", TableOf(kKeys),
       "[S]\r\nK_8086Z=1\r\nK_1106Z=1\r\nK_8086Y=1\r\nK_1106Y=1",
       "[S]\r\nK_8086Z=1\r\nK_1106Z=1\r\nK_8086Y=1\r\nK_8086A=a\r\nK_8086B=b\r\nK_1106Y=1"},
      {"after the first of two stop lines", TableOf(kKeys),
       "[S]\r\nK_8086A=1\r\nK_8086Z=1\r\nK_8086A=2",
       "[S]\r\nK_8086A=1\r\nK_8086B=b\r\nK_8086Z=1\r\nK_8086A=2"},
      {"stop entry need not be the first", TableOf(kKeysStopAtSecond),
       "[S]\r\nK_8086B=1\r\nK_8086Z=1", "[S]\r\nK_8086B=1\r\nK_8086A=a\r\nK_8086Z=1"},
      {"line without '=' is no entry and no anchor", TableOf(kKeys),
       "[S]\r\nK_8086A\r\nK_8086B=1\r\nK_8086Z",
       "[S]\r\nK_8086A\r\nK_8086B=1\r\nK_8086A=a\r\nK_8086Z"},
      {"commented copy is no entry and no anchor", TableOf(kKeys), "[S]\r\n;K_8086A=a\r\nK_8086B=b",
       "[S]\r\n;K_8086A=a\r\nK_8086B=b\r\nK_8086A=a"},
      {"short key is no anchor", TableOf(kKeys), "[S]\r\nK_808=8086\r\nK_8086B=b",
       "[S]\r\nK_808=8086\r\nK_8086B=b\r\nK_8086A=a"},
      {"missing looked-for entry brings its group", TableOf(kGroups),
       "[S]\r\nK_8086A=1\r\nchain1=c", "[S]\r\nK_8086A=1\r\nK_8086B=b\r\nchain1=c\r\nchain1=c"},
      {"present looked-for entry keeps its group out", TableOf(kGroups), "[S]\r\nk_8086b=2",
       "[S]\r\nk_8086b=2\r\nK_8086A=a"},
      {"value scan passes over other keys", TableOf(kValueScan),
       "[S]\r\nOther=V_8086A\r\nonly = v_8086b\r\nOnly=V_8086A,V_8086B",
       "[S]\r\nOther=V_8086A\r\nonly = v_8086b\r\nOnly=V_8086A,V_8086B\r\nOnly=V_8086A"},
      {"whole-line scan with no filtered line inserts nothing", TableOf(kWholeLineScan),
       "[S]\r\nkw 8086 name1", "[S]\r\nkw 8086 name1"},
      {"whole-line scan falls back to the last filtered line", TableOf(kWholeLineScan),
       "[S]\r\nkw:1106 a\r\nKW:1106 b\r\nother",
       "[S]\r\nkw:1106 a\r\nKW:1106 b\r\nkw:8086 name1\r\nkw:8086 path1\r\nkw:8086 name2\r\n"
       "kw:8086 path2\r\nother"},
      {"whole-line match ignores only case", TableOf(kWholeLineScan),
       "[S]\r\nKW:8086 NAME1\r\nkw:8086 name2 ",
       "[S]\r\nKW:8086 NAME1\r\nkw:8086 name2 \r\nkw:8086 name2\r\nkw:8086 path2"},
      {"found stop moves the insertion two lines on", TableOf(kWholeLineScan),
       "[S]\r\nkw:8086 name1\r\nkw:8086 path1\r\nkw:8086 inst1\r\n[T]",
       "[S]\r\nkw:8086 name1\r\nkw:8086 path1\r\nkw:8086 inst1\r\nkw:8086 name2\r\n"
       "kw:8086 path2\r\n[T]"},
      {"fewer than two lines after a found stop: end of document", TableOf(kWholeLineScan),
       "[T]\r\n[S]\r\nkw:8086 name1\r\nx",
       "[T]\r\n[S]\r\nkw:8086 name1\r\nx\r\nkw:8086 name2\r\nkw:8086 path2"},
      {"flag set by an earlier scan lets a conditional line in", TableOf(kFlagThenGroups),
       "[S]\r\nkw:8086 name1\r\nkw:8086 name2",
       "[S]\r\nK_8086A=a\r\nK_8086B=b\r\nchain1=c\r\nchain2=c\r\nkw:8086 name1\r\nkw:8086 name2"},
  };
  for (const MergeCase& c : cases) {
    TempDir dir;
    const std::string path = dir.File("S.INF");
    WriteBytes(path, c.before);
    const SectionStep steps[] = {{"S", c.scans}};
    EXPECT_EQ(PatchInfFile(path.c_str(), TableOf(steps)), 1) << c.name;
    EXPECT_EQ(ReadBytes(path), c.after) << c.name;
    EXPECT_EQ(PatchInfFile(path.c_str(), TableOf(steps)), 1) << c.name;
    EXPECT_EQ(ReadBytes(path), c.after) << c.name << " (second run)";
  }
}

TEST(SectionMergeTest, AMissingSectionOrAFailedSaveLeavesTheFileAsItWas) {
  const SectionStep steps[] = {{"S", TableOf(kKeys)}, {"T", TableOf(kKeys)}};
  const struct {
    std::string before;
    bool read_only;
  } cases[] = {{"[S]\r\nx=1\r\n", false}, {"[S]\r\n[T]\r\n", true}};
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = dir.File("S.INF");
    WriteBytes(path, c.before);
    if (c.read_only) {
      std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::remove);
    }
    EXPECT_EQ(PatchInfFile(path.c_str(), TableOf(steps)), 0);
    EXPECT_EQ(ReadBytes(path), c.before);
  }
  EXPECT_EQ(PatchInfFile("/nonexistent/S.INF", TableOf(steps)), 0);
}

}  // namespace
