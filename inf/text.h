// Byte-wise text helpers shared by the document and the patches. Only the
// ASCII letters fold, whatever the locale.
#pragma once

#include <string>
#include <string_view>

// Space, tab, LF, vertical tab, form feed and CR; no byte of 0x80 or above.
bool IsSpace(char c);
// Removes leading and trailing white space from buffer in place.
void TrimSpaces(std::string& buffer);
// The part of text that TrimSpaces would keep.
std::string_view Trimmed(std::string_view text);
// Same length and same bytes, 'A'-'Z' matching 'a'-'z'.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
