#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "test_support/temp_dir.h"

namespace platform {
namespace {

mode_t PermissionBits(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

using Names = std::vector<std::string>;

class ReplacementFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    target_ = folder_.File("MSHDC.INF");
    WriteBytes(target_, "old bytes");
  }
  void TearDown() override { fault::FailFileOperation(0); }

  void ExpectOnlyTarget(const std::string& bytes) {
    EXPECT_EQ(NamesIn(folder_.path()), Names{"MSHDC.INF"});
    EXPECT_EQ(ReadBytes(target_), bytes);
  }

  TempDir folder_;
  std::string target_;
};

class ReplacementKeepsMode : public ReplacementFileTest,
                             public ::testing::WithParamInterface<mode_t> {};

TEST_P(ReplacementKeepsMode, ReplacesTheBytesAndKeepsThePermissionBits) {
  ASSERT_EQ(chmod(target_.c_str(), GetParam()), 0);
  ReplacementFile file(target_.c_str());
  ASSERT_TRUE(file.IsOpen());
  EXPECT_TRUE(file.Write("new "));
  EXPECT_TRUE(file.Write(""));
  EXPECT_TRUE(file.Write("bytes\r\n"));
  EXPECT_TRUE(file.Commit());
  ExpectOnlyTarget("new bytes\r\n");
  EXPECT_EQ(PermissionBits(target_), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Modes, ReplacementKeepsMode, ::testing::Values(0600, 0640, 0755, 0262));

class ReadOnlyTarget : public ReplacementFileTest, public ::testing::WithParamInterface<mode_t> {};

// These hold for the superuser too, who could write the file regardless.
TEST_P(ReadOnlyTarget, IsNotWrittenAtAll) {
  ASSERT_EQ(chmod(target_.c_str(), GetParam()), 0);
  {
    ReplacementFile file(target_.c_str());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.Write("new"));
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(NamesIn(folder_.path()), Names{"MSHDC.INF"});
  }
  ExpectOnlyTarget("old bytes");
  EXPECT_EQ(PermissionBits(target_), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Modes, ReadOnlyTarget, ::testing::Values(0444, 0464, 0545));

// Each makes target_ something that is no regular file, or leads to none.
TEST_F(ReplacementFileTest, RefusesWhatIsNoRegularFile) {
  const std::function<void(const std::string&)> makers[] = {
      [](const std::string& path) { mkfifo(path.c_str(), 0644); },
      [](const std::string& path) { mkdir(path.c_str(), 0755); },
      [](const std::string& path) { symlink("GONE.INF", path.c_str()); },
      [](const std::string& path) { symlink("MSHDC.INF", path.c_str()); },
  };
  for (const auto& make : makers) {
    std::filesystem::remove_all(target_);
    make(target_);
    const Names names = NamesIn(folder_.path());
    ReplacementFile file(target_.c_str());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(NamesIn(folder_.path()), names);
  }
}

TEST_F(ReplacementFileTest, CreatesAMissingTargetWithTheUsualPermissions) {
  const mode_t old_mask = umask(022);
  {
    ReplacementFile file(folder_.File("NEW.INF").c_str());
    EXPECT_TRUE(file.Write("fresh"));
    EXPECT_TRUE(file.Commit());
  }
  umask(old_mask);
  EXPECT_EQ(ReadBytes(folder_.File("NEW.INF")), "fresh");
  EXPECT_EQ(PermissionBits(folder_.File("NEW.INF")), 0644U);
}

TEST_F(ReplacementFileTest, ReplacesTheFileOfALowerCaseTreeOrCreatesOneBesideIt) {
  WriteBytes(folder_.File("windows/inf/mshdc.inf"), "old");
  const std::string inf = folder_.path().string() + "/WINDOWS\\INF\\";
  for (const char* name : {"MSHDC.INF", "USB.INF"}) {
    ReplacementFile file((inf + name).c_str());
    EXPECT_TRUE(file.Write(name));
    EXPECT_TRUE(file.Commit());
  }
  EXPECT_EQ(NamesIn(folder_.File("windows/inf")), (Names{"USB.INF", "mshdc.inf"}));
  EXPECT_EQ(ReadBytes(folder_.File("windows/inf/mshdc.inf")), "MSHDC.INF");
  EXPECT_EQ(ReadBytes(folder_.File("windows/inf/USB.INF")), "USB.INF");
}

TEST_F(ReplacementFileTest, DestroyedUncommittedRemovesTheNewFile) {
  {
    ReplacementFile file(target_.c_str());
    ASSERT_TRUE(file.Write("new"));
    EXPECT_EQ(NamesIn(folder_.path()).size(), 2U);
  }
  ExpectOnlyTarget("old bytes");
  {
    ReplacementFile file(folder_.File("NEW.INF").c_str());
    ASSERT_TRUE(file.Write("new"));
  }
  ExpectOnlyTarget("old bytes");
}

TEST_F(ReplacementFileTest, AFailedWriteSpoilsTheCommit) {
  ReplacementFile file(target_.c_str());
  fault::FailFileOperation(1);
  EXPECT_FALSE(file.Write("new"));
  fault::FailFileOperation(0);
  EXPECT_FALSE(file.Write("more"));
  EXPECT_FALSE(file.Commit());
  ExpectOnlyTarget("old bytes");
}

TEST_F(ReplacementFileTest, AFailureAtAnyStepLeavesOldOrNewBytesAndNoOtherFile) {
  bool failed_once = false;
  for (long n = 1;; ++n) {
    ASSERT_LT(n, 50);
    WriteBytes(target_, "old bytes");
    fault::FailFileOperation(n);
    bool committed = false;
    {
      ReplacementFile file(target_.c_str());
      file.Write("new bytes");
      committed = file.Commit();
    }
    const bool reached = fault::FileOperations() >= n;
    fault::FailFileOperation(0);
    ExpectOnlyTarget(committed ? "new bytes" : "old bytes");
    if (!reached) {
      EXPECT_TRUE(committed);
      break;
    }
    failed_once = failed_once || !committed;
  }
  EXPECT_TRUE(failed_once);
}

// Run in a child process: makes a file size limit of a few bytes, with its
// signal ignored, so that writing fails; 0 when the failure was reported.
int ReplaceBeyondTheFileSizeLimit(const std::string& target) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{4, 4};
  setrlimit(RLIMIT_FSIZE, &limit);
  ReplacementFile file(target.c_str());
  const bool opened = file.IsOpen();
  const bool wrote = file.Write(std::string(1000, 'n'));
  const bool committed = file.Commit();
  return opened && !wrote && !committed ? 0 : 1;
}

TEST_F(ReplacementFileTest, AWriteBeyondTheFileSizeLimitLeavesTheOldBytes) {
  EXPECT_EXIT(std::exit(ReplaceBeyondTheFileSizeLimit(target_)), ::testing::ExitedWithCode(0), "");
  ExpectOnlyTarget("old bytes");
}

}  // namespace
}  // namespace platform
