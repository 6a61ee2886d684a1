// The registry below the local-machine root, kept in a REGEDIT4 text file
// named by KESTRA32_REGISTRY. An open key is only its path: the file is read
// again for every deletion and rewritten only when something was removed.
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "platform/platform.h"
#include "platform/posix/regedit_file.h"

struct platform::RegistryKeyState {
  std::string path;
};

namespace platform {
namespace {

constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";

const char* RegistryFilePath() {
  return std::getenv("KESTRA32_REGISTRY");
}

bool ReadRegistry(const char* file_path, std::string& text) {
  return file_path != nullptr && ReadWholeFile(file_path, text) && regedit::HasRegeditHeader(text);
}

bool RewriteRegistry(const char* file_path, const std::string& text) {
  ReplacementFile file(file_path);
  return file.IsOpen() && file.Write(text) && file.Commit();
}

}  // namespace

bool OpenMachineKey(const char* path, RegistryKey& key) {
  std::string text;
  if (path == nullptr || !ReadRegistry(RegistryFilePath(), text)) {
    return false;
  }
  std::string key_path = regedit::SubkeyPath(kRootName, path);
  if (!regedit::KeyExists(text, key_path)) {
    return false;
  }
  key = new RegistryKeyState{std::move(key_path)};
  return true;
}

bool DeleteKeyTree(RegistryKey key, const char* subkey) {
  const char* file_path = RegistryFilePath();
  std::string text;
  // An empty name would be the open key itself, which stays.
  if (key == nullptr || subkey == nullptr || *subkey == '\0') {
    return false;
  }
  if (!ReadRegistry(file_path, text)) {
    return false;
  }
  if (!regedit::RemoveKeyTree(text, regedit::SubkeyPath(key->path, subkey))) {
    return false;
  }
  return RewriteRegistry(file_path, text);
}

void CloseKey(RegistryKey key) {
  delete key;
}

}  // namespace platform
