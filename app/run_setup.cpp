#include "app/run_setup.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "app/device_registry.h"
#include "app/help_text.h"
#include "patches/patches.h"
#include "platform/platform.h"

namespace {

constexpr const char* kHelpSwitches[] = {"/?", "-?", "/H", "-H"};
constexpr const char kInfFolder[] = "\\INF";
constexpr const char kLongestFileName[] = "\\MACHINE.INF";

int ResetRegistrySlot(const char* /*path*/) {
  return ResetDeviceRegistry();
}

struct RunSlot {
  const char* file_name;  // written after "\INF"; null when the slot takes no path
  int (*run)(const char* path);
};

constexpr RunSlot kRunSequence[] = {
    {"\\MSHDC.INF", PatchMshdcInf},
    {kLongestFileName, PatchMachineInf},
    {"\\USB.INF", PatchUsbInf},
    {nullptr, ResetRegistrySlot},
};

void UpperCaseAscii(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
  }
}

bool AsksForHelp(const char* tail) {
  return std::any_of(
      std::begin(kHelpSwitches), std::end(kHelpSwitches),
      [tail](const char* help_switch) { return std::strstr(tail, help_switch) != nullptr; });
}

// Fills path with the Windows directory and "\INF" and returns where file
// names go, or null when the directory cannot be had or leaves no room for
// the longest file name or for the new file that a save makes beside it: then
// nothing is touched, rather than the registry reset with INF files unsaved.
char* StartInfPath(char (&path)[platform::kMaxPath]) {
  if (!platform::WindowsDirectory(path, sizeof path)) return nullptr;
  const std::size_t directory_length = std::strlen(path);
  const std::size_t name_room = std::max(sizeof kLongestFileName, platform::kNewFileNameRoom);
  if (directory_length + std::strlen(kInfFolder) + name_room > sizeof path) return nullptr;
  char* inf_folder = path + directory_length;
  std::memcpy(inf_folder, kInfFolder, sizeof kInfFolder);
  return inf_folder + std::strlen(kInfFolder);
}

// Running out of memory ends only the slot: its document is destroyed
// unwritten, and the next slot runs all the same. Built without exceptions
// (for Windows), running out of memory ends the run instead, as cleanly.
void RunSlotSafely(const RunSlot& slot, const char* path) {
#if __cpp_exceptions
  try {
    slot.run(path);
  } catch (const std::bad_alloc&) {
  }
#else
  slot.run(path);
#endif
}

}  // namespace

int RunSetup(char* tail) {
  UpperCaseAscii(tail);
  if (AsksForHelp(tail)) {
    platform::ShowHelpBox(kHelpText, kHelpCaption);
    return 0;
  }
  char path[platform::kMaxPath] = {};
  char* file_name = StartInfPath(path);
  if (file_name == nullptr) return 0;
  for (const RunSlot& slot : kRunSequence) {
    if (slot.file_name != nullptr) {
      std::memcpy(file_name, slot.file_name, std::strlen(slot.file_name) + 1);
    }
    RunSlotSafely(slot, slot.file_name != nullptr ? path : nullptr);
  }
  return 0;
}
