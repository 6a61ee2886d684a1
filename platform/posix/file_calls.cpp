#include "platform/posix/file_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/posix/file_checkpoint.h"

namespace platform::posix {

int OpenFile(const char* path, int flags) {
  if (!PassFileCheckpoint()) {
    return -1;
  }
  int fd = -1;
  do {
    fd = open(path, flags | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int MakeUniqueFile(std::string& name_template) {
  if (!PassFileCheckpoint()) {
    return -1;
  }
  return mkstemp(name_template.data());
}

ssize_t ReadSome(int fd, char* buffer, std::size_t size) {
  if (!PassFileCheckpoint()) {
    return -1;
  }
  ssize_t got = -1;
  do {
    got = read(fd, buffer, size);
  } while (got < 0 && errno == EINTR);
  return got;
}

namespace {

// Writes every byte with write_some(data, size), which writes some of them
// and gives how many, or -1.
template <typename WriteSome>
bool WriteEvery(const char* data, std::size_t size, WriteSome write_some) {
  while (size > 0) {
    if (!PassFileCheckpoint()) {
      return false;
    }
    const ssize_t written = write_some(data, size);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

bool WriteAll(int fd, const char* data, std::size_t size) {
  return WriteEvery(data, size,
                    [fd](const char* bytes, std::size_t count) { return write(fd, bytes, count); });
}

bool WriteAllAt(int fd, const char* data, std::size_t size, off_t offset) {
  return WriteEvery(data, size, [fd, &offset](const char* bytes, std::size_t count) {
    const ssize_t written = pwrite(fd, bytes, count, offset);
    offset += written > 0 ? written : 0;
    return written;
  });
}

bool ReadAllAt(int fd, char* data, std::size_t size, off_t offset) {
  while (size > 0) {
    if (!PassFileCheckpoint()) {
      return false;
    }
    const ssize_t got = pread(fd, data, size, offset);
    if (got <= 0) {
      if (got < 0 && errno == EINTR) {
        continue;
      }
      return false;
    }
    data += got;
    offset += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool LockWholeFile(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return PassFileCheckpoint() && fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool SizeOfFile(int fd, off_t& size) {
  struct stat info {};
  if (!StatFile(fd, info)) {
    return false;
  }
  if (S_ISREG(info.st_mode)) {
    size = info.st_size;
    return true;
  }
  size = S_ISBLK(info.st_mode) ? lseek(fd, 0, SEEK_END) : -1;
  return size >= 0;
}

bool SyncFile(int fd) {
  if (!PassFileCheckpoint()) {
    return false;
  }
  int result = -1;
  do {
    result = fsync(fd);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool StatFile(int fd, struct stat& info) {
  return PassFileCheckpoint() && fstat(fd, &info) == 0;
}

bool ChangeMode(int fd, mode_t mode) {
  return PassFileCheckpoint() && fchmod(fd, mode) == 0;
}

bool ChangeOwner(int fd, uid_t owner, gid_t group) {
  return PassFileCheckpoint() && fchown(fd, owner, group) == 0;
}

bool CloseFile(int fd) {
  if (!PassFileCheckpoint()) {
    close(fd);
    errno = EIO;
    return false;
  }
  // An interrupted close has released the descriptor all the same, and
  // repeating it could close one that another part of the process just got.
  return close(fd) == 0 || errno == EINTR;
}

bool RenameFile(const char* from, const char* to) {
  return PassFileCheckpoint() && std::rename(from, to) == 0;
}

bool RemoveFile(const char* path) {
  return PassFileCheckpoint() && unlink(path) == 0;
}

DIR* OpenFolder(const char* path) {
  return PassFileCheckpoint() ? opendir(path) : nullptr;
}

}  // namespace platform::posix
