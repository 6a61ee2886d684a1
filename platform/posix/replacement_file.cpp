#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/posix/file_calls.h"
#include "platform/posix/image_files.h"
#include "platform/posix/kernel_hints.h"
#include "platform/posix/paths.h"

namespace platform {

struct ReplacementFile::State {
  std::string target;
  std::string temporary;
  int fd = -1;
  mode_t mode = 0;
  // Those of the target; -1 for a new target, which keeps those it is made with.
  uid_t owner = static_cast<uid_t>(-1);
  gid_t group = static_cast<gid_t>(-1);
  bool write_failed = false;
  // A file in a disk image gets its new bytes in one go on Commit.
  std::optional<posix::ImagePath> image;
  std::string contents;
};

namespace {

// Hidden, and of a fixed length, so that it fits wherever the target's own
// name does.
constexpr char kTemporaryName[] = ".kestra32-XXXXXX";
static_assert(sizeof "/" - 1 + sizeof kTemporaryName == kNewFileNameRoom);

enum class Target { kMissing, kReplaceable, kRefused };

// A target whose owner may not write it is left alone, also by a process that
// could write it regardless, such as one run by the superuser.
bool IsReadOnly(const std::string& target, const struct stat& info) {
  return (info.st_mode & S_IWUSR) == 0 ||
         faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0;
}

// Replacing the file that a symbolic link leads to keeps the link a link.
// False for a dangling link or a loop.
bool FollowLink(std::string& target) {
  const std::unique_ptr<char, decltype(&std::free)> real(realpath(target.c_str(), nullptr),
                                                         &std::free);
  if (real == nullptr) {
    return false;
  }
  target = real.get();
  return true;
}

// Sets target to the file that is to be replaced, and info to its status.
// Only a regular file that its owner may write is replaced.
Target Examine(std::string& target, struct stat& info) {
  if (lstat(target.c_str(), &info) != 0) {
    return errno == ENOENT ? Target::kMissing : Target::kRefused;
  }
  if (S_ISLNK(info.st_mode) && (!FollowLink(target) || stat(target.c_str(), &info) != 0)) {
    return Target::kRefused;
  }
  return S_ISREG(info.st_mode) && !IsReadOnly(target, info) ? Target::kReplaceable
                                                            : Target::kRefused;
}

std::string TemporaryNameTemplate(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  return target.substr(0, slash == std::string::npos ? 0 : slash + 1) + kTemporaryName;
}

// The permission bits a newly created file gets.
mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// The superuser can give the new file the target's owner and group, and an
// owner can give it one of the owner's groups; where the system does not let
// the program, the new file keeps the program's own.
bool KeepOwner(int fd, uid_t owner, gid_t group) {
  return posix::ChangeOwner(fd, owner, group) || errno == EPERM || errno == EINVAL;
}

// Makes the rename durable. The new bytes are in place whatever this does, and
// some file systems cannot sync a folder, so its failure is not reported.
void SyncFolder(const std::string& folder) {
  const int fd = posix::OpenFile(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    posix::SyncFile(fd);
    posix::CloseFile(fd);
  }
}

}  // namespace

ReplacementFile::ReplacementFile(const char* target_path) : state_(std::make_unique<State>()) {
  State& state = *state_;
  state.image = posix::ImagePathOf(target_path);
  if (state.image) {
    return;
  }
  state.target = posix::ResolvePath(target_path);
  struct stat info {};
  const Target target = Examine(state.target, info);
  if (target == Target::kRefused) {
    return;
  }
  if (target == Target::kReplaceable) {
    state.mode = info.st_mode & 07777;
    state.owner = info.st_uid;
    state.group = info.st_gid;
  } else {
    state.mode = NewFileMode();
  }
  std::string name = TemporaryNameTemplate(state.target);
  // Nothing that can throw may come between making the file and owning its
  // name, or the file would stay behind.
  state.fd = posix::MakeUniqueFile(name);
  if (state.fd >= 0) {
    state.temporary = std::move(name);
  }
}

ReplacementFile::~ReplacementFile() {
  if (state_->fd >= 0) {
    posix::CloseFile(state_->fd);
    posix::RemoveFile(state_->temporary.c_str());
  }
}

bool ReplacementFile::IsOpen() const {
  return state_->fd >= 0 || state_->image;
}

bool ReplacementFile::Write(std::string_view bytes) {
  if (state_->image) {
    state_->contents += bytes;
    return true;
  }
  if (state_->fd < 0 || state_->write_failed) {
    return false;
  }
  state_->write_failed = !posix::WriteAll(state_->fd, bytes.data(), bytes.size());
  posix::StartWriteback(state_->fd);
  return !state_->write_failed;
}

// The owner is set before the permission bits, since a change of owner clears
// the set-user-ID and set-group-ID bits.
bool ReplacementFile::Commit() {
  State& state = *state_;
  if (state.image) {
    return posix::ReplaceImageFile(*state.image, state.contents);
  }
  if (state.fd < 0) {
    return false;
  }
  const bool complete = !state.write_failed && KeepOwner(state.fd, state.owner, state.group) &&
                        posix::ChangeMode(state.fd, state.mode) && posix::SyncFile(state.fd);
  const bool closed = posix::CloseFile(state.fd);
  state.fd = -1;
  if (!complete || !closed || !posix::RenameFile(state.temporary.c_str(), state.target.c_str())) {
    posix::RemoveFile(state.temporary.c_str());
    return false;
  }
  SyncFolder(posix::FolderOf(state.target));
  return true;
}

}  // namespace platform
