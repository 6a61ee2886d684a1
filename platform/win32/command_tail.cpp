#include "platform/win32/command_tail.h"

namespace {

bool IsBlankOrControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte != 0 && byte <= ' ';
}

}  // namespace

char* CommandTail(char* command_line) {
  char* tail = command_line;
  if (*tail == '"') {
    // A quoted name may hold blanks; it ends at the closing quote.
    do {
      ++tail;
    } while (*tail != '\0' && *tail != '"');
    if (*tail == '"') ++tail;
  } else {
    while (*tail != '\0' && !IsBlankOrControl(*tail)) ++tail;
  }
  while (IsBlankOrControl(*tail)) ++tail;
  return tail;
}
