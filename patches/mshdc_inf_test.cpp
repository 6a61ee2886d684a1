#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

#include "patches/patches.h"
#include "test_support/temp_dir.h"

namespace {

const std::string kVia =
    R"(%PCI\VEN_1106&DEV_0571.DeviceDesc%=DUAL_GOOD_IDE,PCI\VEN_1106&DEV_0571)";
const std::string kViaFlag = R"(CopyFilesOnly=PCI\VEN_1106&DEV_0571)";
const std::string kViaName =
    R"(PCI\VEN_1106&DEV_0571.DeviceDesc="VIA Tech PCI Bus Master IDE Controller")";
const std::string k7010 =
    R"(%PCI\VEN_8086&DEV_7010.DeviceDesc%=DUAL_GOOD_IDE, ,PCI\VEN_8086&DEV_7010)";
const std::string k7111 =
    R"(%PCI\VEN_8086&DEV_7111.DeviceDesc%=DUAL_GOOD_IDE, ,PCI\VEN_8086&DEV_7111)";
const std::string kFlag7010 = R"(CopyFilesOnly=PCI\VEN_8086&DEV_7010)";
const std::string kFlag7111 = R"(CopyFilesOnly=PCI\VEN_8086&DEV_7111)";
const std::string kName7010 =
    R"(PCI\VEN_8086&DEV_7010.DeviceDesc="Intel 82371SB PCI Bus Master IDE Controller")";
const std::string kName7111 =
    R"(PCI\VEN_8086&DEV_7111.DeviceDesc="Intel 82371AB/EB PCI Bus Master IDE Controller")";

const std::string kOtherIntel =
    R"(%PCI\VEN_8086&DEV_1230.DeviceDesc%=INTEL_IDE,PCI\VEN_8086&DEV_1230)";
const std::string kOtherIntelFlag = R"(CopyFilesOnly=PCI\VEN_8086&DEV_1230)";
const std::string kOtherVia = R"(%PCI\VEN_1106&DEV_1571.DeviceDesc%=VIA_IDE,PCI\VEN_1106&DEV_1571)";
const std::string kOtherViaFlag = R"(CopyFilesOnly=PCI\VEN_1106&DEV_1571)";
const std::string kOtherViaName = R"(PCI\VEN_1106&DEV_1571.DeviceDesc="VIA IDE")";
const std::string kOtherVendor =
    R"(%PCI\VEN_1095&DEV_0640.DeviceDesc%=CMD_IDE,PCI\VEN_1095&DEV_0640)";
const std::string kOtherVendorFlag = R"(CopyFilesOnly=PCI\VEN_1095&DEV_0640)";
const std::string kOtherVendorName = R"(PCI\VEN_1095&DEV_0640.DeviceDesc="CMD PCI IDE Controller")";

// The lines after each header of the four sections the patch works on.
struct Sections {
  std::string via = CrLfLines({kVia});
  std::string intel = CrLfLines({k7010, k7111});
  std::string flags = CrLfLines({kViaFlag, kFlag7010, kFlag7111});
  std::string strings = CrLfLines({kViaName, kName7010, kName7111});
};

std::string MshdcInf(const Sections& s) {
  return "; hard disk controllers\r\n[Version]\r\nSignature=\"$CHICAGO$\"\r\n\r\n"
         "[VIATECH_HDC]\r\n" +
         s.via + "[INTEL_HDC]\r\n" + s.intel + "[ControlFlags]\r\n" + s.flags + "[Strings]\r\n" +
         s.strings;
}

struct MshdcCase {
  const char* name;
  Sections before;
  std::optional<Sections> after;  // none: the file stays as it was
};

Sections With(std::string via, std::string intel, std::string flags, std::string strings) {
  return {std::move(via), std::move(intel), std::move(flags), std::move(strings)};
}

// The other three sections hold all their lines.
Sections Via(std::string lines) {
  Sections s;
  s.via = std::move(lines);
  return s;
}
Sections Intel(std::string lines) {
  Sections s;
  s.intel = std::move(lines);
  return s;
}
Sections Flags(std::string lines) {
  Sections s;
  s.flags = std::move(lines);
  return s;
}

TEST(MshdcInfTest, InsertsTheMissingControllerLinesNextToTheirVendorsLines) {
  const MshdcCase cases[] = {
      {"all nine lines present in any case and spacing",
       With(
           CrLfLines({"  %pci\\ven_1106&dev_0571.devicedesc%  =  OTHER_IDE"}),
           CrLfLines({"%PCI\\VEN_8086&DEV_7010.DEVICEDESC%\t= DUAL_GOOD_IDE,PCI\\VEN_8086&DEV_7010",
                      " %pci\\ven_8086&dev_7111.devicedesc%=x"}),
           CrLfLines({"copyfilesonly = pci\\ven_1106&dev_0571 ",
                      "COPYFILESONLY=PCI\\VEN_8086&DEV_7010",
                      "\tCopyFilesOnly =\tpci\\ven_8086&dev_7111"}),
           CrLfLines({R"(pci\ven_1106&dev_0571.devicedesc = "Another name")",
                      "PCI\\VEN_8086&DEV_7010.DeviceDesc=x",
                      " PCI\\VEN_8086&DEV_7111.devicedesc =y"})),
       std::nullopt},
      {"no vendor line anywhere: Intel lines after the header, ahead of the VIA line",
       With(CrLfLines({kOtherVendor, ""}), CrLfLines({"; Intel controllers", ""}),
            CrLfLines({kOtherVendorFlag, ""}), CrLfLines({kOtherVendorName})),
       With(CrLfLines({kVia, kOtherVendor, ""}),
            CrLfLines({k7010, k7111, "; Intel controllers", ""}),
            CrLfLines({kFlag7010, kFlag7111, kViaFlag, kOtherVendorFlag, ""}),
            CrLfLines({kName7010, kName7111, kViaName, kOtherVendorName}))},
      {"another VIA device's lines: the VIA lines after them",
       With(CrLfLines({kOtherVia, kOtherVendor}), Sections().intel,
            CrLfLines({kOtherViaFlag, kFlag7010, kFlag7111}),
            CrLfLines({kOtherViaName, kName7010, kName7111})),
       With(CrLfLines({kOtherVia, kVia, kOtherVendor}), Sections().intel,
            CrLfLines({kOtherViaFlag, kViaFlag, kFlag7010, kFlag7111}),
            CrLfLines({kOtherViaName, kViaName, kName7010, kName7111}))},
      {"ControlFlags holding another Intel CopyFilesOnly line", Flags(CrLfLines({kOtherIntelFlag})),
       Flags(CrLfLines({kViaFlag, kOtherIntelFlag, kFlag7010, kFlag7111}))},
      {"DEV_7010 then another Intel line: DEV_7111 right after DEV_7010",
       Intel(CrLfLines({k7010, kOtherIntel})), Intel(CrLfLines({k7010, k7111, kOtherIntel}))},
      {"DEV_7111 then another Intel line: DEV_7010 after the last Intel key",
       Intel(CrLfLines({k7111, kOtherIntel, kOtherVendor})),
       Intel(CrLfLines({k7111, kOtherIntel, k7010, kOtherVendor}))},
      {"two DEV_7010 lines: DEV_7111 after the first",
       Intel(CrLfLines({k7010, kOtherIntel, k7010})),
       Intel(CrLfLines({k7010, k7111, kOtherIntel, k7010}))},
      {"an entry's key with another value counts as present",
       With(CrLfLines(
                {R"(%PCI\VEN_1106&DEV_0571.DeviceDesc%=DUAL_GOOD_IDE, ,PCI\VEN_1106&DEV_0571)"}),
            CrLfLines({R"(%PCI\VEN_8086&DEV_7010.DeviceDesc%=DUAL_GOOD_IDE,PCI\VEN_8086&DEV_7010)",
                       R"(%PCI\VEN_8086&DEV_7111.DeviceDesc%=OTHER_IDE)"}),
            CrLfLines({kViaFlag, kFlag7010, kFlag7111}),
            CrLfLines({R"(PCI\VEN_1106&DEV_0571.DeviceDesc="VIA IDE")", kName7010,
                       R"(PCI\VEN_8086&DEV_7111.DeviceDesc="Intel IDE")"})),
       std::nullopt},
      {"another key with an entry's value, and one line listing two ids",
       Flags(CrLfLines({kViaFlag, kFlag7010 + "," + R"(PCI\VEN_8086&DEV_7111)",
                        R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7010)"})),
       Flags(CrLfLines({kViaFlag, kFlag7010 + "," + R"(PCI\VEN_8086&DEV_7111)", kFlag7010,
                        kFlag7111, R"(ExcludeFromSelect=PCI\VEN_8086&DEV_7010)"}))},
      {"DEV_7010 flag in small letters with blanks: DEV_7111 right after it",
       Flags(CrLfLines({kViaFlag, " copyfilesonly = pci\\ven_8086&dev_7010", kOtherIntelFlag})),
       Flags(CrLfLines(
           {kViaFlag, " copyfilesonly = pci\\ven_8086&dev_7010", kFlag7111, kOtherIntelFlag}))},
      {"commented-out copies are neither entries nor anchors",
       With(CrLfLines({";" + kVia}), CrLfLines({";" + k7010, ";" + k7111}),
            CrLfLines({";" + kViaFlag, ";" + kFlag7010, ";" + kFlag7111}),
            CrLfLines({";" + kViaName, ";" + kName7010, ";" + kName7111})),
       With(CrLfLines({kVia, ";" + kVia}), CrLfLines({k7010, k7111, ";" + k7010, ";" + k7111}),
            CrLfLines(
                {kFlag7010, kFlag7111, kViaFlag, ";" + kViaFlag, ";" + kFlag7010, ";" + kFlag7111}),
            CrLfLines({kName7010, kName7111, kViaName, ";" + kViaName, ";" + kName7010,
                       ";" + kName7111}))},
      {"a key without '=' or too short for the vendor id",
       Via(CrLfLines({R"(%PCI\VEN_1106&DEV_0571.DeviceDesc%)", R"(%PCI\VEN_110=1106)"})),
       Via(CrLfLines({kVia, R"(%PCI\VEN_1106&DEV_0571.DeviceDesc%)", R"(%PCI\VEN_110=1106)"}))},
  };
  for (const MshdcCase& c : cases) {
    TempDir dir;
    const std::string path = dir.File("MSHDC.INF");
    const std::string before = MshdcInf(c.before);
    const std::string after = MshdcInf(c.after.value_or(c.before));
    WriteBytes(path, before);
    const auto stamp = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(path, stamp);
    EXPECT_EQ(PatchMshdcInf(path.c_str()), 1) << c.name;
    EXPECT_EQ(ReadBytes(path), after) << c.name;
    if (before == after) {
      EXPECT_EQ(std::filesystem::last_write_time(path), stamp) << c.name;
    }
    EXPECT_EQ(PatchMshdcInf(path.c_str()), 1) << c.name;
    EXPECT_EQ(ReadBytes(path), after) << c.name << " (second run)";
  }
}

TEST(MshdcInfTest, EmptySectionsReceiveTheirLinesRightAfterTheirHeaders) {
  TempDir dir;
  const std::string path = dir.File("MSHDC.INF");
  WriteBytes(path, "[Strings]\r\n[VIATECH_HDC]\r\n[ControlFlags]\r\n[INTEL_HDC]");
  EXPECT_EQ(PatchMshdcInf(path.c_str()), 1);
  EXPECT_EQ(ReadBytes(path), "[Strings]\r\n" + CrLfLines({kName7010, kName7111, kViaName}) +
                                 "[VIATECH_HDC]\r\n" + CrLfLines({kVia}) + "[ControlFlags]\r\n" +
                                 CrLfLines({kFlag7010, kFlag7111, kViaFlag}) + "[INTEL_HDC]\r\n" +
                                 k7010 + "\r\n" + k7111);
}

TEST(MshdcInfTest, OnlyTheFirstControlFlagsSectionIsPatched) {
  TempDir dir;
  const std::string path = dir.File("MSHDC.INF");
  Sections sections;
  sections.flags = CrLfLines({kOtherVendorFlag});
  const std::string second = "[ControlFlags]\r\n" + CrLfLines({kOtherIntelFlag});
  WriteBytes(path, MshdcInf(sections) + second);
  sections.flags = CrLfLines({kFlag7010, kFlag7111, kViaFlag, kOtherVendorFlag});
  EXPECT_EQ(PatchMshdcInf(path.c_str()), 1);
  EXPECT_EQ(ReadBytes(path), MshdcInf(sections) + second);
}

TEST(MshdcInfTest, AMissingSectionLeavesTheFileUnchanged) {
  const std::string unpatched =
      MshdcInf(With(CrLfLines({kOtherVendor}), CrLfLines({kOtherIntel}),
                    CrLfLines({kOtherVendorFlag}), CrLfLines({kOtherVendorName})));
  const char* const headers[] = {"[VIATECH_HDC]", "[INTEL_HDC]", "[ControlFlags]", "[Strings]"};
  for (const char* header : headers) {
    std::string before = unpatched;
    before.replace(before.find(header), 1, "; ");
    TempDir dir;
    const std::string path = dir.File("MSHDC.INF");
    WriteBytes(path, before);
    EXPECT_EQ(PatchMshdcInf(path.c_str()), 0) << header;
    EXPECT_EQ(ReadBytes(path), before) << header;
  }
}

TEST(MshdcInfTest, AFileThatCannotBeLoadedIsRefused) {
  TempDir dir;
  const std::string path = dir.File("MSHDC.INF");
  EXPECT_EQ(PatchMshdcInf(path.c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
