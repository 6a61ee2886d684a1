// Deleting a key from any registry text removes exactly the sections at and
// below it. The input's first line is the key path, the rest the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/require.h"
#include "test_support/invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t line_end = input.find('\n');
  if (line_end == std::string::npos) return 0;
  Require(RegistryDeletionViolation(input.substr(line_end + 1), input.substr(0, line_end)));
  return 0;
}
