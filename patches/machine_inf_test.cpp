#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "patches/patches.h"
#include "test_support/temp_dir.h"

namespace {

using Rows = std::vector<std::string>;

const std::string kBusMaster1 =
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI,70108086,1,04,00,00,00)";
const std::string kBusMaster2 =
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI,71118086,1,04,00,00,00)";
const Rows kIrq = {
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\70008086,Name,,"Intel 82371SB")",
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\70008086,Path,,"PCIMP.PCI")",
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\70008086,Instance,1,01,00,00,00)",
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Name,,"Intel 82371AB/EB")",
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Path,,"PCIMP.PCI")",
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\71108086,Instance,1,01,00,00,00)",
};
const Rows kIde = {
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\70108086,Name,,"Intel 82371SB")",
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\70108086,Path,,"PCIMP.PCI")",
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\70108086,Instance,1,00,00,00,00)",
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\71118086,Name,,"Intel 82371AB/EB")",
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\71118086,Path,,"PCIMP.PCI")",
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\71118086,Instance,1,00,00,00,00)",
};
const Rows kMsSys = {
    R"(%PCI\VEN_8086&DEV_7000.DeviceDesc%=ISA_DRV,PCI\VEN_8086&DEV_7000)",
    R"(%PCI\VEN_8086&DEV_7110.DeviceDesc%=ISA_DRV,PCI\VEN_8086&DEV_7110)",
    R"(%PCI\VEN_8086&DEV_7113.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7113)",
    R"(%PCI\VEN_8086&DEV_7100.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7100)",
    R"(%PCI\VEN_8086&DEV_7180.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7180)",
    R"(%PCI\VEN_8086&DEV_7190.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7190)",
    R"(%PCI\VEN_8086&DEV_7192.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_7192)",
    R"(%PCI\VEN_8086&DEV_7181.DeviceDesc%=PCI_BRIDGE_DRV,PCI\VEN_8086&DEV_7181)",
    R"(%PCI\VEN_8086&DEV_7191.DeviceDesc%=PCI_BRIDGE_DRV,PCI\VEN_8086&DEV_7191)",
};
const Rows kFlags = {
    R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7000)", R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7110)",
    R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7113)", R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7100)",
    R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7180)", R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7190)",
    R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7192)", R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7181)",
    R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7191)",
};
const Rows kStrings = {
    R"(PCI\VEN_8086&DEV_7000.DeviceDesc="Intel 82371SB PCI to ISA bridge")",
    R"(PCI\VEN_8086&DEV_7110.DeviceDesc="Intel 82371AB/EB PCI to ISA bridge")",
    R"(PCI\VEN_8086&DEV_7113.DeviceDesc="Intel 82371AB/EB Power Management Controller")",
    R"(PCI\VEN_8086&DEV_7100.DeviceDesc="Intel 82439TX Pentium(R) Processor to PCI bridge")",
    R"(PCI\VEN_8086&DEV_7180.DeviceDesc="Intel 82443LX Pentium(R) II Processor to PCI bridge")",
    R"*(PCI\VEN_8086&DEV_7190.DeviceDesc="Intel 82443BX Pentium(R) II Processor to PCI bridge (with GART support)")*",
    R"*(PCI\VEN_8086&DEV_7192.DeviceDesc="Intel 82443BX Pentium(R) II Processor to PCI bridge (without GART support)")*",
    R"(PCI\VEN_8086&DEV_7181.DeviceDesc="Intel 82443LX Pentium(R) II Processor to AGP Controller")",
    R"(PCI\VEN_8086&DEV_7191.DeviceDesc="Intel 82443BX Pentium(R) II Processor to AGP Controller")",
};

// Lines of other devices, shaped like the table lines they stand among.
const std::string kOtherBusMaster =
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI,52291106,1,04,00,00,00)";
const std::string kNotBusMaster =
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI,12308086,1,00,00,00,00)";
const std::string kOtherIntelIrq =
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\122E8086,Name,,"Intel 82371FB")";
const std::string kViaIrqName =
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\05861106,Name,,"VIA")";
const std::string kViaIrqPath =
    R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IRQMiniports\05861106,Path,,"PCIMP.PCI")";
const std::string kOtherIntelDevice =
    R"(%PCI\VEN_8086&DEV_1250.DeviceDesc%=NO_DRV,PCI\VEN_8086&DEV_1250)";
const std::string kOtherVendorDevice =
    R"(%PCI\VEN_10B9&DEV_1533.DeviceDesc%=ISA_DRV,PCI\VEN_10B9&DEV_1533)";

// The lines, each ended by CR LF.
std::string Lines(const Rows& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line + "\r\n";
  }
  return text;
}

