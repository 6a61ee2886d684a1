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

// In slot order: the three INF files, then the registry file.
const std::vector<std::string> kFiles = {"WINDOWS/INF/MSHDC.INF", "WINDOWS/INF/MACHINE.INF",
                                         "WINDOWS/INF/USB.INF", "SYSTEM.REG"};
const char* const kDeletedKeys[] = {
    R"(HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\hdc)",
    R"(HKEY_LOCAL_MACHINE\Enum\MF)",
    R"(HKEY_LOCAL_MACHINE\Enum\PCI)",
};

using Files = std::vector<std::string>;

class FaultInjectionTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& file : kFiles) {
      old_.push_back(
          ReadBytes(std::string(KESTRA32_EXAMPLES) + "/" + file.substr(file.find('/') + 1)));
    }
    setenv("WINDIR", dir_.File("WINDOWS").c_str(), 1);
    setenv("KESTRA32_REGISTRY", dir_.File("SYSTEM.REG").c_str(), 1);
    Restore();
    Run();
    final_ = Current();
    for (std::size_t i = 0; i < kFiles.size(); ++i) ASSERT_NE(final_[i], old_[i]) << kFiles[i];
    Restore();
  }
  void TearDown() override {
    unsetenv("WINDIR");
    unsetenv("KESTRA32_REGISTRY");
  }

  void Restore() {
    for (std::size_t i = 0; i < kFiles.size(); ++i) WriteBytes(dir_.File(kFiles[i]), old_[i]);
  }
  static void Run() {
    std::string tail;
    RunSetup(tail.data());
  }
  [[nodiscard]] Files Current() const {
    Files files;
    for (const std::string& file : kFiles) files.push_back(ReadBytes(dir_.File(file)));
    return files;
  }

  // The registry file is rewritten once for each key, so a fault leaves it
  // with some of the keys deleted whole.
  [[nodiscard]] std::set<std::string> RegistryStates() const {
    std::set<std::string> states;
    for (unsigned deleted = 0; deleted < 8; ++deleted) {
      std::string text = old_.back();
      for (unsigned key = 0; key < 3; ++key) {
        if ((deleted & (1U << key)) != 0) platform::regedit::RemoveKeyTree(text, kDeletedKeys[key]);
      }
      states.insert(text);
    }
    return states;
  }

  // Every file holds its old or its new bytes, all slots but at most the
  // faulted one finished, and nothing else is in the folders.
  void ExpectSoundFiles(const std::string& fault) const {
    const Files files = Current();
    int unfinished = 0;
    for (std::size_t i = 0; i + 1 < kFiles.size(); ++i) {
      EXPECT_TRUE(files[i] == old_[i] || files[i] == final_[i]) << kFiles[i] << " after " << fault;
      unfinished += files[i] != final_[i] ? 1 : 0;
    }
    EXPECT_EQ(RegistryStates().count(files.back()), 1U) << "registry after " << fault;
    unfinished += files.back() != final_.back() ? 1 : 0;
    EXPECT_LE(unfinished, 1) << "a slot after the faulted one did not run, after " << fault;
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
      if (entry.is_regular_file())
        found.insert(entry.path().lexically_relative(dir_.path()).string());
    }
    EXPECT_EQ(found, std::set<std::string>(kFiles.begin(), kFiles.end())) << "after " << fault;
  }

  void ExpectUnfaultedRunFinishes(const std::string& fault) const {
    platform::fault::FailFileOperation(0);
    Run();
    EXPECT_EQ(Current(), final_) << "rerun after " << fault;
  }

  TempDir dir_;
  Files old_;
  Files final_;
};

TEST_F(FaultInjectionTest, EveryFailingFileOperationLeavesOldOrNewFiles) {
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

TEST_F(FaultInjectionTest, EveryFailingAllocationLeavesOldOrNewFilesAndLaterSlotsRun) {
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

}  // namespace
