#include <string>

#include "app/run_setup.h"

// The command-line tail is the arguments joined by single spaces, which keeps
// the text of each one.
int main(int argc, char* argv[]) {
  std::string tail;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) {
      tail += ' ';
    }
    tail += argv[i];
  }
  return RunSetup(tail.data());
}
