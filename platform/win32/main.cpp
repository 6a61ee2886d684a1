// Start-up for Windows: the command-line tail goes to the entry routine, whose
// result becomes the exit code.
#include <windows.h>

#include "app/run_setup.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous_instance*/, LPSTR command_tail,
                   int /*show_command*/) {
  return RunSetup(command_tail);
}
