// The Windows directory and the help box.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

static_assert(kMaxPath == MAX_PATH);

bool WindowsDirectory(char* buffer, std::size_t size) {
  const UINT length = GetWindowsDirectoryA(buffer, static_cast<UINT>(size));
  // A buffer that is too small yields the size it would need, terminator included.
  return length != 0 && length < size;
}

void ShowHelpBox(const char* text, const char* caption) {
  MessageBoxA(nullptr, text, caption, MB_ICONINFORMATION);
}

}  // namespace platform
