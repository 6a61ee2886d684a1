#include "inf/text.h"

#include <algorithm>

namespace {

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool IsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

void TrimSpaces(std::string& buffer) {
  const auto first = std::find_if_not(buffer.begin(), buffer.end(), IsSpace);
  const auto last = std::find_if_not(buffer.rbegin(), std::make_reverse_iterator(first), IsSpace);
  buffer.erase(last.base(), buffer.end());
  buffer.erase(buffer.begin(), first);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}
