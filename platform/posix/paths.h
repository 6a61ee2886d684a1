#pragma once

#include <string>

namespace platform::posix {

// Turns a path the program built in the Windows manner into the path of the
// file on this system. Every backslash separates folders, and a component that
// does not exist as written is looked up in its folder ignoring the case of
// ASCII letters; among several such names the first in byte order wins. Once a
// component matches nothing it is kept as written, and so is the rest.
std::string ResolvePath(const char* path);

// The folder part of a resolved path, "." when it names none.
std::string FolderOf(const std::string& path);

}  // namespace platform::posix
