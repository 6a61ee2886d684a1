// The registry's own text form: a "REGEDIT4" first line, then sections, each
// a "[key path]" header line followed by its lines up to the next header.
// Pure text work, so that it builds and is tested without any system.
#pragma once

#include <string>
#include <string_view>

namespace platform::regedit {

// True when the first line, less trailing white space and CR, is exactly
// "REGEDIT4".
bool HasRegeditHeader(std::string_view text);

// The path of the subkey name below the key at parent; parent itself when
// name is empty.
std::string SubkeyPath(std::string_view parent, std::string_view name);

// True when a header names key_path or a key below it (ASCII letter case
// ignored).
bool KeyExists(std::string_view text, std::string_view key_path);

// Removes the sections of key_path and of every key below it, each from its
// header line up to the next header; every other byte stays as it was. False,
// with text unchanged, when there was no such section.
bool RemoveKeyTree(std::string& text, std::string_view key_path);

}  // namespace platform::regedit
