#include "platform/posix/kernel_hints.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace platform::posix {
namespace {

// The usual huge page; a smaller buffer cannot gain from them.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void AdviseHugePages(char* buffer, std::size_t size) {
#ifdef MADV_HUGEPAGE
  if (size < kHugePage) return;
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t to_page = (page - reinterpret_cast<std::uintptr_t>(buffer) % page) % page;
  if (size > to_page + page) {
    madvise(buffer + to_page, (size - to_page) / page * page, MADV_HUGEPAGE);
  }
#else
  static_cast<void>(buffer);
  static_cast<void>(size);
#endif
}

void StartWriteback(int fd) {
#ifdef SYNC_FILE_RANGE_WRITE
  sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
  static_cast<void>(fd);
#endif
}

}  // namespace platform::posix
