// Ends a fuzz run with a crash report when an invariant is broken.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

inline void Require(const std::string& violation) {
  if (violation.empty()) return;
  std::fprintf(stderr, "invariant broken: %s\n", violation.c_str());
  std::abort();
}
