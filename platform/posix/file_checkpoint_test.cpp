#include "platform/posix/file_checkpoint.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/fault_injection.h"

namespace platform::posix {
namespace {

TEST(FileCheckpoint, FailsOnlyTheChosenOperationCountedFromTheLastChoice) {
  fault::FailFileOperation(3);
  EXPECT_EQ(fault::FileOperations(), 0);
  EXPECT_TRUE(PassFileCheckpoint());
  EXPECT_TRUE(PassFileCheckpoint());
  errno = 0;
  EXPECT_FALSE(PassFileCheckpoint());
  EXPECT_EQ(errno, EIO);
  EXPECT_TRUE(PassFileCheckpoint());
  EXPECT_EQ(fault::FileOperations(), 4);

  fault::FailFileOperation(1);
  EXPECT_FALSE(PassFileCheckpoint());
  EXPECT_EQ(fault::FileOperations(), 1);
}

TEST(FileCheckpoint, ZeroFailsNothing) {
  fault::FailFileOperation(0);
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(PassFileCheckpoint());
  }
  EXPECT_EQ(fault::FileOperations(), 5);
}

}  // namespace
}  // namespace platform::posix
