// Registry keys below HKEY_LOCAL_MACHINE, with only calls that Windows 95 has.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

struct RegistryKeyState {
  HKEY handle;
};

namespace {

constexpr DWORD kKeyNameSize = 256;

// Windows 95 deletes a key with everything below it; the NT family refuses a
// key that has subkeys, so those go first, deepest first.
bool DeleteTree(HKEY parent, const char* name) {
  if (RegDeleteKeyA(parent, name) == ERROR_SUCCESS) return true;
  HKEY key = nullptr;
  if (RegOpenKeyA(parent, name, &key) != ERROR_SUCCESS) return false;
  char subkey[kKeyNameSize];
  // A subkey that cannot be deleted stays at index 0, so the loop stops there.
  while (RegEnumKeyA(key, 0, subkey, kKeyNameSize) == ERROR_SUCCESS && DeleteTree(key, subkey)) {
  }
  RegCloseKey(key);
  return RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}

}  // namespace

bool OpenMachineKey(const char* path, RegistryKey& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &handle) != ERROR_SUCCESS) return false;
  key = new RegistryKeyState{handle};
  return true;
}

bool DeleteKeyTree(RegistryKey key, const char* subkey) {
  return DeleteTree(key->handle, subkey);
}

void CloseKey(RegistryKey key) {
  RegCloseKey(key->handle);
  delete key;
}

}  // namespace platform
