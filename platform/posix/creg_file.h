// The Windows 9x registry file (signature "CREG", version 1.0), as Windows 95,
// 98 and ME keep HKEY_LOCAL_MACHINE in SYSTEM.DAT: a header, a key table of
// entries that link each key to its parent, first subkey and next sibling, and
// data blocks that hold the keys' names and values. A key is removed with
// everything below it by unlinking it: the one pointer that leads to it is made
// to lead to its next sibling, and no other byte changes. Pure byte work, so
// that it builds and is tested without any system.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform::creg {

// True when the bytes begin with the signature "CREG".
bool HasCregSignature(std::string_view bytes);

// The one change that unlinks a key: four bytes (a pointer) at offset, which
// lie inside one 512-byte sector.
struct Unlink {
  std::size_t offset;
  std::array<char, 4> bytes;
};

// True when bytes are a registry file that passes every check and holds the
// key at key_path (backslash-separated below the root, ASCII letter case
// ignored).
bool KeyExists(std::string_view bytes, std::string_view key_path);

// The change that removes the key at key_path with everything below it.
// Nothing when the file fails a check or holds no such key.
std::optional<Unlink> PlanUnlink(std::string_view bytes, std::string_view key_path);

// Writes the change into bytes, which PlanUnlink was given.
void ApplyUnlink(std::string& bytes, const Unlink& unlink);

}  // namespace platform::creg
