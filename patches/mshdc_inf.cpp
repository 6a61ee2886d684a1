#include "patches/patches.h"

int PatchMshdcInf(const char* /*path*/) {
  return 0;
}
