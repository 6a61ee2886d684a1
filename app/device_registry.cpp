#include "app/device_registry.h"

#include <array>

#include "platform/platform.h"

namespace {

// A key below the local-machine root and the subkeys deleted from it, in
// order, each with everything below it.
struct KeyReset {
  const char* key_path;
  std::array<const char*, 2> subkeys;  // a null entry is unused
};

constexpr std::array<KeyReset, 2> kKeyResets{{
    {R"(System\CurrentControlSet\Services\Class)", {"hdc", nullptr}},
    {"Enum", {"MF", "PCI"}},
}};

}  // namespace

int ResetDeviceRegistry() {
  platform::RegistryKey key = nullptr;
  for (const KeyReset& reset : kKeyResets) {
    if (!platform::OpenMachineKey(reset.key_path, key)) {
      continue;
    }
    for (const char* subkey : reset.subkeys) {
      if (subkey != nullptr) {
        platform::DeleteKeyTree(key, subkey);
      }
    }
    platform::CloseKey(key);
  }
  return 0;
}
