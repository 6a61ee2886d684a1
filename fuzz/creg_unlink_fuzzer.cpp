// Any bytes taken as a Windows 9x registry file, from which the three keys the
// program deletes are unlinked in turn. An unlink rewrites one pointer of the
// key table, the one that led to the key, with the key's own next sibling; the
// key is gone afterwards, its parent stays, and a second plan finds nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/require.h"
#include "platform/posix/creg_file.h"

namespace {

namespace creg = platform::creg;

// The key table's offset in the file, which its pointers count from, and the
// size of its header and entries; an entry's next sibling is its sixth field.
constexpr std::uint64_t kTable = 0x20;
constexpr std::uint64_t kEntrySize = 28;
constexpr std::uint64_t kNextField = 20;

std::uint64_t Read32(std::string_view bytes, std::uint64_t at) {
  if (at + 4 > bytes.size()) return 0;
  std::uint64_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::string UnlinkViolation(std::string& bytes, std::string_view path) {
  const std::string before = bytes;
  const std::optional<creg::Unlink> unlink = creg::PlanUnlink(before, path);
  if (!unlink) return creg::KeyExists(before, path) ? "no plan for a key that exists" : "";
  if (!creg::KeyExists(before, path)) return "a plan for a key that does not exist";
  const std::uint64_t table_end =
      std::min<std::uint64_t>(kTable + Read32(before, kTable + 4), before.size());
  const std::uint64_t at = unlink->offset;
  if (at % 4 != 0 || at < 2 * kTable || at + 4 > table_end) return "the edit is no entry's field";
  const std::uint64_t key = kTable + Read32(before, at);
  if (key % 4 != 0 || key < 2 * kTable || key + kEntrySize > table_end ||
      before.compare(key + kNextField, 4, unlink->bytes.data(), 4) != 0) {
    return "the edit does not lead past the key to its next sibling";
  }
  creg::ApplyUnlink(bytes, *unlink);
  std::string expected = before;
  expected.replace(at, 4, unlink->bytes.data(), 4);
  if (bytes != expected) return "the edit changed more than its four bytes";
  if (creg::KeyExists(bytes, path)) return "the key is still there";
  if (!creg::KeyExists(bytes, path.substr(0, path.rfind('\\')))) return "the parent is gone";
  return creg::PlanUnlink(bytes, path) ? "a second plan for the removed key" : "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const std::string_view path :
       {"System\\CurrentControlSet\\Services\\Class\\hdc", "Enum\\MF", "Enum\\PCI"}) {
    const std::string violation = UnlinkViolation(bytes, path);
    Require(violation.empty() ? violation : std::string(path) + ": " + violation);
  }
  return 0;
}
