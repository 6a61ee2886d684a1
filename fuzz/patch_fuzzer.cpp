// One patch, named by KESTRA32_PATCH, run in memory on any file contents: it
// only inserts its own lines, leaves a file lacking a section alone, and a
// second patch inserts nothing new.
#include <cstddef>
#include <cstdint>

#include "fuzz/require.h"
#include "patches/patch_tables.h"
#include "test_support/invariants.h"

#define KESTRA32_JOIN(a, b) a##b
#define KESTRA32_STEPS(name) KESTRA32_JOIN(name, Steps)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Table<SectionStep> steps = KESTRA32_STEPS(KESTRA32_PATCH)();
  Require(PatchViolation(steps, std::string(reinterpret_cast<const char*>(data), size)));
  return 0;
}
