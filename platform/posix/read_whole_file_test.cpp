#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "test_support/temp_dir.h"

namespace platform {
namespace {

class ReadWholeFileTest : public ::testing::Test {
 protected:
  void TearDown() override { fault::FailFileOperation(0); }
  TempDir folder_;
};

// Bytes of every value, longer than one read chunk so that reads are joined.
std::string AwkwardBytes() {
  std::string bytes;
  for (std::size_t i = 0; i < (std::size_t{1} << 20) + 3; ++i) {
    bytes += static_cast<char>((i * 7 + i / 256) % 256);
  }
  return bytes;
}

TEST_F(ReadWholeFileTest, ReadsEveryByte) {
  for (const std::string& expected :
       {std::string(), std::string("a\r\nb\x1A\0c", 7), AwkwardBytes()}) {
    WriteBytes(folder_.File("file.inf"), expected);
    std::string bytes = "previous";
    ASSERT_TRUE(ReadWholeFile(folder_.File("file.inf").c_str(), bytes));
    EXPECT_EQ(bytes, expected);
  }
}

TEST_F(ReadWholeFileTest, FindsALowerCaseTreeThroughAWindowsPath) {
  WriteBytes(folder_.File("windows/inf/usb.inf"), "usb");
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile((folder_.path().string() + "\\WINDOWS\\INF\\USB.INF").c_str(), bytes));
  EXPECT_EQ(bytes, "usb");
}

TEST_F(ReadWholeFileTest, RefusesAMissingFileWithoutCreatingIt) {
  std::string bytes = "kept";
  EXPECT_FALSE(ReadWholeFile(folder_.File("MISSING.INF").c_str(), bytes));
  EXPECT_EQ(bytes, "kept");
  EXPECT_TRUE(NamesIn(folder_.path()).empty());
}

TEST_F(ReadWholeFileTest, RefusesAFolder) {
  std::string bytes = "kept";
  EXPECT_FALSE(ReadWholeFile(folder_.path().string().c_str(), bytes));
  EXPECT_EQ(bytes, "kept");
}

// A FIFO without a writer would block a blocking open; a file of /proc tells
// a size of 0 and then has more bytes, like a file that grows while read.
TEST_F(ReadWholeFileTest, RefusesAFifoAndAFileOutgrowingItsSize) {
  ASSERT_EQ(mkfifo(folder_.File("fifo.inf").c_str(), 0644), 0);
  for (const std::string& path : {folder_.File("fifo.inf"), std::string("/proc/self/status")}) {
    std::string bytes = "kept";
    EXPECT_FALSE(ReadWholeFile(path.c_str(), bytes)) << path;
    EXPECT_EQ(bytes, "kept");
  }
}

TEST_F(ReadWholeFileTest, FailsWhicheverOfItsOperationsFails) {
  WriteBytes(folder_.File("file.inf"), "contents");
  long n = 1;
  for (;; ++n) {
    ASSERT_LT(n, 20);
    fault::FailFileOperation(n);
    std::string bytes = "kept";
    const bool read = ReadWholeFile(folder_.File("file.inf").c_str(), bytes);
    if (fault::FileOperations() < n) {
      EXPECT_TRUE(read);
      EXPECT_EQ(bytes, "contents");
      break;
    }
    EXPECT_FALSE(read) << "operation " << n;
    EXPECT_EQ(bytes, "kept");
  }
  // Open, the status, a read with data, the read that meets the end, and close.
  EXPECT_EQ(n, 6);
}

}  // namespace
}  // namespace platform
