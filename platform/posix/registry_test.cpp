#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "test_support/temp_dir.h"
#include "test_support/unusable_registry.h"

namespace {

constexpr const char* kRegistry =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum]\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_8086&DEV_7111\\BUS_00&DEV_07&FUNC_01]\r\n"
    "\"Class\"=\"hdc\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\PCIX]\r\n"
    "\"Keep\"=\"1\"\r\n";

constexpr const char* kRegistryWithoutPci =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum]\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\PCIX]\r\n"
    "\"Keep\"=\"1\"\r\n";

ino_t InodeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_ino;
}

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(file_, kRegistry);
    setenv("KESTRA32_REGISTRY", file_.c_str(), 1);
  }
  void TearDown() override { unsetenv("KESTRA32_REGISTRY"); }

  // Opens path, deletes subkey from it and closes it; false when either
  // failed.
  static bool DeleteBelow(const char* path, const char* subkey) {
    platform::RegistryKey key = nullptr;
    if (!platform::OpenMachineKey(path, key)) {
      return false;
    }
    const bool deleted = platform::DeleteKeyTree(key, subkey);
    platform::CloseKey(key);
    return deleted;
  }

  TempDir dir_;
  std::string file_ = dir_.File("SYSTEM.REG");
};

TEST_F(RegistryTest, OpensKeysNamedByAHeaderOrByAKeyBelowThem) {
  for (const char* path :
       {"Enum", "ENUM", "Enum\\PCI", "enum\\pci\\VEN_8086&DEV_7111", "Enum\\PCIX"}) {
    platform::RegistryKey key = nullptr;
    EXPECT_TRUE(platform::OpenMachineKey(path, key)) << path;
    platform::CloseKey(key);
  }
  for (const char* path : {"Enum\\PC", "Enum\\MF", "System", "HKEY_LOCAL_MACHINE\\Enum"}) {
    platform::RegistryKey key = nullptr;
    EXPECT_FALSE(platform::OpenMachineKey(path, key)) << path;
  }
}

TEST_F(RegistryTest, DeletesTheKeyWithItsSubtreeAndKeepsTheRest) {
  EXPECT_TRUE(DeleteBelow("Enum", "pci"));
  EXPECT_EQ(ReadBytes(file_), kRegistryWithoutPci);
  EXPECT_EQ(NamesIn(dir_.path()), std::vector<std::string>{"SYSTEM.REG"});
}

TEST_F(RegistryTest, NothingToDeleteLeavesTheFileUnwritten) {
  const ino_t before = InodeOf(file_);
  platform::RegistryKey key = nullptr;
  ASSERT_TRUE(platform::OpenMachineKey("Enum", key));
  for (const char* subkey : {"MF", "PC", "PCI\\VEN_8086&DEV_7111\\Missing", ""}) {
    EXPECT_FALSE(platform::DeleteKeyTree(key, subkey)) << subkey;
  }
  platform::CloseKey(key);
  EXPECT_EQ(InodeOf(file_), before);
  EXPECT_EQ(ReadBytes(file_), kRegistry);
}

TEST_F(RegistryTest, AFailedRewriteKeepsTheOldBytes) {
  std::filesystem::permissions(file_, std::filesystem::perms::owner_read);
  EXPECT_FALSE(DeleteBelow("Enum", "PCI"));
  EXPECT_EQ(ReadBytes(file_), kRegistry);
  EXPECT_EQ(NamesIn(dir_.path()), std::vector<std::string>{"SYSTEM.REG"});
}

TEST_F(RegistryTest, AFailureAtAnyFileStepLeavesOldOrNewBytesWhole) {
  platform::fault::FailFileOperation(0);
  ASSERT_TRUE(DeleteBelow("Enum", "PCI"));
  const long operations = platform::fault::FileOperations();
  long refused = 0;
  for (long failing = 1; failing <= operations; ++failing) {
    WriteBytes(file_, kRegistry);
    platform::fault::FailFileOperation(failing);
    const bool deleted = DeleteBelow("Enum", "PCI");
    platform::fault::FailFileOperation(0);
    refused += deleted ? 0 : 1;
    EXPECT_EQ(ReadBytes(file_), deleted ? kRegistryWithoutPci : kRegistry) << "step " << failing;
    EXPECT_EQ(NamesIn(dir_.path()), std::vector<std::string>{"SYSTEM.REG"});
  }
  EXPECT_GT(refused, 0);
}

TEST_F(RegistryTest, AKeyOpenedBeforeTheFileWentAwayDeletesNothing) {
  platform::RegistryKey key = nullptr;
  ASSERT_TRUE(platform::OpenMachineKey("Enum", key));
  std::filesystem::remove(file_);
  EXPECT_FALSE(platform::DeleteKeyTree(key, "PCI"));
  platform::CloseKey(key);
  EXPECT_TRUE(NamesIn(dir_.path()).empty());
}

class UnusableRegistryTest : public testing::TestWithParam<UnusableCase> {};

TEST_P(UnusableRegistryTest, OpensNoKeyAndWritesNothing) {
  const UnusableRegistry registry(GetParam());
  platform::RegistryKey key = nullptr;
  EXPECT_FALSE(platform::OpenMachineKey("Enum", key));
  registry.ExpectUntouched();
}

INSTANTIATE_TEST_SUITE_P(Cases, UnusableRegistryTest,
                         testing::Values(UnusableCase{"VariableUnset", kRegistry, false},
                                         UnusableCase{"FileMissing", nullptr, true},
                                         UnusableCase{"NoRegeditLine",
                                                      "[HKEY_LOCAL_MACHINE\\Enum\\PCI]\r\n", true},
                                         UnusableCase{"OtherFirstLine",
                                                      "Windows Registry Editor Version 5.00\r\n\r\n"
                                                      "[HKEY_LOCAL_MACHINE\\Enum\\PCI]\r\n",
                                                      true}),
                         UnusableCaseName);

}  // namespace
