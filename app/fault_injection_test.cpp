// Whole runs in which the n-th file operation fails, or the n-th allocation
// throws, for n = 1, 2, ... until a run meets no fault. After each one every
// file holds a state of its own, never a mix, no temporary file is left, and
// an unfaulted run then reaches the files of a run that never faulted.
#include "platform/fault_injection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "app/run_setup.h"
#include "creg/creg_file.h"
#include "platform/posix/regedit_file.h"
#include "test_support/temp_dir.h"

namespace {

long allocation_to_fail = 0;  // 0: none
long allocations_made = 0;

void* Allocate(std::size_t size) {
  if (allocation_to_fail != 0 && ++allocations_made == allocation_to_fail) throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t /*size*/) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t /*size*/) noexcept {
  std::free(memory);
}

namespace {

// In slot order: the three INF files, then the registry file, which is a
// REGEDIT4 export named by KESTRA32_REGISTRY or the Windows directory's
// SYSTEM.DAT.
const std::vector<std::string> kInfFiles = {"WINDOWS/INF/MSHDC.INF", "WINDOWS/INF/MACHINE.INF",
                                            "WINDOWS/INF/USB.INF"};
const char* const kDeletedKeys[] = {
    R"(System\CurrentControlSet\Services\Class\hdc)",
    R"(Enum\MF)",
    R"(Enum\PCI)",
};

using Files = std::vector<std::string>;

class FaultInjectionTest : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    files_ = kInfFiles;
    files_.emplace_back(GetParam());
    for (const std::string& file : files_) {
      old_.push_back(
          ReadBytes(std::string(KESTRA32_EXAMPLES) + "/" + file.substr(file.find('/') + 1)));
    }
    setenv("WINDIR", dir_.File("WINDOWS").c_str(), 1);
    if (!InCregFile()) setenv("KESTRA32_REGISTRY", dir_.File(files_.back()).c_str(), 1);
    Restore();
    Run();
    final_ = Current();
    registry_states_ = RegistryStates(old_.back());
    for (std::size_t i = 0; i < files_.size(); ++i) ASSERT_NE(final_[i], old_[i]) << files_[i];
    Restore();
  }
  void TearDown() override {
    unsetenv("WINDIR");
    unsetenv("KESTRA32_REGISTRY");
  }

  void Restore() {
    for (std::size_t i = 0; i < files_.size(); ++i) WriteBytes(dir_.File(files_[i]), old_[i]);
  }
  static void Run() {
    std::string tail;
    RunSetup(tail.data());
  }
  [[nodiscard]] Files Current() const {
    Files files;
    for (const std::string& file : files_) files.push_back(ReadBytes(dir_.File(file)));
    return files;
  }

  [[nodiscard]] static bool InCregFile() {
    return std::string(GetParam()).find(".DAT") != std::string::npos;
  }

  // A REGEDIT4 export is rewritten once for each key, so a fault leaves it
  // with some of the keys deleted whole. A Windows 9x registry file is edited
  // by several writes for each key: a fault may also stop one key's edit after
  // any of its writes, and the keys after it are then removed from that state.
  [[nodiscard]] static std::set<std::string> RegistryStates(const std::string& old) {
    std::set<std::string> states;
    for (unsigned deleted = 0; deleted < 8; ++deleted) states.insert(WithKeysDeleted(old, deleted));
    for (unsigned stopped = 0; InCregFile() && stopped < 3; ++stopped) {
      const std::string before = WithKeysDeleted(old, (1U << stopped) - 1);
      const auto edit = creg::PlanKeyRemoval(before, kDeletedKeys[stopped]);
      for (long written = 1; edit && written < static_cast<long>(edit->size()); ++written) {
        std::string partial = before;
        creg::ApplyEdit(partial, {edit->begin(), edit->begin() + written});
        states.insert(partial);
        states.insert(WithKeysDeleted(partial, 7 & ~((2U << stopped) - 1)));
      }
    }
    return states;
  }

  // The registry file with the keys whose bits are set in mask deleted in the
  // order of a run.
  [[nodiscard]] static std::string WithKeysDeleted(std::string bytes, unsigned mask) {
    for (unsigned key = 0; key < 3; ++key) {
      if ((mask & (1U << key)) == 0) continue;
      if (!InCregFile()) {
        platform::regedit::RemoveKeyTree(
            bytes, platform::regedit::SubkeyPath("HKEY_LOCAL_MACHINE", kDeletedKeys[key]));
      } else if (const auto edit = creg::PlanKeyRemoval(bytes, kDeletedKeys[key])) {
        creg::ApplyEdit(bytes, *edit);
      }
    }
    return bytes;
  }

  void ExpectSoundFiles(const std::string& fault) const {
    const Files files = Current();
    int unfinished = 0;
    for (std::size_t i = 0; i + 1 < files_.size(); ++i) {
      EXPECT_TRUE(files[i] == old_[i] || files[i] == final_[i]) << files_[i] << " after " << fault;
      unfinished += files[i] != final_[i] ? 1 : 0;
    }
    EXPECT_EQ(registry_states_.count(files.back()), 1U) << "registry after " << fault;
    unfinished += files.back() != final_.back() ? 1 : 0;
    EXPECT_LE(unfinished, 1) << "a slot after the faulted one did not run, after " << fault;
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
      if (entry.is_regular_file())
        found.insert(entry.path().lexically_relative(dir_.path()).string());
    }
    EXPECT_EQ(found, std::set<std::string>(files_.begin(), files_.end())) << "after " << fault;
  }

  void ExpectUnfaultedRunFinishes(const std::string& fault) const {
    Files expected = final_;
    expected.back() = WithKeysDeleted(Current().back(), 7);
    platform::fault::FailFileOperation(0);
    Run();
    EXPECT_EQ(Current(), expected) << "rerun after " << fault;
  }

  TempDir dir_;
  Files files_;
  Files old_;
  Files final_;
  std::set<std::string> registry_states_;
};

TEST_P(FaultInjectionTest, EveryFailingFileOperationLeavesOldOrNewFiles) {
  long faults = 0;
  for (long n = 1;; ++n) {
    Restore();
    platform::fault::FailFileOperation(n);
    Run();
    const bool hit = platform::fault::FileOperations() >= n;
    platform::fault::FailFileOperation(0);
    const std::string fault = "file operation " + std::to_string(n);
    ExpectSoundFiles(fault);
    ExpectUnfaultedRunFinishes(fault);
    if (!hit) break;
    ++faults;
  }
  std::cout << "file operations failed: " << faults << "\n";
  EXPECT_GT(faults, 20);
}

TEST_P(FaultInjectionTest, EveryFailingAllocationLeavesOldOrNewFilesAndLaterSlotsRun) {
  long faults = 0;
  for (long n = 1;; ++n) {
    Restore();
    allocations_made = 0;
    allocation_to_fail = n;
    Run();  // running out of memory never escapes the run
    const bool hit = allocations_made >= n;
    allocation_to_fail = 0;
    const std::string fault = "allocation " + std::to_string(n);
    ExpectSoundFiles(fault);
    ExpectUnfaultedRunFinishes(fault);
    if (!hit) break;
    ++faults;
  }
  std::cout << "allocations failed: " << faults << "\n";
  EXPECT_GT(faults, 20);
}

INSTANTIATE_TEST_SUITE_P(Registries, FaultInjectionTest,
                         testing::Values("SYSTEM.REG", "WINDOWS/SYSTEM.DAT"));

}  // namespace
