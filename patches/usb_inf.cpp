#include "patches/patch_tables.h"
#include "patches/patches.h"
#include "patches/section_merge.h"

namespace {

constexpr Entry kIntelSectionEntries[] = {
    {R"(%PCI\VEN_8086&DEV_7020.DeviceDesc%=UniversalHCD.Dev,PCI\VEN_8086&DEV_7020)"},
    {R"(%PCI\VEN_8086&DEV_7112.DeviceDesc%=UniversalHCD.Dev,PCI\VEN_8086&DEV_7112)"},
};

constexpr Entry kStringsEntries[] = {
    {R"(Intel.Mfg="Intel")"},
    {R"(PCI\VEN_8086&DEV_7020.DeviceDesc="Intel 82371SB PCI to USB Universal Host Controller")"},
    {R"(PCI\VEN_8086&DEV_7112.DeviceDesc="Intel 82371AB/EB PCI to USB Universal Host Controller")"},
};

// In "Strings" the anchor stops at the first host controller's name, not at
// the manufacturer line, which holds no vendor id.
constexpr Scan kIntelSectionScan[] = {KeyScan({9, "8086"}, TableOf(kIntelSectionEntries))};
constexpr Scan kStringsScan[] = {KeyScan({8, "8086"}, TableOf(kStringsEntries), 1)};

constexpr SectionStep kUsbSteps[] = {
    {"Intel.Section", TableOf(kIntelSectionScan)},
    {"Strings", TableOf(kStringsScan)},
};

}  // namespace

Table<SectionStep> UsbInfSteps() {
  return TableOf(kUsbSteps);
}

int PatchUsbInf(const char* path) {
  return PatchInfFile(path, UsbInfSteps());
}
