#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "test_support/scoped_variable.h"

namespace platform {
namespace {

struct DirectoryCase {
  const char* upper;     // WINDIR, or null when unset
  const char* lower;     // windir, or null when unset
  const char* expected;  // null for the current directory
};

class WindowsDirectoryTest : public ::testing::TestWithParam<DirectoryCase> {};

TEST_P(WindowsDirectoryTest, ComesFromTheEnvironmentOrTheCurrentDirectory) {
  const ScopedVariable upper("WINDIR", GetParam().upper);
  const ScopedVariable lower("windir", GetParam().lower);
  std::array<char, 300> buffer{};
  ASSERT_TRUE(WindowsDirectory(buffer.data(), buffer.size()));
  const std::string expected = GetParam().expected != nullptr
                                   ? GetParam().expected
                                   : std::filesystem::current_path().string();
  EXPECT_EQ(std::string(buffer.data()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsDirectoryTest,
    ::testing::Values(DirectoryCase{"/mnt/win95/WINDOWS", "/other", "/mnt/win95/WINDOWS"},
                      DirectoryCase{nullptr, "/mnt/c/windows", "/mnt/c/windows"},
                      DirectoryCase{"", "/mnt/c/windows", "/mnt/c/windows"},
                      DirectoryCase{nullptr, nullptr, nullptr}, DirectoryCase{"", "", nullptr}));

TEST(WindowsDirectory, RefusesADirectoryThatLeavesNoRoomForItsTerminator) {
  const ScopedVariable upper("WINDIR", "/win");
  std::string buffer(5, 'x');
  EXPECT_FALSE(WindowsDirectory(buffer.data(), 4));
  EXPECT_STREQ(buffer.c_str(), "");
  EXPECT_TRUE(WindowsDirectory(buffer.data(), 5));
  EXPECT_STREQ(buffer.c_str(), "/win");
}

TEST(WindowsDirectory, RefusesACurrentDirectoryTooLongForTheBuffer) {
  const ScopedVariable upper("WINDIR", nullptr);
  const ScopedVariable lower("windir", nullptr);
  const std::size_t length = std::filesystem::current_path().string().size();
  std::string buffer(length + 1, 'x');
  EXPECT_FALSE(WindowsDirectory(buffer.data(), length));
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_TRUE(WindowsDirectory(buffer.data(), length + 1));
}

TEST(MaxPath, HoldsTheProgramsLongestPath) {
  EXPECT_GE(kMaxPath, 260U);
}

// Puts a descriptor in place of standard input for the life of the object.
class ScopedInput {
 public:
  explicit ScopedInput(int fd) : saved_(dup(STDIN_FILENO)) { dup2(fd, STDIN_FILENO); }
  ~ScopedInput() {
    dup2(saved_, STDIN_FILENO);
    close(saved_);
    clearerr(stdin);
  }
  ScopedInput(const ScopedInput&) = delete;
  ScopedInput& operator=(const ScopedInput&) = delete;

 private:
  int saved_;
};

TEST(ShowHelpBox, PrintsCaptionTextAndButtonAndReadsNothingFromANonTerminal) {
  std::array<int, 2> pipe_ends{};
  ASSERT_EQ(pipe(pipe_ends.data()), 0);
  ASSERT_EQ(write(pipe_ends[1], "left\n", 5), 5);
  close(pipe_ends[1]);
  std::string printed;
  {
    const ScopedInput input(pipe_ends[0]);
    ::testing::internal::CaptureStdout();
    ShowHelpBox("Line one\n\tLine two", "The Caption");
    printed = ::testing::internal::GetCapturedStdout();
  }
  EXPECT_EQ(printed, "The Caption\n\nLine one\n\tLine two\n\n[ OK ]\n");
  std::array<char, 8> rest{};
  EXPECT_EQ(read(pipe_ends[0], rest.data(), rest.size()), 5);
  close(pipe_ends[0]);
}

TEST(ShowHelpBox, OnATerminalReturnsOnceEnterIsPressed) {
  const int controller = posix_openpt(O_RDWR | O_NOCTTY);
  if (controller < 0) {
    GTEST_SKIP() << "no pseudo-terminal on this system";
  }
  ASSERT_EQ(grantpt(controller), 0);
  ASSERT_EQ(unlockpt(controller), 0);
  const int terminal = open(ptsname(controller), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  ASSERT_EQ(write(controller, "ok\nlater\n", 9), 9);
  {
    const ScopedInput input(terminal);
    ::testing::internal::CaptureStdout();
    ShowHelpBox("text", "caption");
    ::testing::internal::GetCapturedStdout();
  }
  // The terminal hands over one line per read, so the second line is still there.
  std::array<char, 16> rest{};
  EXPECT_EQ(read(terminal, rest.data(), rest.size()), 6);
  EXPECT_STREQ(rest.data(), "later\n");
  close(terminal);
  close(controller);
}

}  // namespace
}  // namespace platform
