// The thin layer between the program and its operating system: the Windows
// directory, the help box, whole-file reads, safe file replacement and the
// registry below the local-machine root. Nothing above this layer includes a
// system header.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Room for one full path, its terminator included: MAX_PATH on Windows and
// PATH_MAX on Linux, which the platform's sources check.
// And the room that the new file of a ReplacementFile needs after its target's
// folder: a separator and a name of fixed length, terminator included. On
// Windows, GetTempFileNameA takes folders of at most MAX_PATH - 14 characters.
#ifdef _WIN32
inline constexpr std::size_t kMaxPath = 260;
inline constexpr std::size_t kNewFileNameRoom = 14;
#else
inline constexpr std::size_t kMaxPath = 4096;
inline constexpr std::size_t kNewFileNameRoom = 18;
#endif

// Writes the Windows directory, NUL-terminated, into buffer. False when it
// cannot be had or does not fit into size bytes.
bool WindowsDirectory(char* buffer, std::size_t size);

// Shows text under caption with one OK button; returns once it is closed.
void ShowHelpBox(const char* text, const char* caption);

// Reads every byte of an existing file into bytes. False when the file does
// not exist, cannot be opened or a read fails; the file is never created.
bool ReadWholeFile(const char* path, std::string& bytes);

// A new file in the target's folder that takes the target's place on Commit.
// Until then nothing can see it, and the target keeps its old bytes; destroyed
// uncommitted, the new file is removed.
class ReplacementFile {
 public:
  explicit ReplacementFile(const char* target_path);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // False when the target is read-only or the new file could not be made.
  [[nodiscard]] bool IsOpen() const;
  bool Write(std::string_view bytes);
  // Flushes, syncs and replaces the target. False when any of it failed; the
  // target then keeps its old bytes.
  bool Commit();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Registry keys below the local-machine root.
struct RegistryKeyState;
using RegistryKey = RegistryKeyState*;

// Opens the key at path (backslash-separated) below the local-machine root.
bool OpenMachineKey(const char* path, RegistryKey& key);
// Deletes the named subkey of an open key with everything below it.
bool DeleteKeyTree(RegistryKey key, const char* subkey);
void CloseKey(RegistryKey key);

}  // namespace platform
