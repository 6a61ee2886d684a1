// Whole-file reads and safe replacement. Other programs may read and write a
// file while it is open here.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/platform.h"

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

// Windows 95 has MoveFileExA only as a stub that reports the call as not
// implemented; there the target is deleted first and the new file renamed.
bool MoveOver(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE) {
    return true;
  }
  if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
  if (DeleteFileA(to) == FALSE && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
  return MoveFileA(from, to) != FALSE;
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

struct ReplacementFile::State {
  std::string target;
  std::string new_file;
  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD kept_attributes = 0;
  bool write_failed = false;
  bool committed = false;
};

ReplacementFile::ReplacementFile(const char* target_path) : state_(std::make_unique<State>()) {
  state_->target = target_path;
  const DWORD attributes = GetFileAttributesA(target_path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return;
    state_->kept_attributes = attributes & kKeptAttributes;
  }
  char new_file[MAX_PATH];
  if (GetTempFileNameA(FolderOf(state_->target).c_str(), "K32", 0, new_file) == 0) return;
  state_->new_file = new_file;
  state_->handle = CreateFileA(new_file, GENERIC_WRITE, kShareReadWrite, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
}

ReplacementFile::~ReplacementFile() {
  if (state_->handle != INVALID_HANDLE_VALUE) CloseHandle(state_->handle);
  if (!state_->committed && !state_->new_file.empty()) DeleteFileA(state_->new_file.c_str());
}

bool ReplacementFile::IsOpen() const {
  return state_->handle != INVALID_HANDLE_VALUE;
}

bool ReplacementFile::Write(std::string_view bytes) {
  while (IsOpen() && !state_->write_failed && !bytes.empty()) {
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kWriteChunk));
    DWORD written = 0;
    if (WriteFile(state_->handle, bytes.data(), size, &written, nullptr) == FALSE || written == 0) {
      state_->write_failed = true;
    }
    bytes.remove_prefix(written);
  }
  return IsOpen() && !state_->write_failed;
}

bool ReplacementFile::Commit() {
  if (!IsOpen() || state_->write_failed) return false;
  const bool flushed = FlushFileBuffers(state_->handle) != FALSE;
  const bool closed = CloseHandle(state_->handle) != FALSE;
  state_->handle = INVALID_HANDLE_VALUE;
  if (!flushed || !closed) return false;
  if (state_->kept_attributes != 0) {
    SetFileAttributesA(state_->new_file.c_str(), state_->kept_attributes);
  }
  state_->committed = MoveOver(state_->new_file.c_str(), state_->target.c_str());
  return state_->committed;
}

}  // namespace platform
