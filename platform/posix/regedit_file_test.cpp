#include "platform/posix/regedit_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform::regedit {
namespace {

struct HeaderCase {
  const char* text;
  bool expected;
};

TEST(RegeditFileTest, AcceptsOnlyARegedit4FirstLine) {
  const std::vector<HeaderCase> cases = {
      {"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Enum]\r\n", true},
      {"REGEDIT4\n", true},
      {"REGEDIT4", true},
      {"REGEDIT4 \t\r\n", true},
      {"REGEDIT4\r\r\n", true},
      {"", false},
      {"\r\nREGEDIT4\r\n", false},
      {" REGEDIT4\r\n", false},
      {"regedit4\r\n", false},
      {"REGEDIT5\r\n", false},
      {"REGEDIT4x\r\n", false},
      {"Windows Registry Editor Version 5.00\r\n", false},
  };
  for (const HeaderCase& c : cases) {
    EXPECT_EQ(HasRegeditHeader(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(RegeditFileTest, SubkeyPathJoinsWithOneBackslash) {
  EXPECT_EQ(SubkeyPath("HKEY_LOCAL_MACHINE", "Enum"), "HKEY_LOCAL_MACHINE\\Enum");
  EXPECT_EQ(SubkeyPath("HKEY_LOCAL_MACHINE", ""), "HKEY_LOCAL_MACHINE");
}

constexpr const char* kSample =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_8086]\r\n"
    "\"Class\"=\"hdc\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\PCIX] trailing ] text\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\Root\r\n";

struct ExistsCase {
  const char* key_path;
  bool expected;
};

TEST(RegeditFileTest, KeyExistsWhenAHeaderNamesItOrAKeyBelowIt) {
  const std::vector<ExistsCase> cases = {
      {"HKEY_LOCAL_MACHINE", true},
      {"HKEY_LOCAL_MACHINE\\Enum", true},
      {"hkey_local_machine\\ENUM\\pci", true},
      {R"(HKEY_LOCAL_MACHINE\Enum\PCI\VEN_8086)", true},
      {"HKEY_LOCAL_MACHINE\\Enum\\PCIX", false},
      {"HKEY_LOCAL_MACHINE\\Enum\\PCIX] trailing ", true},
      {"HKEY_LOCAL_MACHINE\\Enum\\Root", true},
      {"HKEY_LOCAL_MACHINE\\Enum\\PC", false},
      {R"(HKEY_LOCAL_MACHINE\Enum\PCI\VEN_8086\Sub)", false},
      {"HKEY_LOCAL_MACHINE\\Enum\\Root\r", false},
      {"HKEY_LOCAL_MACHINE\\Enu", false},
      {"REGEDIT4", false},
      {R"("Class"="hdc")", false},
  };
  for (const ExistsCase& c : cases) {
    EXPECT_EQ(KeyExists(kSample, c.key_path), c.expected) << c.key_path;
  }
}

struct RemoveCase {
  const char* name;
  const char* text;
  const char* key_path;
  const char* expected;  // null when nothing is removed
};

const std::vector<RemoveCase> kRemoveCases = {
    {"KeyWithSubtreeAndCrLf",
     "REGEDIT4\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\Enum]\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\Enum\\PCI]\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_8086&DEV_7010]\r\n\"Class\"=\"hdc\"\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\Enum\\PCIX]\r\n\"Keep\"=\"1\"\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\Enum\\Root]\r\n",
     "HKEY_LOCAL_MACHINE\\Enum\\PCI",
     "REGEDIT4\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\Enum]\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\Enum\\PCIX]\r\n\"Keep\"=\"1\"\r\n\r\n"
     "[HKEY_LOCAL_MACHINE\\Enum\\Root]\r\n"},
    {"LfLineEndsAndLastSectionWithoutLineEnd",
     "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"1\"\n\n[HKEY_LOCAL_MACHINE\\A\\B]\n\"w\"=\"2\"",
     "HKEY_LOCAL_MACHINE\\A\\B", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"1\"\n\n"},
    {"ScatteredSectionsAndOtherCase",
     "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A\\hdc\\0000]\r\nx\r\n[HKEY_LOCAL_MACHINE\\A\\B]\r\ny\r\n"
     "[hkey_local_machine\\a\\HDC]\r\nz\r\n",
     "HKEY_LOCAL_MACHINE\\A\\hdc", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A\\B]\r\ny\r\n"},
    {"HeaderWithoutClosingBracket", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A\r\nx\r\n[K]\r\n",
     "HKEY_LOCAL_MACHINE\\A", "REGEDIT4\r\n[K]\r\n"},
    {"MixedLineEndsKeptAsTheyAre", "REGEDIT4\n[K\\A]\r\nx\n[K\\B]\ny\r\n[K\\A\\C]\n", "K\\A",
     "REGEDIT4\n[K\\B]\ny\r\n"},
    {"OnlySiblingsWithTheSamePrefix", "REGEDIT4\r\n[K\\hdcx]\r\n[K\\hdc0\\x]\r\n", "K\\hdc",
     nullptr},
    {"NotAHeaderUnlessBracketComesFirst", "REGEDIT4\r\n \t[K\\A]\r\n\"[K\\A]\"=\"\"\r\n", "K\\A",
     nullptr},
    {"WholeTreeFromItsTop", "REGEDIT4\r\n[K]\r\n[K\\A]\r\n", "K", "REGEDIT4\r\n"},
};

class RemoveKeyTreeTest : public testing::TestWithParam<RemoveCase> {};

TEST_P(RemoveKeyTreeTest, RemovesExactlyTheKeyAndItsSubtree) {
  const RemoveCase& c = GetParam();
  std::string text = c.text;
  const bool removed = RemoveKeyTree(text, c.key_path);
  EXPECT_EQ(removed, c.expected != nullptr);
  EXPECT_EQ(text, c.expected != nullptr ? c.expected : c.text);
  EXPECT_FALSE(RemoveKeyTree(text, c.key_path)) << "a second removal finds nothing";
  EXPECT_FALSE(KeyExists(text, c.key_path));
}

INSTANTIATE_TEST_SUITE_P(Cases, RemoveKeyTreeTest, testing::ValuesIn(kRemoveCases),
                         [](const testing::TestParamInfo<RemoveCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace platform::regedit
