#include "app/run_setup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/help_text.h"
#include "platform/platform.h"
#include "test_support/temp_dir.h"

namespace {

const std::string kUnpatchedUsb = "[Intel.Section]\r\n[Strings]\r\n";

// A Windows folder holding an unpatched USB.INF, named by WINDIR for the test.
class RunSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(usb_inf_, kUnpatchedUsb);
    setenv("WINDIR", windir_.c_str(), 1);
  }
  void TearDown() override { unsetenv("WINDIR"); }

  // Runs RunSetup on tail; returns what it printed.
  static std::string Run(std::string& tail) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunSetup(tail.data()), 0);
    return testing::internal::GetCapturedStdout();
  }

  bool UsbInfPatched() const { return ReadBytes(usb_inf_) != kUnpatchedUsb; }

  TempDir dir_;
  std::string windir_ = dir_.File("WINDOWS");
  std::string usb_inf_ = dir_.File("WINDOWS/INF/USB.INF");
};

struct TailCase {
  const char* tail;
  const char* upper_cased;
  bool help;
};

TEST_F(RunSetupTest, HelpSwitchAnywhereInTheTailShowsHelpAndNothingElse) {
  const TailCase cases[] = {
      {"/h", "/H", true},
      {"-h", "-H", true},
      {"/?", "/?", true},
      {"-?", "-?", true},
      {"path-home", "PATH-HOME", true},
      {"c:\\windows /? more text", "C:\\WINDOWS /? MORE TEXT", true},
      {"", "", false},
      {"/x", "/X", false},
      {"h? /\xe4h", "H? /\xe4H", false},
  };
  for (const TailCase& c : cases) {
    WriteBytes(usb_inf_, kUnpatchedUsb);
    std::string tail = c.tail;
    const std::string printed = Run(tail);
    EXPECT_EQ(tail, c.upper_cased);
    EXPECT_EQ(printed.find(kHelpCaption) != std::string::npos, c.help) << c.tail;
    EXPECT_EQ(printed.find("Usage:\tKESTRA32 [-{h|?}]") != std::string::npos, c.help) << c.tail;
    EXPECT_NE(UsbInfPatched(), c.help) << c.tail;
  }
}

TEST_F(RunSetupTest, MissingFilesOfEarlierSlotsDoNotStopTheLaterOnes) {
  std::string tail;
  EXPECT_EQ(Run(tail), "");
  EXPECT_TRUE(UsbInfPatched());
}

// A Windows directory spelled with "/." steps to the given length, so that it
// still names the test's folder.
std::string PaddedWindir(const std::string& windir, std::size_t length) {
  std::string padded = windir;
  while (padded.size() + 2 <= length) padded += "/.";
  if (padded.size() < length) padded += "/";
  return padded;
}

// The longest directory accepted leaves room for the path of every save's new
// file, so the run saves the INF files and resets the registry; one character
// more, and nothing is touched.
TEST_F(RunSetupTest, AWindowsDirectoryWithoutRoomForTheLongestPathRefusesTheRun) {
  const std::string registry = dir_.File("SYSTEM.REG");
  const std::string enum_pci = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Enum\\PCI]\r\n";
  setenv("KESTRA32_REGISTRY", registry.c_str(), 1);
  const std::size_t longest_directory =
      platform::kMaxPath - std::string("/INF/.kestra32-XXXXXX").size() - 1;
  const struct {
    std::size_t length;
    bool runs;
  } cases[] = {{longest_directory, true}, {longest_directory + 1, false}};
  for (const auto& c : cases) {
    WriteBytes(usb_inf_, kUnpatchedUsb);
    WriteBytes(registry, enum_pci);
    const std::string windir = PaddedWindir(windir_, c.length);
    ASSERT_EQ(windir.size(), c.length);
    setenv("WINDIR", windir.c_str(), 1);
    std::string tail;
    EXPECT_EQ(Run(tail), "");
    EXPECT_EQ(ReadBytes(registry) != enum_pci, c.runs) << c.length;
    EXPECT_EQ(UsbInfPatched(), c.runs) << c.length;
  }
  unsetenv("KESTRA32_REGISTRY");
}

// A Windows tree whose three INF files hold every section their patches need,
// and a registry holding the three device trees between neighbours.
TEST_F(RunSetupTest, AWholeRunPatchesTheThreeFilesAndThenResetsTheRegistry) {
  const std::string mshdc_inf = dir_.File("WINDOWS/INF/MSHDC.INF");
  const std::string machine_inf = dir_.File("WINDOWS/INF/MACHINE.INF");
  const std::string registry = dir_.File("SYSTEM.REG");
  const std::string unpatched_mshdc =
      "[VIATECH_HDC]\r\n[INTEL_HDC]\r\n[ControlFlags]\r\n[Strings]\r\n";
  const std::string unpatched_machine =
      "[PCI_DRV_AddReg]\r\n[MS_SYS]\r\n[ControlFlags]\r\n[Strings]\r\n";
  const std::string class_key = R"([HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class)";
  const std::string neighbours = "REGEDIT4\r\n\r\n" + class_key + "\\fdc]\r\n\r\n" +
                                 "[HKEY_LOCAL_MACHINE\\Enum\\Root]\r\n\r\n";
  WriteBytes(mshdc_inf, unpatched_mshdc);
  WriteBytes(machine_inf, unpatched_machine);
  WriteBytes(registry, neighbours + class_key +
                           "\\hdc\\0000]\r\n\"InfPath\"=\"MSHDC.INF\"\r\n\r\n" +
                           "[HKEY_LOCAL_MACHINE\\Enum\\MF\\CHILD0000]\r\n\r\n" +
                           "[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_8086&DEV_7111]\r\n\r\n");
  setenv("KESTRA32_REGISTRY", registry.c_str(), 1);

  std::string tail;
  EXPECT_EQ(Run(tail), "");
  EXPECT_NE(ReadBytes(mshdc_inf), unpatched_mshdc);
  EXPECT_NE(ReadBytes(machine_inf), unpatched_machine);
  EXPECT_TRUE(UsbInfPatched());
  EXPECT_EQ(ReadBytes(registry), neighbours);

  const std::vector<std::string> patched = {ReadBytes(mshdc_inf), ReadBytes(machine_inf),
                                            ReadBytes(usb_inf_)};
  std::string second_tail;
  EXPECT_EQ(Run(second_tail), "");
  EXPECT_EQ(ReadBytes(mshdc_inf), patched[0]);
  EXPECT_EQ(ReadBytes(machine_inf), patched[1]);
  EXPECT_EQ(ReadBytes(usb_inf_), patched[2]);
  EXPECT_EQ(ReadBytes(registry), neighbours);
  unsetenv("KESTRA32_REGISTRY");
}

}  // namespace
