#include "platform/posix/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "test_support/temp_dir.h"

namespace platform::posix {
namespace {

struct ResolveCase {
  const char* written;
  const char* expected;
};

void PrintTo(const ResolveCase& c, std::ostream* os) {
  *os << c.written;
}

class ResolvePathTest : public ::testing::TestWithParam<ResolveCase> {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TempDir();
    for (const char* name :
         {"WINDOWS/INF/MSHDC.INF", "lower/windows/inf/mshdc.inf", "mixed/name.inf",
          "mixed/Name.inf", "mixed/NAME.INF", "mixed/\303\244b.inf"}) {
      WriteBytes(folder_->File(name), "x");
    }
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  static TempDir* folder_;
};

TempDir* ResolvePathTest::folder_ = nullptr;

TEST_P(ResolvePathTest, FindsTheFileAsThisSystemNamesIt) {
  const std::string written = folder_->path().string() + "\\" + GetParam().written;
  EXPECT_EQ(ResolvePath(written.c_str()), folder_->File(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ResolvePathTest,
    ::testing::Values(ResolveCase{"WINDOWS\\INF\\MSHDC.INF", "WINDOWS/INF/MSHDC.INF"},
                      ResolveCase{"WINDOWS/INF\\MSHDC.INF", "WINDOWS/INF/MSHDC.INF"},
                      ResolveCase{"windows\\inf\\mshdc.inf", "WINDOWS/INF/MSHDC.INF"},
                      ResolveCase{"lower\\WINDOWS\\INF\\MSHDC.INF", "lower/windows/inf/mshdc.inf"},
                      ResolveCase{"LOWER\\Windows\\iNF\\MsHdc.Inf", "lower/windows/inf/mshdc.inf"},
                      ResolveCase{"mixed\\nAmE.iNf", "mixed/NAME.INF"},
                      ResolveCase{"mixed\\name.inf", "mixed/name.inf"},
                      ResolveCase{"mixed\\Name.inf", "mixed/Name.inf"},
                      ResolveCase{"mixed\\\303\204B.INF", "mixed/\303\204B.INF"},
                      ResolveCase{"lower\\WINDOWS\\INF\\USB.INF", "lower/windows/inf/USB.INF"},
                      ResolveCase{"lower\\SYSTEM\\Windows\\INF", "lower/SYSTEM/Windows/INF"},
                      ResolveCase{"lower\\\\windows//INF\\", "lower/windows/inf"},
                      ResolveCase{"lower\\.\\WINDOWS\\..\\WINDOWS", "lower/./windows/../windows"}));

TEST(ResolvePath, KeepsARelativePathRelative) {
  TempDir folder;
  WriteBytes(folder.File("windows/inf/usb.inf"), "x");
  const std::string before = std::filesystem::current_path().string();
  ASSERT_EQ(chdir(folder.path().string().c_str()), 0);
  const std::string resolved = ResolvePath("WINDOWS\\INF\\USB.INF");
  ASSERT_EQ(chdir(before.c_str()), 0);
  EXPECT_EQ(resolved, "windows/inf/usb.inf");
}

TEST(ResolvePath, LeavesAnEmptyPathEmpty) {
  EXPECT_EQ(ResolvePath(""), "");
}

TEST(FolderOf, NamesTheFolderPart) {
  EXPECT_EQ(FolderOf("/a/b/c.inf"), "/a/b");
  EXPECT_EQ(FolderOf("/c.inf"), "/");
  EXPECT_EQ(FolderOf("c.inf"), ".");
}

}  // namespace
}  // namespace platform::posix
