#include "inf/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TrimCase {
  std::string input;
  std::string expected;
};

TEST(TrimSpacesTest, RemovesTheSixWhiteSpaceBytesAtEitherEndOnly) {
  const TrimCase cases[] = {
      {"", ""},
      {" \t\n\v\f\r", ""},
      {"\tkey\r", "key"},
      {"  a b  ", "a b"},
      {"\v\fx\n", "x"},
      {"\x80x\xa0", "\x80x\xa0"},
      {" \xff ", "\xff"},
      {std::string("\0 a", 3), std::string("\0 a", 3)},
      {"no-trim", "no-trim"},
  };
  for (const TrimCase& c : cases) {
    EXPECT_EQ(TrimSpaces(c.input), c.expected) << "input: " << c.input;
  }
}

struct EqualsCase {
  const char* a;
  const char* b;
  bool equal;
};

TEST(EqualsIgnoringCaseTest, FoldsOnlyAsciiLettersAndNeedsEqualLengths) {
  const EqualsCase cases[] = {
      {"Intel.Mfg", "INTEL.MFG", true},
      {"abcxyz", "ABCXYZ", true},
      {"", "", true},
      {"Strings", "String", false},
      {"String", "Strings", false},
      {"\xe4", "\xc4", false},  // no code page letters fold
      {"@", "`", false},        // neighbours of 'A' and 'a'
      {"[", "{", false},        // neighbours of 'Z' and 'z'
  };
  for (const EqualsCase& c : cases) {
    EXPECT_EQ(EqualsIgnoringCase(c.a, c.b), c.equal) << c.a << " vs " << c.b;
  }
}

}  // namespace
