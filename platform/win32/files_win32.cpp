// Whole-file reads and safe replacement. Other programs may read and write a
// file while it is open here.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/platform.h"
#include "platform/win32/replace_steps.h"
#include "platform/win32/runtime.h"

namespace platform {

namespace {

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kReadChunk = 64 * 1024;
constexpr DWORD kWriteChunk = 1024 * 1024;
// The attributes that the replacement takes over from the file it replaces.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

std::string FolderOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/:");
  if (separator == std::string::npos) return ".";
  // Keep the separator after a drive ("C:\") so the folder stays the root.
  const bool is_root = separator == 0 || path[separator - 1] == ':' || path[separator] == ':';
  return path.substr(0, is_root ? separator + 1 : separator);
}

bool ReadAll(HANDLE file, std::string& bytes) {
  std::string chunk(kReadChunk, '\0');
  DWORD read = 0;
  do {
    if (ReadFile(file, chunk.data(), kReadChunk, &read, nullptr) == FALSE) return false;
    bytes.append(chunk, 0, read);
  } while (read != 0);
  return true;
}

// The new file of a replacement. Its name is filled in by the call that
// creates it, so that nothing which could run out of memory stands between its
// creation and its removal.
struct NewFile {
  char name[MAX_PATH] = {};
  HANDLE handle = INVALID_HANDLE_VALUE;
};

// The one new file that exists and has not taken its target's place; the
// program saves one file at a time.
NewFile* unfinished = nullptr;

void Remove(NewFile& file) {
  if (file.handle != INVALID_HANDLE_VALUE) CloseHandle(file.handle);
  file.handle = INVALID_HANDLE_VALUE;
  if (file.name[0] != '\0') DeleteFileA(file.name);
  unfinished = nullptr;
}

// From here on the new file is no longer removed, whatever happens.
void Keep(NewFile& file) {
  file.name[0] = '\0';
  unfinished = nullptr;
}

bool ReplaceInOneStep(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool Rename(const char* from, const char* to) {
  return MoveFileA(from, to) != FALSE;
}

bool Delete(const char* path) {
  return DeleteFileA(path) != FALSE;
}

// GetTempFileNameA makes a name that no file has by creating that file, which
// goes again so that the old file can take the name.
bool NameAside(const char* target, char* aside) {
  return GetTempFileNameA(FolderOf(target).c_str(), "OLD", 0, aside) != 0 && Delete(aside);
}

constexpr win32::FileMoves kFileMoves{ReplaceInOneStep, Rename, Delete, NameAside};

// The way is chosen by the system rather than by what its stub of MoveFileExA
// reports, since no error code is promised for it. Whatever happens, the new
// file is removed only while the target still holds its old bytes; when two
// calls failed, both files are kept.
bool MoveOver(NewFile& file, const char* to) {
  const bool one_step = win32::HasOneStepReplace(GetVersion());
  const win32::Replacement result = win32::Replace(kFileMoves, one_step, file.name, to);
  if (result == win32::Replacement::kTargetKept) return false;
  Keep(file);
  return result == win32::Replacement::kDone;
}

}  // namespace

bool ReadWholeFile(const char* path, std::string& bytes) {
  const HANDLE file = CreateFileA(path, GENERIC_READ, kShareReadWrite, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes.clear();
  const bool read = ReadAll(file, bytes);
  CloseHandle(file);
  return read;
}

void RemoveUnfinishedReplacement() {
  if (unfinished != nullptr) Remove(*unfinished);
}

struct ReplacementFile::State {
  std::string target;
  NewFile new_file;
  DWORD kept_attributes = 0;
  bool write_failed = false;
};

ReplacementFile::ReplacementFile(const char* target_path) : state_(std::make_unique<State>()) {
  state_->target = target_path;
  const DWORD attributes = GetFileAttributesA(target_path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return;
    state_->kept_attributes = attributes & kKeptAttributes;
  }
  const std::string folder = FolderOf(state_->target);
  NewFile& new_file = state_->new_file;
  if (GetTempFileNameA(folder.c_str(), "K32", 0, new_file.name) == 0) return;
  unfinished = &new_file;
  new_file.handle = CreateFileA(new_file.name, GENERIC_WRITE, kShareReadWrite, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

ReplacementFile::~ReplacementFile() {
  if (unfinished == &state_->new_file) Remove(state_->new_file);
}

bool ReplacementFile::IsOpen() const {
  return state_->new_file.handle != INVALID_HANDLE_VALUE;
}

bool ReplacementFile::Write(std::string_view bytes) {
  while (IsOpen() && !state_->write_failed && !bytes.empty()) {
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kWriteChunk));
    DWORD written = 0;
    if (WriteFile(state_->new_file.handle, bytes.data(), size, &written, nullptr) == FALSE ||
        written == 0) {
      state_->write_failed = true;
    }
    bytes.remove_prefix(written);
  }
  return IsOpen() && !state_->write_failed;
}

bool ReplacementFile::Commit() {
  NewFile& new_file = state_->new_file;
  if (!IsOpen() || state_->write_failed) return false;
  const bool flushed = FlushFileBuffers(new_file.handle) != FALSE;
  const bool closed = CloseHandle(new_file.handle) != FALSE;
  new_file.handle = INVALID_HANDLE_VALUE;
  if (!flushed || !closed) return false;
  if (!MoveOver(new_file, state_->target.c_str())) return false;
  // Only now, so that a new file left beside its target is never hidden.
  if (state_->kept_attributes != 0)
    SetFileAttributesA(state_->target.c_str(), state_->kept_attributes);
  return true;
}

}  // namespace platform
