#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace platform {
namespace {

const char* NonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

bool CopyIfFits(const char* text, char* buffer, std::size_t size) {
  const std::size_t length = std::strlen(text);
  if (length >= size) {
    return false;
  }
  std::memcpy(buffer, text, length + 1);
  return true;
}

bool FetchWindowsDirectory(char* buffer, std::size_t size) {
  const char* directory = NonEmptyVariable("WINDIR");
  if (directory == nullptr) {
    directory = NonEmptyVariable("windir");
  }
  if (directory == nullptr) {
    return getcwd(buffer, size) != nullptr;
  }
  return CopyIfFits(directory, buffer, size);
}

void WaitForEnter() {
  int c = 0;
  do {
    c = std::getchar();
  } while (c != '\n' && c != EOF);
}

}  // namespace

static_assert(kMaxPath == PATH_MAX);

// On failure the buffer holds an empty string, since callers may go on with it.
bool WindowsDirectory(char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) {
    return false;
  }
  if (FetchWindowsDirectory(buffer, size)) {
    return true;
  }
  buffer[0] = '\0';
  return false;
}

void ShowHelpBox(const char* text, const char* caption) {
  std::printf("%s\n\n%s\n\n[ OK ]\n", caption, text);
  std::fflush(stdout);
  if (isatty(STDIN_FILENO) != 0) {
    WaitForEnter();
  }
}

}  // namespace platform
