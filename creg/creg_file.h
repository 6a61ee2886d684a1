// The Windows 9x registry file (signature "CREG", version 1.0), as Windows 95,
// 98 and ME keep HKEY_LOCAL_MACHINE in SYSTEM.DAT: a header, a key table of
// entries that link each key to its parent, first subkey and next sibling, and
// data blocks that hold the keys' names and values as records. Free entries
// and freed records wait on lists for reuse. Pure byte work, so that it builds
// and is tested without any system.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace creg {

// True when the bytes begin with the signature "CREG".
bool HasCregSignature(std::string_view bytes);

// One write of an edit: bytes at a file offset, and whether everything written
// so far must reach the disk before the next write.
struct Write {
  std::size_t offset;
  std::string bytes;
  bool sync_after;
};
using Edit = std::vector<Write>;

// True when bytes are a registry file that passes every check and holds the
// key at key_path (backslash-separated below the root, ASCII letter case
// ignored).
bool KeyExists(std::string_view bytes, std::string_view key_path);

// The writes that remove the key at key_path with everything below it, in
// their order: the one pointer that led to the key is made to lead to its next
// sibling, and synced; then the entries of the removed keys go on the key
// table's free list and, where the file keeps freed records on lists, their
// records on their blocks' lists. Each entry or record is written before the
// header that leads to it, and each checksum the file keeps after the change it
// covers. Nothing when the file fails a check or holds no such key.
std::optional<Edit> PlanKeyRemoval(std::string_view bytes, std::string_view key_path);

// Writes the edit into bytes, which PlanKeyRemoval was given.
void ApplyEdit(std::string& bytes, const Edit& edit);

}  // namespace creg
