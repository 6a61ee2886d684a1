#include "platform/posix/file_checkpoint.h"

#include <cerrno>

#include "platform/fault_injection.h"

namespace {

long operations_made = 0;
long operation_to_fail = 0;

}  // namespace

namespace platform {

void fault::FailFileOperation(long n) {
  operation_to_fail = n;
  operations_made = 0;
}

long fault::FileOperations() {
  return operations_made;
}

bool posix::PassFileCheckpoint() {
  ++operations_made;
  if (operations_made != operation_to_fail) {
    return true;
  }
  errno = EIO;
  return false;
}

}  // namespace platform