// Rows first to last of a table, counted from 1.
std::string Range(const Rows& table, std::size_t first, std::size_t last) {
  return Lines(Rows(table.begin() + static_cast<std::ptrdiff_t>(first - 1),
                    table.begin() + static_cast<std::ptrdiff_t>(last)));
}

struct Sections {
  std::string pci;  // the lines after "[PCI_DRV_AddReg]"
  std::string ms_sys;
  std::string flags;  // the lines after "[ControlFlags]"
  std::string strings;
};

std::string MachineInf(const Sections& s) {
  return "; MACHINE.INF of a test system\r\n[Version]\r\nSignature=\"$CHICAGO$\"\r\n\r\n"
         "[PCI_DRV_AddReg]\r\n" +
         s.pci + "[MS_SYS]\r\n" + s.ms_sys + "[ControlFlags]\r\n" + s.flags + "[Strings]\r\n" +
         s.strings;
}

const std::string kAllMiniports = Lines(kIrq) + Lines(kIde);
const std::string kFullPci = Lines({kBusMaster1, kBusMaster2}) + kAllMiniports;
const Sections kComplete = {kFullPci, Range(kMsSys, 1, 2), Range(kFlags, 1, 2),
                            Range(kStrings, 1, 2)};

Sections WithPci(const std::string& pci) {
  Sections s = kComplete;
  s.pci = pci;
  return s;
}

Sections WithDevices(const std::string& pci, const std::string& devices_ms_sys) {
  Sections s = WithPci(pci);
  s.ms_sys = devices_ms_sys;
  return s;
}

struct MachineCase {
  const char* name;
  Sections before;
  Sections after;
};

void ExpectPatchedTwice(const MachineCase& c) {
  TempDir dir;
  const std::string path = dir.File("MACHINE.INF");
  const std::string before = MachineInf(c.before);
  const std::string after = MachineInf(c.after);
  WriteBytes(path, before);
  const auto stamp = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  std::filesystem::last_write_time(path, stamp);
  EXPECT_EQ(PatchMachineInf(path.c_str()), 1) << c.name;
  EXPECT_EQ(ReadBytes(path), after) << c.name;
  if (before == after) {
    EXPECT_EQ(std::filesystem::last_write_time(path), stamp) << c.name;
  }
  EXPECT_EQ(PatchMachineInf(path.c_str()), 1) << c.name;
  EXPECT_EQ(ReadBytes(path), after) << c.name << " (second run)";
}

