// One patch procedure, named by KESTRA32_PATCH, on any file contents: it only
// inserts its own lines, leaves a file lacking a section alone, and a second
// patch inserts nothing new.
#include <cstddef>
#include <cstdint>

#include "fuzz/require.h"
#include "patches/patch_tables.h"
#include "patches/patches.h"
#include "test_support/invariants.h"
#include "test_support/temp_dir.h"

#define KESTRA32_JOIN(a, b) a##b
#define KESTRA32_PROCEDURE(name)                             \
  PatchProcedure {                                           \
    KESTRA32_JOIN(Patch, name), KESTRA32_JOIN(name, Steps)() \
  }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const TempDir folder;
  static const PatchProcedure procedure = KESTRA32_PROCEDURE(KESTRA32_PATCH);
  Require(PatchViolation(procedure, std::string(reinterpret_cast<const char*>(data), size),
                         folder.path()));
  return 0;
}
