// Edits a Windows 9x registry file where it lies, so that its owner, its links
// and the FAT attributes that a vfat mount keeps stay as they are.
#pragma once

#include <string_view>

namespace platform::posix {

// Removes the key at key_path (below the root) with everything below it from
// the registry file at path: checks the whole file, then writes the edit that
// unlinks the key and frees its space, with its syncs. False, with the file as
// it was, when the file fails a check, holds no such key, or cannot be opened;
// false too when a write fails, which leaves a prefix of the edit written.
bool RemoveKeyInPlace(const char* path, std::string_view key_path);

}  // namespace platform::posix
