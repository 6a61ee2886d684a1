#include <cstddef>
#include <string_view>

#include "patches/patch_tables.h"
#include "patches/patches.h"
#include "patches/section_merge.h"

namespace {

// Which kinds of miniport line "PCI_DRV_AddReg" holds, noted by its miniport
// scans for the sections after it.
constexpr unsigned kIrqMiniportFlag = 1;
constexpr unsigned kIdeMiniportFlag = 2;
// The AGP controllers (devices 7181 and 7191) are only added on a system whose
// PCI driver registers both kinds of miniport.
constexpr unsigned kBothMiniportFlags = kIrqMiniportFlag | kIdeMiniportFlag;

// A line that is never looked for: it comes in with the looked-for line above it.
constexpr Entry Follower(std::string_view line) {
  return {line, false};
}

constexpr Entry AgpFollower(std::string_view line) {
  return {line, false, kBothMiniportFlags};
}

constexpr Entry kBusMasterEntries[] = {
    {R"(HKLM,System\CurrentControlSet\Services\VxD\PCI,70108086,1,04,00,00,00)"},
    {R"(HKLM,System\CurrentControlSet\Services\VxD\PCI,71118086,1,04,00,00,00)"},
};

// A registration is its Name, Path and Instance lines; only the Name line
// decides whether the group is present.
constexpr Entry kIrqMiniportEntries[] = {
    {R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\70008086,Name,,"Intel 82371SB")"},
    Follower(
        R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\70008086,Path,,"PCIMP.PCI")"),
    Follower(
        R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\70008086,Instance,1,01,00,00,00)"),
    {R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Name,,"Intel 82371AB/EB")"},
    Follower(
        R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Path,,"PCIMP.PCI")"),
    Follower(
        R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Instance,1,01,00,00,00)"),
};

constexpr Entry kIdeMiniportEntries[] = {
    {R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\70108086,Name,,"Intel 82371SB")"},
    Follower(
        R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\70108086,Path,,"PCIMP.PCI")"),
    Follower(
        R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\70108086,Instance,1,00,00,00,00)"),
    {R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\71118086,Name,,"Intel 82371AB/EB")"},
    Follower(
        R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\71118086,Path,,"PCIMP.PCI")"),
    Follower(
        R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\71118086,Instance,1,00,00,00,00)"),
};

// In the three device tables entry 1 stands alone and entry 2 brings the rest
// of the devices with it.
constexpr Entry kMsSysEntries[] = {
    {R"(%PCI\VEN_8086&DEV_7000.DeviceDesc%=ISA_DRV,PCI\VEN_8086&DEV_7000)"},
    {R"(%PCI\VEN_8086&DEV_7110.DeviceDesc%=ISA_DRV,PCI\VEN_8086&DEV_7110)"},
    Follower(R"(%PCI\VEN_8086&DEV_7113.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7113)"),
    Follower(R"(%PCI\VEN_8086&DEV_7100.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7100)"),
    Follower(R"(%PCI\VEN_8086&DEV_7180.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7180)"),
    Follower(R"(%PCI\VEN_8086&DEV_7190.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7190)"),
    Follower(R"(%PCI\VEN_8086&DEV_7192.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7192)"),
    AgpFollower(R"(%PCI\VEN_8086&DEV_7181.DeviceDesc%=PCI_BRIDGE_DRV,PCI\VEN_8086&DEV_7181)"),
    AgpFollower(R"(%PCI\VEN_8086&DEV_7191.DeviceDesc%=PCI_BRIDGE_DRV,PCI\VEN_8086&DEV_7191)"),
};

constexpr Entry kControlFlagsEntries[] = {
    {R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7000)"},
    {R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7110)"},
    Follower(R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7113)"),
    Follower(R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7100)"),
    Follower(R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7180)"),
    Follower(R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7190)"),
    Follower(R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7192)"),
    AgpFollower(R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7181)"),
    AgpFollower(R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7191)"),
};

constexpr Entry kStringsEntries[] = {
    {R"(PCI\VEN_8086&DEV_7000.DeviceDesc="Intel 82371SB PCI to ISA bridge")"},
    {R"(PCI\VEN_8086&DEV_7110.DeviceDesc="Intel 82371AB/EB PCI to ISA bridge")"},
    Follower(R"(PCI\VEN_8086&DEV_7113.DeviceDesc="Intel 82371AB/EB Power Management Controller")"),
    Follower(
        R"(PCI\VEN_8086&DEV_7100.DeviceDesc="Intel 82439TX Pentium(R) Processor to PCI bridge")"),
    Follower(
        R"(PCI\VEN_8086&DEV_7180.DeviceDesc="Intel 82443LX Pentium(R) II Processor to PCI bridge")"),
    Follower(
        R"*(PCI\VEN_8086&DEV_7190.DeviceDesc="Intel 82443BX Pentium(R) II Processor to PCI bridge (with GART support)")*"),
    Follower(
        R"*(PCI\VEN_8086&DEV_7192.DeviceDesc="Intel 82443BX Pentium(R) II Processor to PCI bridge (without GART support)")*"),
    AgpFollower(
        R"(PCI\VEN_8086&DEV_7181.DeviceDesc="Intel 82443LX Pentium(R) II Processor to AGP Controller")"),
    AgpFollower(
        R"(PCI\VEN_8086&DEV_7191.DeviceDesc="Intel 82443BX Pentium(R) II Processor to AGP Controller")"),
};

// A bus-master line is known by the second digit of its "04" flags. That one
// character is also its anchor test, and every such line moves the anchor, so
// a missing entry goes after the section's last bus-master line.
constexpr FixedText kBusMasterDigit{59, "4"};

constexpr Scan BusMasterScan() {
  return {ComparedPart::kLine,
          {},
          kBusMasterDigit,  // filter
          kBusMasterDigit,  // anchor
          kNoStopEntry,
          Fallback::kHeader,
          0,
          0,
          TableOf(kBusMasterEntries)};
}

// A miniport line holds its keyword at 47 and its device and vendor id after
// it, the vendor half at 64. A system without a line of the keyword gets no
// registrations of that kind; without an Intel one they go after the last line
// of the kind. When group 1 is present, group 2 goes after its Instance line,
// two lines past its Name line, even where that lies beyond the section.
constexpr FixedText kMiniportVendor{64, "8086"};
constexpr std::size_t kNameToInstanceLines = 2;

constexpr Scan MiniportScan(std::string_view keyword, unsigned flag, Table<Entry> entries) {
  return {ComparedPart::kLine,
          {},
          {47, keyword},    // filter
          kMiniportVendor,  // anchor
          0,                // group 1's Name line stops the anchor
          Fallback::kLastFilteredLine,
          kNameToInstanceLines,
          flag,
          entries};
}

// The three scans of "PCI_DRV_AddReg" all end at the section's last line as
// it was found, before any insertion.
constexpr Scan kPciDrvAddRegScans[] = {
    BusMasterScan(),
    MiniportScan("IRQMiniports", kIrqMiniportFlag, TableOf(kIrqMiniportEntries)),
    MiniportScan("IDEMiniports", kIdeMiniportFlag, TableOf(kIdeMiniportEntries)),
};
constexpr Scan kMsSysScan[] = {KeyScan({9, "8086"}, TableOf(kMsSysEntries))};
constexpr Scan kControlFlagsScan[] = {
    ValueScan("ExcludeFromSelect", {8, "8086"}, TableOf(kControlFlagsEntries))};
constexpr Scan kStringsScan[] = {KeyScan({8, "8086"}, TableOf(kStringsEntries))};

// The miniport flags come from "PCI_DRV_AddReg", so it goes first.
constexpr SectionStep kMachineSteps[] = {
    {"PCI_DRV_AddReg", TableOf(kPciDrvAddRegScans)},
    {"MS_SYS", TableOf(kMsSysScan)},
    {"ControlFlags", TableOf(kControlFlagsScan)},
    {"Strings", TableOf(kStringsScan)},
};

}  // namespace

Table<SectionStep> MachineInfSteps() {
  return TableOf(kMachineSteps);
}

int PatchMachineInf(const char* path) {
  return PatchInfFile(path, MachineInfSteps());
}
