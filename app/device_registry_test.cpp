#include "app/device_registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_support/temp_dir.h"
#include "test_support/unusable_registry.h"

namespace {

const std::string kStart = "REGEDIT4\r\n\r\n";
const std::string kClass =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class]\r\n\r\n";
const std::string kHdc =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\hdc]\r\n"
    "@=\"Hard disk controllers\"\r\n"
    "\"Icon\"=\"-9\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\hdc\\0000]\r\n"
    "\"DriverDesc\"=\"Standard Dual PCI IDE Controller\"\r\n"
    "\r\n";
const std::string kHdcx =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\hdcx]\r\n"
    "@=\"Not the controller class\"\r\n"
    "\r\n";
const std::string kEnum = "[HKEY_LOCAL_MACHINE\\Enum]\r\n\r\n";
const std::string kMf =
    "[HKEY_LOCAL_MACHINE\\Enum\\MF\\CHILD0000\\PCI&VEN_8086&DEV_7113]\r\n"
    "\"Class\"=\"System\"\r\n"
    "\r\n";
const std::string kPci =
    "[HKEY_LOCAL_MACHINE\\Enum\\PCI]\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_8086&DEV_7111\\BUS_00&DEV_07&FUNC_01]\r\n"
    "\"Class\"=\"hdc\"\r\n"
    "\r\n";
const std::string kPcix =
    "[HKEY_LOCAL_MACHINE\\Enum\\PCIX]\r\n"
    "\"Keep\"=hex:01,02\r\n"
    "\r\n";
const std::string kRoot =
    "[HKEY_LOCAL_MACHINE\\Enum\\Root\\*PNP0A03\\0000]\r\n"
    "\"DeviceDesc\"=\"PCI bus\"\r\n"
    "\r\n";
// A PCI device listed apart from the rest of its tree.
const std::string kPciApart =
    "[HKEY_LOCAL_MACHINE\\ENUM\\pci\\VEN_1106&DEV_0571\\BUS_00&DEV_07&FUNC_01]\r\n"
    "\"Class\"=\"hdc\"\r\n";

struct ResetCase {
  const char* name;
  std::string before;
  std::string after;
};

class ResetDeviceRegistryTest : public testing::TestWithParam<ResetCase> {
 protected:
  void TearDown() override { unsetenv("KESTRA32_REGISTRY"); }

  TempDir dir_;
  std::string file_ = dir_.File("SYSTEM.REG");
};

TEST_P(ResetDeviceRegistryTest, DeletesTheThreeTreesAndKeepsEveryOtherByte) {
  const ResetCase& c = GetParam();
  WriteBytes(file_, c.before);
  const std::string untouched = dir_.File("untouched");
  std::filesystem::create_hard_link(file_, untouched);
  setenv("KESTRA32_REGISTRY", file_.c_str(), 1);

  EXPECT_EQ(ResetDeviceRegistry(), 0);
  EXPECT_EQ(ReadBytes(file_), c.after);
  EXPECT_EQ(std::filesystem::equivalent(file_, untouched), c.before == c.after)
      << "rewritten exactly when something was deleted";

  EXPECT_EQ(ResetDeviceRegistry(), 0);
  EXPECT_EQ(ReadBytes(file_), c.after) << "a second run changes nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResetDeviceRegistryTest,
    testing::Values(
        ResetCase{"AllThreeWithNeighbours",
                  kStart + kClass + kHdc + kHdcx + kEnum + kMf + kPci + kPcix + kRoot + kPciApart,
                  kStart + kClass + kHdcx + kEnum + kPcix + kRoot},
        ResetCase{"NoneOfTheThree", kStart + kClass + kHdcx + kEnum + kPcix + kRoot,
                  kStart + kClass + kHdcx + kEnum + kPcix + kRoot},
        ResetCase{"EnumAbsent", kStart + kClass + kHdc + kHdcx, kStart + kClass + kHdcx},
        ResetCase{"ClassAbsent", kStart + kEnum + kPci + kRoot + kMf, kStart + kEnum + kRoot},
        ResetCase{
            "LfLineEnds",
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Enum\\MF]\n\n[HKEY_LOCAL_MACHINE\\Enum\\Root]\n",
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Enum\\Root]\n"}),
    [](const testing::TestParamInfo<ResetCase>& info) { return std::string(info.param.name); });

class UnusableRegistryTest : public testing::TestWithParam<UnusableCase> {};

TEST_P(UnusableRegistryTest, NothingHappensAndNothingIsCreated) {
  const UnusableRegistry registry(GetParam());
  EXPECT_EQ(ResetDeviceRegistry(), 0);
  registry.ExpectUntouched();
}

const std::string kAllThree = kStart + kClass + kHdc + kEnum + kMf + kPci;
const std::string kAllThreeWithoutStart = kClass + kHdc + kEnum + kMf + kPci;
const std::string kAllThreeLowerCaseStart = "regedit4\r\n\r\n" + kAllThreeWithoutStart;

INSTANTIATE_TEST_SUITE_P(
    Cases, UnusableRegistryTest,
    testing::Values(UnusableCase{"VariableUnset", kAllThree.c_str(), false},
                    UnusableCase{"FileMissing", nullptr, true},
                    UnusableCase{"NoRegeditLine", kAllThreeWithoutStart.c_str(), true},
                    UnusableCase{"LowerCaseRegeditLine", kAllThreeLowerCaseStart.c_str(), true}),
    UnusableCaseName);

}  // namespace
