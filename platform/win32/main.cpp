// Start-up for Windows, with no C runtime library: it runs the static
// constructors, hands the command-line tail to the entry routine, and ends the
// process with the routine's result as the exit code.
#include <windows.h>

#include <cstring>

#include "app/run_setup.h"
#include "platform/win32/command_tail.h"
#include "platform/win32/runtime.h"

// Laid out by the linker: -1, the constructors, then 0.
extern "C" void (*__CTOR_LIST__[])();

namespace {

// Last to first, as the compiler's own start-up code runs them.
void RunStaticConstructors() {
  std::size_t count = 0;
  while (__CTOR_LIST__[count + 1] != nullptr) ++count;
  for (; count != 0; --count) __CTOR_LIST__[count]();
}

// The entry routine upper-cases the tail in place, so it gets a copy of the
// command line that is the program's own.
char* CopyOfCommandLine() {
  const char* command_line = GetCommandLineA();
  const std::size_t size = std::strlen(command_line) + 1;
  char* copy = new char[size];
  std::memcpy(copy, command_line, size);
  return copy;
}

}  // namespace

void EndRunOutOfMemory() {
  platform::RemoveUnfinishedReplacement();
  ExitProcess(0);
}

extern "C" [[noreturn]] void KestraStart() {
  RunStaticConstructors();
  ExitProcess(static_cast<UINT>(RunSetup(CommandTail(CopyOfCommandLine()))));
}
