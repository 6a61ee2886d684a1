#include "platform/win32/command_tail.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TailCase {
  const char* command_line;
  const char* tail;
};

TEST(CommandTail, SkipsTheProgramNameAndTheBlanksAfterIt) {
  const TailCase cases[] = {
      {"KESTRA32.EXE /?", "/?"},
      {"KESTRA32.EXE", ""},
      {"", ""},
      {"C:\\KESTRA32.EXE \t\x01 -h x ", "-h x "},
      {"\"C:\\PROGRAM FILES\\KESTRA32.EXE\" /h", "/h"},
      {"\"C:\\A -H B\\KESTRA32.EXE\"", ""},
      {"\"C:\\KESTRA32.EXE\"/?", "/?"},
      {"\"unterminated name /?", ""},
      {"KESTRA32.EXE\t/?", "/?"},
      {"KESTRA32.EXE\x7f/?", ""},
      {"KESTRA32.EXE \xa0/?", "\xa0/?"},
  };
  for (const TailCase& c : cases) {
    std::string line = c.command_line;
    EXPECT_STREQ(CommandTail(line.data()), c.tail) << c.command_line;
  }
}

}  // namespace
