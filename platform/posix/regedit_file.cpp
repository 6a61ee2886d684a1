#include "platform/posix/regedit_file.h"

#include <cstddef>
#include <optional>
#include <utility>

#include "platform/posix/ascii.h"

namespace platform::regedit {
namespace {

constexpr std::string_view kRegeditHeader = "REGEDIT4";
constexpr std::string_view kTrailingWhiteSpace = " \t\n\v\f\r";

// The line that starts at begin, its LF included when it has one.
std::string_view LineAt(std::string_view text, std::size_t begin) {
  const std::size_t line_feed = text.find('\n', begin);
  const std::size_t end = line_feed == std::string_view::npos ? text.size() : line_feed + 1;
  return text.substr(begin, end - begin);
}

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') {
    line.remove_suffix(1);
  }
  if (!line.empty() && line.back() == '\r') {
    line.remove_suffix(1);
  }
  return line;
}

// The key path of a header line: the text between its '[' and its last ']',
// or all of the rest when it has no ']'. Nothing when line is no header.
std::optional<std::string_view> HeaderPath(std::string_view line) {
  if (line.empty() || line.front() != '[') {
    return std::nullopt;
  }
  const std::string_view rest = WithoutLineEnd(line).substr(1);
  return rest.substr(0, rest.rfind(']'));
}

// True when path is key_path itself or a path below it; a sibling whose name
// merely begins with the same letters is neither.
bool IsAtOrBelow(std::string_view path, std::string_view key_path) {
  if (path.size() < key_path.size()) {
    return false;
  }
  if (!posix::EqualIgnoringAsciiCase(path.substr(0, key_path.size()), key_path)) {
    return false;
  }
  return path.size() == key_path.size() || path[key_path.size()] == '\\';
}

}  // namespace

bool HasRegeditHeader(std::string_view text) {
  std::string_view first_line = text.substr(0, text.find('\n'));
  const std::size_t last_kept = first_line.find_last_not_of(kTrailingWhiteSpace);
  first_line = first_line.substr(0, last_kept == std::string_view::npos ? 0 : last_kept + 1);
  return first_line == kRegeditHeader;
}

std::string SubkeyPath(std::string_view parent, std::string_view name) {
  std::string path(parent);
  if (name.empty()) {
    return path;
  }
  path += '\\';
  path += name;
  return path;
}

bool KeyExists(std::string_view text, std::string_view key_path) {
  for (std::size_t begin = 0; begin < text.size();) {
    const std::string_view line = LineAt(text, begin);
    const std::optional<std::string_view> path = HeaderPath(line);
    if (path && IsAtOrBelow(*path, key_path)) {
      return true;
    }
    begin += line.size();
  }
  return false;
}

bool RemoveKeyTree(std::string& text, std::string_view key_path) {
  std::string kept;
  bool removing = false;
  bool removed_any = false;
  for (std::size_t begin = 0; begin < text.size();) {
    const std::string_view line = LineAt(text, begin);
    if (const std::optional<std::string_view> path = HeaderPath(line)) {
      removing = IsAtOrBelow(*path, key_path);
      removed_any = removed_any || removing;
    }
    if (!removing) {
      kept += line;
    }
    begin += line.size();
  }
  if (removed_any) {
    text = std::move(kept);
  }
  return removed_any;
}

}  // namespace platform::regedit
