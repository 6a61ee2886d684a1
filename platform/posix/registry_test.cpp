#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "creg/creg_file.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "test_support/scoped_variable.h"
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

// Opens path, deletes subkey from it and closes it; false when either
// failed.
bool DeleteBelow(const char* path, const char* subkey) {
  platform::RegistryKey key = nullptr;
  if (!platform::OpenMachineKey(path, key)) {
    return false;
  }
  const bool deleted = platform::DeleteKeyTree(key, subkey);
  platform::CloseKey(key);
  return deleted;
}

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(file_, kRegistry);
    setenv("KESTRA32_REGISTRY", file_.c_str(), 1);
  }
  void TearDown() override { unsetenv("KESTRA32_REGISTRY"); }

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

// SYSTEM.DAT in the Windows directory, found ignoring letter case, with
// KESTRA32_REGISTRY unset.
class CregRegistryTest : public testing::Test {
 protected:
  void SetUp() override { WriteBytes(file_, sample_); }

  // The sample's bytes with the keys at the paths removed one after another.
  [[nodiscard]] std::string SampleWithout(std::initializer_list<const char*> paths) const {
    std::string bytes = sample_;
    for (const char* path : paths) {
      const std::optional<creg::Edit> edit = creg::PlanKeyRemoval(bytes, path);
      EXPECT_TRUE(edit) << path;
      if (edit) creg::ApplyEdit(bytes, *edit);
    }
    return bytes;
  }

  TempDir dir_;
  std::string file_ = dir_.File("system.dat");
  ScopedVariable windir_{"WINDIR", dir_.path().c_str()};
  ScopedVariable named_{"KESTRA32_REGISTRY", nullptr};
  const std::string sample_ = ReadBytes(KESTRA32_EXAMPLES "/SYSTEM.DAT");
};

TEST_F(CregRegistryTest, RemovesInPlaceAndGivesAReadOnlyFileItsModeBack) {
  for (const mode_t mode : {0644, 0444, 0400, 0604}) {
    WriteBytes(file_, sample_);
    ASSERT_EQ(chmod(file_.c_str(), mode), 0);
    const ino_t inode = InodeOf(file_);
    EXPECT_TRUE(DeleteBelow("enum", "pci")) << mode;
    EXPECT_FALSE(DeleteBelow("Enum", "PCI")) << "a second time, " << mode;
    EXPECT_EQ(ReadBytes(file_), SampleWithout({R"(Enum\PCI)"})) << mode;
    struct stat info {};
    ASSERT_EQ(stat(file_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode);
    EXPECT_EQ(info.st_ino, inode);
    EXPECT_EQ(NamesIn(dir_.path()), std::vector<std::string>{"system.dat"});
  }
}

TEST_F(CregRegistryTest, AFileNamedByTheVariableComesFirst) {
  const std::string named = dir_.File("OTHER.DAT");
  WriteBytes(named, sample_);
  const ScopedVariable variable("KESTRA32_REGISTRY", named.c_str());
  EXPECT_TRUE(DeleteBelow(R"(System\CurrentControlSet\Services\Class)", "hdc"));
  EXPECT_EQ(ReadBytes(named), SampleWithout({R"(System\CurrentControlSet\Services\Class\hdc)"}));
  EXPECT_EQ(ReadBytes(file_), sample_);
}

// The superuser leaves alone a read-only file of another user's.
TEST_F(CregRegistryTest, AnotherUsersReadOnlyFileIsLeftAlone) {
  if (geteuid() != 0) GTEST_SKIP() << "needs the superuser to give the file away";
  ASSERT_EQ(chown(file_.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(file_.c_str(), 0444), 0);
  EXPECT_FALSE(DeleteBelow("Enum", "PCI"));
  EXPECT_EQ(ReadBytes(file_), sample_);
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
