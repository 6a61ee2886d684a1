// Byte-wise text helpers shared by the document and the patches. Only the
// ASCII letters fold, whatever the locale.
#pragma once

#include <string_view>

// Space, tab, LF, vertical tab, form feed and CR; no byte of 0x80 or above.
bool IsSpace(char c);
// The text without its leading and trailing white space. Lines are never
// changed and may hold NUL bytes, so the trim is a narrower view of the same
// bytes rather than a NUL-terminated copy trimmed in place.
std::string_view TrimSpaces(std::string_view text);
// Same length and same bytes, 'A'-'Z' matching 'a'-'z'.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
