// Any bytes load and write back unchanged, apart from the documented
// conversions.
#include <cstddef>
#include <cstdint>

#include "fuzz/require.h"
#include "test_support/invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Require(RoundTripViolation(std::string(reinterpret_cast<const char*>(data), size)));
  return 0;
}
