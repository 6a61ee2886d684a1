// The file path of the document and the patches: any bytes written to a file
// load and save as in memory, and a patch of the file leaves in it what its
// steps leave in memory, where the other targets check the invariants. The
// input's length picks the patch, so that each input costs one.
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
  const std::size_t picked = size % std::size(procedures);
  Require(FileAndMemoryDifference({&procedures[picked], 1}, bytes, folder.path()));
  return 0;
}