TEST(MachineInfTest, PciDriverSectionGainsBusMasterAndMiniportLines) {
  const std::string busmasters = Lines({kBusMaster1, kBusMaster2});
  const std::string in_small_letters =
      Lines(
          {R"(hklm,system\currentcontrolset\services\vxd\pci,70108086,1,04,00,00,00)", kBusMaster2,
           R"(hklm,system\currentcontrolset\services\vxd\pci\irqminiports\70008086,name,,"intel 82371sb")",
           kIrq[3]}) +
      Lines(kIde);
  const MachineCase cases[] = {
      {"everything present: not rewritten", kComplete, kComplete},
      {"bus-master entry 2 after the last line with '4' at offset 59",
       WithPci(Lines({kBusMaster1, kOtherBusMaster, kNotBusMaster}) + kAllMiniports),
       WithPci(Lines({kBusMaster1, kOtherBusMaster, kBusMaster2, kNotBusMaster}) + kAllMiniports)},
      {"lines differing only in case count", WithPci(in_small_letters), WithPci(in_small_letters)},
      {"trailing blank and indent: bus-master lines inserted again",
       WithPci(Lines({kBusMaster1 + " ", " " + kBusMaster2}) + kAllMiniports),
       WithPci(Lines({kBusMaster1 + " ", kBusMaster1, kBusMaster2, " " + kBusMaster2}) +
               kAllMiniports)},
      {"Name line with a trailing blank: group 1 after the last Intel IRQ line",
       WithPci(busmasters + Lines({kIrq[0] + " "}) + Range(kIrq, 2, 6) + Lines(kIde)),
       WithPci(busmasters + Lines({kIrq[0] + " "}) + Range(kIrq, 2, 6) + Range(kIrq, 1, 3) +
               Lines(kIde))},
      {"indented Name line and other description: not recognised",
       WithPci(
           busmasters + Lines(kIrq) +
           Lines(
               {" " + kIde[0], kIde[1], kIde[2],
                R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\71118086,Name,,"Other")"})),
       WithPci(
           busmasters + Lines(kIrq) +
           Lines(
               {" " + kIde[0], kIde[1], kIde[2],
                R"(HKLM,System\CurrentControlSet\Services\VxD\PCI\IDEMiniports\71118086,Name,,"Other")"}) +
           Lines(kIde))},
      {"group 2 after the Instance line",
       WithPci(busmasters + Range(kIrq, 1, 3) + kNotBusMaster + "\r\n" + Lines(kIde)),
       WithPci(busmasters + Range(kIrq, 1, 6) + kNotBusMaster + "\r\n" + Lines(kIde))},
      {"group 2 after the second line past the Name line, whatever it is",
       WithPci(busmasters + Lines({kIrq[0], "; path follows", kIrq[1], kIrq[2]}) + Lines(kIde)),
       WithPci(busmasters + Lines({kIrq[0], "; path follows", kIrq[1]}) + Range(kIrq, 4, 6) +
               Lines({kIrq[2]}) + Lines(kIde))},
      {"group 2 present without group 1: group 1 after the last Intel IRQ line",
       WithPci(busmasters + Lines({kOtherIntelIrq}) + Range(kIrq, 4, 6) + Lines({kViaIrqName}) +
               Lines(kIde)),
       WithPci(busmasters + Lines({kOtherIntelIrq}) + Range(kIrq, 4, 6) + Range(kIrq, 1, 3) +
               Lines({kViaIrqName}) + Lines(kIde))},
      {"IRQMiniports lines without 8086 at offset 64: after the last of them",
       WithPci(busmasters + Lines({kViaIrqName, kViaIrqPath, kNotBusMaster}) + Lines(kIde)),
       WithPci(busmasters + Lines({kViaIrqName, kViaIrqPath}) + Lines(kIrq) +
               Lines({kNotBusMaster}) + Lines(kIde))},
  };
  for (const MachineCase& c : cases) {
    ExpectPatchedTwice(c);
  }
}

TEST(MachineInfTest, AgpDevicesNeedBothKindsOfMiniportLine) {
  const std::string busmasters = Lines({kBusMaster1, kBusMaster2});
  const Sections empty = {"", "", "", ""};
  const MachineCase cases[] = {
      {"both kinds: nine lines in device order",
       {kAllMiniports, "", "", ""},
       {busmasters + kAllMiniports, Lines(kMsSys), Lines(kFlags), Lines(kStrings)}},
      {"no IRQMiniports line: no table-2 lines, no entries 8 and 9",
       {busmasters + Lines(kIde), Range(kMsSys, 1, 1), Range(kFlags, 1, 1), Range(kStrings, 1, 1)},
       {busmasters + Lines(kIde), Range(kMsSys, 1, 7), Range(kFlags, 1, 7), Range(kStrings, 1, 7)}},
      {"no IDEMiniports line: no table-3 lines, no entries 8 and 9",
       {busmasters + Range(kIrq, 1, 3), "", "", ""},
       {busmasters + Lines(kIrq), Range(kMsSys, 1, 7), Range(kFlags, 1, 7), Range(kStrings, 1, 7)}},
      {"empty PCI_DRV_AddReg: bus-master lines only",
       empty,
       {busmasters, Range(kMsSys, 1, 7), Range(kFlags, 1, 7), Range(kStrings, 1, 7)}},
      {"entry 2 present: nothing else added", WithPci(busmasters), WithPci(busmasters)},
      {"entry 1 and 3 to 7 without entry 2: 2 to 7 after entry 1",
       WithDevices(busmasters, Lines({kMsSys[0]}) + Range(kMsSys, 3, 7)),
       WithDevices(busmasters, Range(kMsSys, 1, 7) + Range(kMsSys, 3, 7))},
      {"entry 1 present: the chain goes right after it",
       WithDevices(kFullPci, Lines({kOtherIntelDevice, kMsSys[0], kOtherVendorDevice})),
       WithDevices(kFullPci,
                   Lines({kOtherIntelDevice}) + Lines(kMsSys) + Lines({kOtherVendorDevice}))},
      {"entries 1 and 2 missing: after the last 8086 key",
       WithDevices(kFullPci, Lines({kOtherIntelDevice, kOtherVendorDevice, kOtherIntelDevice,
                                    kOtherVendorDevice})),
       WithDevices(kFullPci, Lines({kOtherIntelDevice, kOtherVendorDevice, kOtherIntelDevice}) +
                                 Lines(kMsSys) + Lines({kOtherVendorDevice}))},
      {"no 8086 key: right after the header", WithDevices(kFullPci, Lines({kOtherVendorDevice})),
       WithDevices(kFullPci, Lines(kMsSys) + Lines({kOtherVendorDevice}))},
      {"entry 1's key in small letters with blanks counts whatever its value",
       WithDevices(kFullPci,
                   Lines({" %pci\\ven_8086&dev_7000.devicedesc%  = OTHER_DRV", kMsSys[1]})),
       WithDevices(kFullPci,
                   Lines({" %pci\\ven_8086&dev_7000.devicedesc%  = OTHER_DRV", kMsSys[1]}))},
  };
  for (const MachineCase& c : cases) {
    ExpectPatchedTwice(c);
  }
}

TEST(MachineInfTest, ControlFlagsComparesTheValuesOfExcludeFromSelectLines) {
  const Rows flags = {
      R"(CopyFilesOnly=PCI\VEN_8086&DEV_7000)",
      R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7000,PCI\VEN_8086&DEV_7110)",
      R"( excludefromselect = pci\ven_8086&dev_7110 )",
      R"(CopyFilesOnly=PCI\VEN_8086&DEV_7113)",
  };
  Sections before = kComplete;
  before.flags = Lines(flags);
  Sections after = kComplete;
  after.flags = Range(flags, 1, 3) + Lines({kFlags[0], flags[3]});
  ExpectPatchedTwice({"entry 2 in small letters counts, two ids count for nothing", before, after});
}

TEST(MachineInfTest, AMissingSectionLeavesTheFileUnchanged) {
  const std::string headers[] = {"[PCI_DRV_AddReg]", "[MS_SYS]", "[ControlFlags]", "[Strings]"};
  for (const std::string& header : headers) {
    std::string before = MachineInf({kAllMiniports, "", "", ""});
    before.replace(before.find(header), header.size(), "[Other]");
    TempDir dir;
    const std::string path = dir.File("MACHINE.INF");
    WriteBytes(path, before);
    EXPECT_EQ(PatchMachineInf(path.c_str()), 0) << header;
    EXPECT_EQ(ReadBytes(path), before) << header;
  }
  TempDir dir;
  EXPECT_EQ(PatchMachineInf(dir.File("MACHINE.INF").c_str()), 0);
}

// The Name line of IRQ group 1 near the end of the document or of its section.
struct TailCase {
  const char* name;
  std::string before;
  std::string after_first_run;
  std::string after_second_run;
};

TEST(MachineInfTest, GroupTwoGoesTwoLinesPastTheNameLineEvenBeyondTheSection) {
  const std::string devices = "[MS_SYS]\r\n" + Range(kMsSys, 1, 2) + "[ControlFlags]\r\n" +
                              Range(kFlags, 1, 2) + "[Strings]\r\n" + Range(kStrings, 1, 2);
  const std::string pci_head =
      "[PCI_DRV_AddReg]\r\n" + Lines({kBusMaster1, kBusMaster2}) + Lines(kIde);
  const TailCase cases[] = {
      {"Name line last in the document", devices + pci_head + kIrq[0],
       devices + pci_head + Range(kIrq, 1, 1) + Range(kIrq, 4, 5) + kIrq[5],
       devices + pci_head + Range(kIrq, 1, 1) + Range(kIrq, 4, 5) + kIrq[5]},
      {"Name line next to last in the document", devices + pci_head + kIrq[0] + "\r\n" + kIrq[1],
       devices + pci_head + Range(kIrq, 1, 2) + Range(kIrq, 4, 5) + kIrq[5],
       devices + pci_head + Range(kIrq, 1, 2) + Range(kIrq, 4, 5) + kIrq[5]},
      // A final line end is held as an empty last line, which counts as a line.
      {"Name line before the final line end", devices + pci_head + Range(kIrq, 1, 1),
       devices + pci_head + Range(kIrq, 1, 1) + "\r\n" + Range(kIrq, 4, 5) + kIrq[5],
       devices + pci_head + Range(kIrq, 1, 1) + "\r\n" + Range(kIrq, 4, 5) + kIrq[5]},
      {"Name line and Path line before the final line end", devices + pci_head + Range(kIrq, 1, 2),
       devices + pci_head + Range(kIrq, 1, 2) + "\r\n" + Range(kIrq, 4, 5) + kIrq[5],
       devices + pci_head + Range(kIrq, 1, 2) + "\r\n" + Range(kIrq, 4, 5) + kIrq[5]},
      {"section ends after Path: group 2 lands in the next section and comes again",
       pci_head + Range(kIrq, 1, 2) + devices,
       pci_head + Range(kIrq, 1, 2) + "[MS_SYS]\r\n" + Range(kIrq, 4, 6) + devices.substr(10),
       pci_head + Range(kIrq, 1, 2) + "[MS_SYS]\r\n" + Range(kIrq, 4, 6) + Range(kIrq, 4, 6) +
           devices.substr(10)},
  };
  for (const TailCase& c : cases) {
    TempDir dir;
    const std::string path = dir.File("MACHINE.INF");
    WriteBytes(path, c.before);
    EXPECT_EQ(PatchMachineInf(path.c_str()), 1) << c.name;
    EXPECT_EQ(ReadBytes(path), c.after_first_run) << c.name;
    EXPECT_EQ(PatchMachineInf(path.c_str()), 1) << c.name;
    EXPECT_EQ(ReadBytes(path), c.after_second_run) << c.name << " (second run)";
  }
}

}  // namespace
