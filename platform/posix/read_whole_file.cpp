#include "platform/posix/read_whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/posix/file_calls.h"
#include "platform/posix/image_files.h"
#include "platform/posix/kernel_hints.h"
#include "platform/posix/paths.h"

namespace platform {
namespace {

constexpr std::size_t kSlack = 4096;

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

bool posix::ReadOpenFile(int fd, std::string& bytes) {
  std::string contents;
  std::size_t size = 0;
  if (!FindHoldableSize(fd, size) || !ReadToEnd(fd, size, contents)) {
    return false;
  }
  bytes = std::move(contents);
  return true;
}

bool ReadWholeFile(const char* path, std::string& bytes) {
  if (const std::optional<posix::ImagePath> image = posix::ImagePathOf(path)) {
    return posix::ReadImageFile(*image, bytes);
  }
  const std::string resolved = posix::ResolvePath(path);
  const int fd = posix::OpenFile(resolved.c_str(), posix::kReadFlags);
  if (fd < 0) {
    return false;
  }
  std::string contents;
  bool read = false;
  try {
    read = posix::ReadOpenFile(fd, contents);
  } catch (...) {
    posix::CloseFile(fd);
    throw;
  }
  if (!posix::CloseFile(fd) || !read) {
    return false;
  }
  bytes = std::move(contents);
  return true;
}

}  // namespace platform
