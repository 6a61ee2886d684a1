// Any bytes load and save back unchanged, apart from the documented conversions.
#include <cstddef>
#include <cstdint>

#include "fuzz/require.h"
#include "test_support/invariants.h"
#include "test_support/temp_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const TempDir folder;
  Require(
      RoundTripViolation(std::string(reinterpret_cast<const char*>(data), size), folder.path()));
  return 0;
}
