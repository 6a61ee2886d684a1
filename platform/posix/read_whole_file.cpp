#include <fcntl.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/file_calls.h"
#include "platform/posix/paths.h"

namespace platform {
namespace {

constexpr std::size_t kChunkSize = std::size_t{1} << 20;

bool ReadToEnd(int fd, std::string& contents) {
  struct stat info {};
  if (fstat(fd, &info) == 0 && info.st_size > 0) {
    contents.reserve(static_cast<std::size_t>(info.st_size));
  }
  std::vector<char> chunk(kChunkSize);
  for (;;) {
    const ssize_t got = posix::ReadSome(fd, chunk.data(), chunk.size());
    if (got <= 0) {
      return got == 0;
    }
    contents.append(chunk.data(), static_cast<std::size_t>(got));
  }
}

}  // namespace

bool ReadWholeFile(const char* path, std::string& bytes) {
  const std::string resolved = posix::ResolvePath(path);
  const int fd = posix::OpenFile(resolved.c_str(), O_RDONLY);
  if (fd < 0) {
    return false;
  }
  std::string contents;
  const bool read_to_end = ReadToEnd(fd, contents);
  const bool closed = posix::CloseFile(fd);
  if (!read_to_end || !closed) {
    return false;
  }
  bytes = std::move(contents);
  return true;
}

}  // namespace platform
