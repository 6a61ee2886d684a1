#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "patches/patches.h"
#include "test_support/temp_dir.h"

namespace {

const std::string kDev7020 =
    R"(%PCI\VEN_8086&DEV_7020.DeviceDesc%=UniversalHCD.Dev,PCI\VEN_8086&DEV_7020)";
const std::string kDev7112 =
    R"(%PCI\VEN_8086&DEV_7112.DeviceDesc%=UniversalHCD.Dev,PCI\VEN_8086&DEV_7112)";
const std::string kMfg = R"(Intel.Mfg="Intel")";
const std::string kName7020 =
    R"(PCI\VEN_8086&DEV_7020.DeviceDesc="Intel 82371SB PCI to USB Universal Host Controller")";
const std::string kName7112 =
    R"(PCI\VEN_8086&DEV_7112.DeviceDesc="Intel 82371AB/EB PCI to USB Universal Host Controller")";
const std::string kOtherIntel =
    R"(%PCI\VEN_8086&DEV_1234.DeviceDesc%=UniversalHCD.Dev,PCI\VEN_8086&DEV_1234)";
const std::string kOtherVendor =
    R"(%PCI\VEN_1045&DEV_C861.DeviceDesc%=OpenHCD.Dev,PCI\VEN_1045&DEV_C861)";
const std::string kOtherName = R"(PCI\VEN_1045&DEV_C861.DeviceDesc="Other USB Controller")";

struct UsbCase {
  const char* name;
  std::string intel_section;  // the lines after "[Intel.Section]"
  std::string strings;        // the lines after "[Strings]"
  std::string patched_intel_section;
  std::string patched_strings;
};

std::string UsbInf(const std::string& intel_section, const std::string& strings) {
  return "; USB host controllers\r\n[Version]\r\nSignature=\"$CHICAGO$\"\r\n\r\n"
         "[Intel.Section]\r\n" +
         intel_section + "[Strings]\r\n" + strings;
}

TEST(UsbInfTest, InsertsTheMissingHostControllerLinesNextToTheIntelLines) {
  const UsbCase cases[] = {
      {"unpatched system", CrLfLines({kOtherVendor, "; comment", ""}), CrLfLines({kOtherName}),
       CrLfLines({kDev7020, kDev7112, kOtherVendor, "; comment", ""}),
       CrLfLines({kMfg, kName7020, kName7112, kOtherName})},
      {"everything present in any case and spacing",
       CrLfLines({"  %pci\\ven_8086&dev_7020.devicedesc%  =  Other.Dev",
                  "%PCI\\VEN_8086&DEV_7112."
                  "DeviceDesc%\t=x"}),
       CrLfLines({R"(INTEL.MFG = "Someone")", R"( pci\ven_8086&dev_7020.devicedesc="a")",
                  "PCI\\VEN_8086&DEV_7112.DeviceDesc=b"}),
       "", ""},
      {"commented-out device line counts for nothing", CrLfLines({";" + kDev7020, kDev7112}),
       CrLfLines({kMfg, kName7020, kName7112}), CrLfLines({";" + kDev7020, kDev7112, kDev7020}),
       ""},
      {"DEV_7112 present: DEV_7020 after the last 8086 key",
       CrLfLines({kOtherIntel, kDev7112, kOtherVendor}), CrLfLines({kMfg, kName7020, kName7112}),
       CrLfLines({kOtherIntel, kDev7112, kDev7020, kOtherVendor}), ""},
      {"only DEV_7020 present: DEV_7112 right after it", CrLfLines({kDev7020, kOtherIntel}),
       CrLfLines({kMfg, kName7020, kName7112}), CrLfLines({kDev7020, kDev7112, kOtherIntel}), ""},
      {"neither present: both after the last Intel line even with others after it",
       CrLfLines({kOtherIntel, kOtherVendor}), CrLfLines({kMfg, kName7020, kName7112}),
       CrLfLines({kOtherIntel, kDev7020, kDev7112, kOtherVendor}), ""},
      {"two DEV_7020 lines: the missing line goes after the first",
       CrLfLines({kDev7020, kOtherIntel, kDev7020}), CrLfLines({kMfg, kName7020, kName7112}),
       CrLfLines({kDev7020, kDev7112, kOtherIntel, kDev7020}), ""},
      {"Strings lacking only Intel.Mfg: after the DEV_7020 name", CrLfLines({kDev7020, kDev7112}),
       CrLfLines({kOtherName, kName7020, kName7112}), "",
       CrLfLines({kOtherName, kName7020, kMfg, kName7112})},
      {"key without '=' is no entry", CrLfLines({kDev7020, kDev7112}),
       CrLfLines({"Intel.Mfg", kName7020, kName7112}), "",
       CrLfLines({"Intel.Mfg", kName7020, kMfg, kName7112})},
      {"short keys are no vendor lines", CrLfLines({"%PCI\\VEN_808=8086", ""}),
       CrLfLines({"PCI\\VEN_808=PCI\\VEN_8086"}),
       CrLfLines({kDev7020, kDev7112, "%PCI\\VEN_808=8086", ""}),
       CrLfLines({kMfg, kName7020, kName7112, "PCI\\VEN_808=PCI\\VEN_8086"})},
  };
  for (const UsbCase& c : cases) {
    TempDir dir;
    const std::string path = dir.File("USB.INF");
    const std::string before = UsbInf(c.intel_section, c.strings);
    const std::string after =
        UsbInf(c.patched_intel_section.empty() ? c.intel_section : c.patched_intel_section,
               c.patched_strings.empty() ? c.strings : c.patched_strings);
    WriteBytes(path, before);
    const auto stamp = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(path, stamp);
    EXPECT_EQ(PatchUsbInf(path.c_str()), 1) << c.name;
    EXPECT_EQ(ReadBytes(path), after) << c.name;
    if (before == after) {
      EXPECT_EQ(std::filesystem::last_write_time(path), stamp) << c.name;
    }
    EXPECT_EQ(PatchUsbInf(path.c_str()), 1) << c.name;
    EXPECT_EQ(ReadBytes(path), after) << c.name << " (second run)";
  }
}

TEST(UsbInfTest, EmptySectionsReceiveTheirLinesRightAfterTheirHeaders) {
  TempDir dir;
  const std::string path = dir.File("USB.INF");
  WriteBytes(path, "[Intel.Section]\r\n[Strings]");
  EXPECT_EQ(PatchUsbInf(path.c_str()), 1);
  EXPECT_EQ(ReadBytes(path), "[Intel.Section]\r\n" + CrLfLines({kDev7020, kDev7112}) +
                                 "[Strings]\r\n" + kMfg + "\r\n" + kName7020 + "\r\n" + kName7112);
}

TEST(UsbInfTest, AMissingSectionLeavesTheFileUnchanged) {
  const std::string files[] = {"[Intel.Section]\r\n" + kOtherVendor + "\r\n",
                               "[Strings]\r\n" + kOtherName + "\r\n"};
  for (const std::string& before : files) {
    TempDir dir;
    const std::string path = dir.File("USB.INF");
    WriteBytes(path, before);
    EXPECT_EQ(PatchUsbInf(path.c_str()), 0);
    EXPECT_EQ(ReadBytes(path), before);
  }
}

}  // namespace
