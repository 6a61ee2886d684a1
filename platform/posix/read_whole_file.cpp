#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "platform/posix/file_calls.h"
#include "platform/posix/kernel_hints.h"
#include "platform/posix/paths.h"

namespace platform {
namespace {

constexpr std::size_t kSlack = 4096;

// Not blocking keeps the open of a FIFO from waiting for a writer, and not
// taking a terminal keeps a terminal device from becoming the process's; for
// a regular file neither changes anything.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY;

// The size of an open regular file whose bytes, and a little more, a string
// can hold. Anything else, such as a FIFO, a device or a folder, is refused
// before any read.
bool FindHoldableSize(int fd, std::size_t& size) {
  struct stat info {};
  if (!posix::StatFile(fd, info) || !S_ISREG(info.st_mode) || info.st_size < 0 ||
      static_cast<std::uintmax_t>(info.st_size) > std::string().max_size() - kSlack) {
    return false;
  }
  size = static_cast<std::size_t>(info.st_size);
  return true;
}

// Reads straight into contents, sized by the file's size and a little more, so
// that the read that finds the end needs no room of its own. The end of the
// file must come within size bytes: a file that grows while it is read could
// outgrow any buffer.
bool ReadToEnd(int fd, std::size_t size, std::string& contents) {
  contents.reserve(size + kSlack);
  posix::AdviseHugePages(contents.data(), contents.capacity());
  contents.resize(size + kSlack);
  std::size_t filled = 0;
  for (;;) {
    const ssize_t got = posix::ReadSome(fd, &contents[filled], contents.size() - filled);
    if (got <= 0) {
      contents.resize(filled);
      return got == 0;
    }
    filled += static_cast<std::size_t>(got);
    if (filled > size) {
      return false;
    }
  }
}

}  // namespace

bool ReadWholeFile(const char* path, std::string& bytes) {
  const std::string resolved = posix::ResolvePath(path);
  const int fd = posix::OpenFile(resolved.c_str(), kOpenFlags);
  if (fd < 0) {
    return false;
  }
  std::string contents;
  std::size_t size = 0;
  bool read_to_end = false;
  try {
    read_to_end = FindHoldableSize(fd, size) && ReadToEnd(fd, size, contents);
  } catch (...) {
    posix::CloseFile(fd);
    throw;
  }
  const bool closed = posix::CloseFile(fd);
  if (!read_to_end || !closed) {
    return false;
  }
  bytes = std::move(contents);
  return true;
}

}  // namespace platform
