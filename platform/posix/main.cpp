#include <csignal>
#include <string>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "app/run_setup.h"

namespace {

// Each INF file is loaded whole, and its memory is freed before the next one
// is loaded. By default the C library hands a large block back to the system
// at once, so every file would map and clear its memory anew; kept in the
// heap, it serves the next file as it is.
void KeepFreedMemory() {
#ifdef __GLIBC__
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, -1);
#endif
}

// A write beyond the file size limit, or into a closed pipe, then fails like
// any other failed write instead of ending the run.
void IgnoreLimitSignals() {
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

// The command-line tail is the arguments joined by single spaces, which keeps
// the text of each one.
int main(int argc, char* argv[]) {
  IgnoreLimitSignals();
  KeepFreedMemory();
  std::string tail;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) {
      tail += ' ';
    }
    tail += argv[i];
  }
  return RunSetup(tail.data());
}
