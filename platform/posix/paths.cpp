#include "platform/posix/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/posix/ascii.h"
#include "platform/posix/file_calls.h"

namespace platform::posix {
namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

std::string Join(const std::string& folder, std::string_view name) {
  if (folder.empty()) {
    return std::string(name);
  }
  std::string joined = folder;
  if (joined.back() != '/') {
    joined += '/';
  }
  joined += name;
  return joined;
}

// The first name in byte order of the folder that equals name ignoring case.
std::optional<std::string> FindIgnoringCase(const std::string& folder, std::string_view name) {
  DIR* listing = OpenFolder(folder.empty() ? "." : folder.c_str());
  if (listing == nullptr) {
    return std::nullopt;
  }
  std::optional<std::string> best;
  while (const dirent* entry = readdir(listing)) {
    const std::string_view candidate = entry->d_name;
    if (EqualIgnoringAsciiCase(candidate, name) && (!best || candidate < *best)) {
      best = std::string(candidate);
    }
  }
  closedir(listing);
  return best;
}

}  // namespace

std::string ResolvePath(const char* path) {
  std::string text = path;
  std::replace(text.begin(), text.end(), '\\', '/');
  std::string resolved = text.empty() || text.front() != '/' ? "" : "/";
  bool searching = true;
  std::string_view rest = text;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('/'), rest.size());
    const std::string_view component = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (component.empty()) {
      continue;
    }
    std::string next = Join(resolved, component);
    if (searching && !Exists(next)) {
      const std::optional<std::string> match = FindIgnoringCase(resolved, component);
      searching = match.has_value();
      if (match) {
        next = Join(resolved, *match);
      }
    }
    resolved = std::move(next);
  }
  return resolved;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace platform::posix
