#include "platform/posix/creg_edit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "creg/creg_file.h"
#include "platform/posix/file_calls.h"
#include "platform/posix/image_files.h"
#include "platform/posix/paths.h"
#include "platform/posix/read_whole_file.h"

namespace platform::posix {
namespace {

// Writes through a descriptor of its own, after checking that the name still
// leads to the file that was read; stops at the first write or sync that fails.
bool WriteEdit(const std::string& path, const struct stat& read, const creg::Edit& edit) {
  const int fd = OpenFile(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    return false;
  }
  struct stat opened {};
  bool written =
      StatFile(fd, opened) && opened.st_dev == read.st_dev && opened.st_ino == read.st_ino;
  for (auto write = edit.begin(); written && write != edit.end(); ++write) {
    written = WriteAllAt(fd, write->bytes.data(), write->bytes.size(),
                         static_cast<off_t>(write->offset)) &&
              (!write->sync_after || SyncFile(fd));
  }
  return CloseFile(fd) && written;
}

// Windows sets the read-only attribute on its registry files and ignores it
// itself; a vfat mount shows it as a file without write permission. Such a
// file of the user's own is made writable for the edit and then gets its exact
// mode back, which on vfat sets the attribute again.
bool WriteWithPermission(int fd, const std::string& path, const struct stat& info,
                         const creg::Edit& edit) {
  const mode_t mode = info.st_mode & 07777;
  if ((mode & S_IWUSR) != 0) {
    return WriteEdit(path, info, edit);
  }
  if (info.st_uid != geteuid() || !ChangeMode(fd, mode | S_IWUSR)) {
    return false;
  }
  const bool written = WriteEdit(path, info, edit);
  return ChangeMode(fd, mode) && written;
}

}  // namespace

bool RemoveKeyInPlace(const char* path, std::string_view key_path) {
  if (const std::optional<ImagePath> image = ImagePathOf(path)) {
    return EditImageFile(*image, [key_path](std::string_view bytes) {
      return creg::PlanKeyRemoval(bytes, key_path);
    });
  }
  const std::string resolved = ResolvePath(path);
  const int fd = OpenFile(resolved.c_str(), kReadFlags);
  if (fd < 0) {
    return false;
  }
  struct stat info {};
  std::string bytes;
  std::optional<creg::Edit> edit;
  try {
    if (StatFile(fd, info) && ReadOpenFile(fd, bytes)) {
      edit = creg::PlanKeyRemoval(bytes, key_path);
    }
  } catch (...) {
    CloseFile(fd);
    throw;
  }
  const bool written = edit && WriteWithPermission(fd, resolved, info, *edit);
  return CloseFile(fd) && written;
}

}  // namespace platform::posix
