#pragma once

#include <fcntl.h>

#include <string>

namespace platform::posix {

// Not blocking keeps the open of a FIFO from waiting for a writer, and not
// taking a terminal keeps a terminal device from becoming the process's; for
// a regular file neither changes anything.
inline constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY;

// Reads every byte of an open regular file into bytes, which keep their old
// contents when it fails. Anything but a regular file is refused unread.
bool ReadOpenFile(int fd, std::string& bytes);

}  // namespace platform::posix
