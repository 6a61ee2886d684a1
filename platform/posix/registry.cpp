// The registry below the local-machine root, kept in a file: the one named by
// KESTRA32_REGISTRY, else SYSTEM.DAT in the Windows directory. Its first bytes
// tell its kind: a Windows 9x registry file ("CREG") is edited in place, a
// REGEDIT4 text export is rewritten less the sections removed. An open key is
// its path and the kind of its file, which is read again for every deletion.
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "creg/creg_file.h"
#include "platform/platform.h"
#include "platform/posix/creg_edit.h"
#include "platform/posix/regedit_file.h"

struct platform::RegistryKeyState {
  std::string path;  // below the root
  bool in_creg_file;
};

namespace platform {
namespace {

constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";

std::string RegistryFilePath() {
  if (const char* named = std::getenv("KESTRA32_REGISTRY")) {
    return named;
  }
  char windows[kMaxPath];
  return WindowsDirectory(windows, sizeof windows) ? std::string(windows) + "\\SYSTEM.DAT" : "";
}

bool RewriteRegistry(const std::string& file_path, const std::string& text) {
  ReplacementFile file(file_path.c_str());
  return file.IsOpen() && file.Write(text) && file.Commit();
}

}  // namespace

bool OpenMachineKey(const char* path, RegistryKey& key) {
  std::string bytes;
  if (path == nullptr || !ReadWholeFile(RegistryFilePath().c_str(), bytes)) {
    return false;
  }
  const bool in_creg_file = creg::HasCregSignature(bytes);
  const bool exists = in_creg_file
                          ? creg::KeyExists(bytes, path)
                          : regedit::HasRegeditHeader(bytes) &&
                                regedit::KeyExists(bytes, regedit::SubkeyPath(kRootName, path));
  if (!exists) {
    return false;
  }
  key = new RegistryKeyState{path, in_creg_file};
  return true;
}

bool DeleteKeyTree(RegistryKey key, const char* subkey) {
  // An empty name would be the open key itself, which stays.
  if (key == nullptr || subkey == nullptr || *subkey == '\0') {
    return false;
  }
  const std::string file_path = RegistryFilePath();
  const std::string key_path = regedit::SubkeyPath(key->path, subkey);
  if (key->in_creg_file) {
    return posix::RemoveKeyInPlace(file_path.c_str(), key_path);
  }
  std::string bytes;
  return ReadWholeFile(file_path.c_str(), bytes) && regedit::HasRegeditHeader(bytes) &&
         regedit::RemoveKeyTree(bytes, regedit::SubkeyPath(kRootName, key_path)) &&
         RewriteRegistry(file_path, bytes);
}

void CloseKey(RegistryKey key) {
  delete key;
}

}  // namespace platform
