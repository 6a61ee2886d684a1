// Byte-wise text helpers shared by the document and the patches. Only the
// ASCII letters fold, whatever the locale.
#pragma once

#include <algorithm>
#include <string_view>

// Space, tab, LF, vertical tab, form feed and CR; no byte of 0x80 or above.
bool IsSpace(char c);
// The text without its leading and trailing white space. Lines are never
// changed and may hold NUL bytes, so the trim is a narrower view of the same
// bytes rather than a NUL-terminated copy trimmed in place.
std::string_view TrimSpaces(std::string_view text);
// 'A'-'Z' as 'a'-'z'; every other byte as it is.
inline char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Same length and same bytes, 'A'-'Z' matching 'a'-'z'. Inline, since the
// scans call it for every examined line and entry.
inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return x == y || FoldAscii(x) == FoldAscii(y);
         });
}
