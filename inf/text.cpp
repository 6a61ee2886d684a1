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
  const std::string_view kept = Trimmed(buffer);
  const auto start = static_cast<std::size_t>(kept.data() - buffer.data());
  buffer.erase(start + kept.size());
  buffer.erase(0, start);
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}
