#include "platform/win32/replace_steps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

namespace platform::win32 {
namespace {

using Files = std::map<std::string, std::string>;

// A folder of named files whose calls are logged; the calls whose numbers are
// in failing_calls fail.
struct FakeFolder {
  Files files{{"T", "old"}, {"K1.TMP", "new"}};
  std::set<int> failing_calls;
  std::string log;
  int calls = 0;

  bool Call(const std::string& entry) {
    log += (log.empty() ? "" : "; ") + entry;
    return failing_calls.count(++calls) == 0;
  }
  bool Move(const char* verb, const char* from, const char* to, bool replacing) {
    if (!Call(std::string(verb) + from + ">" + to) || files.count(from) == 0 ||
        (!replacing && files.count(to) != 0)) {
      return false;
    }
    files[to] = files[from];
    files.erase(from);
    return true;
  }
};
FakeFolder* folder = nullptr;

constexpr FileMoves kFakeMoves{
    [](const char* from, const char* to) { return folder->Move("replace ", from, to, true); },
    [](const char* from, const char* to) { return folder->Move("rename ", from, to, false); },
    [](const char* path) {
      return folder->Call(std::string("remove ") + path) && folder->files.erase(path) == 1;
    },
    [](const char* /*target*/, char* aside) {
      std::strcpy(aside, "OLD1.TMP");
      return folder->Call("name aside");
    }};

struct ReplaceCase {
  bool one_step;
  std::set<int> failing_calls;
  Replacement result;
  const char* log;
  Files files_after;
};

TEST(Replace, WhicheverCallFailsTheTargetHoldsItsOldOrNewBytes) {
  const char* const replaced = "name aside; rename T>OLD1.TMP; rename K1.TMP>T; remove OLD1.TMP";
  const char* const moved_back =
      "name aside; rename T>OLD1.TMP; rename K1.TMP>T; rename OLD1.TMP>T";
  const Files untouched{{"T", "old"}, {"K1.TMP", "new"}};
  const ReplaceCase cases[] = {
      {false, {}, Replacement::kDone, replaced, {{"T", "new"}}},
      {false, {1}, Replacement::kTargetKept, "name aside", untouched},
      {false, {2}, Replacement::kTargetKept, "name aside; rename T>OLD1.TMP", untouched},
      {false, {3}, Replacement::kTargetKept, moved_back, untouched},
      {false, {4}, Replacement::kDone, replaced, {{"T", "new"}, {"OLD1.TMP", "old"}}},
      // Two failures: nothing is deleted, and both files stay whole.
      {false, {3, 4}, Replacement::kBothKept, moved_back, {{"OLD1.TMP", "old"}, {"K1.TMP", "new"}}},
      {true, {}, Replacement::kDone, "replace K1.TMP>T", {{"T", "new"}}},
      {true, {1}, Replacement::kTargetKept, "replace K1.TMP>T", untouched},
  };
  for (const ReplaceCase& c : cases) {
    FakeFolder fake;
    fake.failing_calls = c.failing_calls;
    folder = &fake;
    EXPECT_EQ(Replace(kFakeMoves, c.one_step, "K1.TMP", "T"), c.result) << c.log;
    EXPECT_EQ(fake.log, c.log);
    EXPECT_EQ(fake.files, c.files_after) << c.log;
  }
}

TEST(Replace, OnlyTheWindows95FamilyLacksTheOneStepReplace) {
  EXPECT_FALSE(HasOneStepReplace(0xC3B60004));  // Windows 95, 4.00.950
  EXPECT_FALSE(HasOneStepReplace(0xC0005A04));  // Windows ME, 4.90
  EXPECT_TRUE(HasOneStepReplace(0x05650004));   // Windows NT 4.0
  EXPECT_TRUE(HasOneStepReplace(0x23F00206));   // Windows 8 and later
}

}  // namespace
}  // namespace platform::win32
