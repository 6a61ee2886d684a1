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

// Closes an open key on every way out, also when running out of memory ends a
// deletion early.
class KeyCloser {
 public:
  explicit KeyCloser(platform::RegistryKey key) : key_(key) {}
  ~KeyCloser() { platform::CloseKey(key_); }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  platform::RegistryKey key_;
};

}  // namespace

int ResetDeviceRegistry() {
  platform::RegistryKey key = nullptr;
  for (const KeyReset& reset : kKeyResets) {
    if (!platform::OpenMachineKey(reset.key_path, key)) {
      continue;
    }
    const KeyCloser closer(key);
    for (const char* subkey : reset.subkeys) {
      if (subkey != nullptr) {
        platform::DeleteKeyTree(key, subkey);
      }
    }
  }
  return 0;
}
