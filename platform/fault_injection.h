// Test-only control over the file operations of the platform layer: makes one
// chosen operation fail, so that tests can check what a failure at each step
// leaves behind.
#pragma once

namespace platform::fault {

// From this call on, the n-th file operation (counted from 1) fails as if the
// system had reported an I/O error. Zero makes none fail.
void FailFileOperation(long n);

// File operations made since the last call of FailFileOperation.
long FileOperations();

}  // namespace platform::fault
