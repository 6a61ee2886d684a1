#include "patches/patch_tables.h"
#include "patches/patches.h"
#include "patches/section_merge.h"

namespace {

// The VIA device line has a single comma before the hardware id, the Intel
// device lines a comma, a blank and a comma; each goes in as it stands.
constexpr Entry kViaDeviceEntries[] = {
    {R"(%PCI\VEN_1106&DEV_0571.DeviceDesc%=DUAL_GOOD_IDE,PCI\VEN_1106&DEV_0571)"},
};
constexpr Entry kViaControlFlagsEntries[] = {
    {R"(CopyFilesOnly=PCI\VEN_1106&DEV_0571)"},
};
constexpr Entry kViaStringsEntries[] = {
    {R"(PCI\VEN_1106&DEV_0571.DeviceDesc="VIA Tech PCI Bus Master IDE Controller")"},
};

constexpr Entry kIntelDeviceEntries[] = {
    {R"(%PCI\VEN_8086&DEV_7010.DeviceDesc%=DUAL_GOOD_IDE, ,PCI\VEN_8086&DEV_7010)"},
    {R"(%PCI\VEN_8086&DEV_7111.DeviceDesc%=DUAL_GOOD_IDE, ,PCI\VEN_8086&DEV_7111)"},
};
constexpr Entry kIntelControlFlagsEntries[] = {
    {R"(CopyFilesOnly=PCI\VEN_8086&DEV_7010)"},
    {R"(CopyFilesOnly=PCI\VEN_8086&DEV_7111)"},
};
constexpr Entry kIntelStringsEntries[] = {
    {R"(PCI\VEN_8086&DEV_7010.DeviceDesc="Intel 82371SB PCI Bus Master IDE Controller")"},
    {R"(PCI\VEN_8086&DEV_7111.DeviceDesc="Intel 82371AB/EB PCI Bus Master IDE Controller")"},
};

// The vendor id follows "%PCI\VEN_" in a device key and "PCI\VEN_" in a
// hardware id or a display-name key.
constexpr FixedText kViaDeviceKey{9, "1106"};
constexpr FixedText kViaHardwareId{8, "1106"};
constexpr FixedText kIntelDeviceKey{9, "8086"};
constexpr FixedText kIntelHardwareId{8, "8086"};

constexpr Scan kViaDeviceScan[] = {KeyScan(kViaDeviceKey, TableOf(kViaDeviceEntries))};
constexpr Scan kViaControlFlagsScan[] = {
    ValueScan("CopyFilesOnly", kViaHardwareId, TableOf(kViaControlFlagsEntries))};
constexpr Scan kViaStringsScan[] = {KeyScan(kViaHardwareId, TableOf(kViaStringsEntries))};

constexpr Scan kIntelDeviceScan[] = {KeyScan(kIntelDeviceKey, TableOf(kIntelDeviceEntries))};
constexpr Scan kIntelControlFlagsScan[] = {
    ValueScan("CopyFilesOnly", kIntelHardwareId, TableOf(kIntelControlFlagsEntries))};
constexpr Scan kIntelStringsScan[] = {KeyScan(kIntelHardwareId, TableOf(kIntelStringsEntries))};

constexpr SectionStep kMshdcSteps[] = {
    {"VIATECH_HDC", TableOf(kViaDeviceScan)},
    {"ControlFlags", TableOf(kViaControlFlagsScan)},
    {"Strings", TableOf(kViaStringsScan)},
    {"INTEL_HDC", TableOf(kIntelDeviceScan)},
    {"ControlFlags", TableOf(kIntelControlFlagsScan)},
    {"Strings", TableOf(kIntelStringsScan)},
};

}  // namespace

Table<SectionStep> MshdcInfSteps() {
  return TableOf(kMshdcSteps);
}

int PatchMshdcInf(const char* path) {
  return PatchInfFile(path, MshdcInfSteps());
}
