#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"
#include "platform/posix/file_calls.h"
#include "platform/posix/paths.h"

namespace platform {

struct ReplacementFile::State {
  std::string target;
  std::string temporary;
  int fd = -1;
  bool write_failed = false;
};

namespace {

// A target whose owner may not write it is left alone, also by a process that
// could write it regardless, such as one run by the superuser.
bool IsReadOnly(const std::string& target) {
  struct stat info {};
  if (stat(target.c_str(), &info) != 0) {
    return false;
  }
  return (info.st_mode & S_IWUSR) == 0 ||
         faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0;
}

// A hidden, unique name beside the target, so that the rename stays within
// one file system.
std::string TemporaryNameTemplate(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  return target.substr(0, name_start) + "." + target.substr(name_start) + ".kestra32-XXXXXX";
}

// The target's permission bits, or those a newly created file gets.
mode_t ModeFor(const std::string& target) {
  struct stat info {};
  if (stat(target.c_str(), &info) == 0) {
    return info.st_mode & 07777;
  }
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
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
  state_->target = posix::ResolvePath(target_path);
  if (IsReadOnly(state_->target)) {
    return;
  }
  std::string name = TemporaryNameTemplate(state_->target);
  state_->fd = posix::MakeUniqueFile(name);
  if (state_->fd >= 0) {
    state_->temporary = std::move(name);
  }
}

ReplacementFile::~ReplacementFile() {
  if (state_->fd >= 0) {
    posix::CloseFile(state_->fd);
    posix::RemoveFile(state_->temporary.c_str());
  }
}

bool ReplacementFile::IsOpen() const {
  return state_->fd >= 0;
}

bool ReplacementFile::Write(std::string_view bytes) {
  if (state_->fd < 0 || state_->write_failed) {
    return false;
  }
  state_->write_failed = !posix::WriteAll(state_->fd, bytes.data(), bytes.size());
  return !state_->write_failed;
}

bool ReplacementFile::Commit() {
  State& state = *state_;
  if (state.fd < 0) {
    return false;
  }
  const bool complete = !state.write_failed && posix::SyncFile(state.fd) &&
                        posix::ChangeMode(state.fd, ModeFor(state.target));
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
