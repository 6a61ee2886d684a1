// The same invariants as the in-memory targets, through real files: the bytes
// are written to a file that is loaded and saved, and patched by each patch.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/require.h"
#include "patches/patch_tables.h"
#include "patches/patches.h"
#include "test_support/invariants.h"
#include "test_support/temp_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const TempDir folder;
  static const PatchProcedure procedures[] = {
      {PatchMshdcInf, MshdcInfSteps()},
      {PatchMachineInf, MachineInfSteps()},
      {PatchUsbInf, UsbInfSteps()},
  };
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  Require(RoundTripViolation(bytes, folder.path()));
  for (const PatchProcedure& procedure : procedures) {
    Require(PatchViolation(procedure, bytes, folder.path()));
  }
  return 0;
}
