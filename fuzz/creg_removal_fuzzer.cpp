// Any bytes taken as a Windows 9x registry file, from which the three keys the
// program deletes are removed in turn. A removal starts with the write of the
// pointer that led to the key, which then leads to the key's next sibling,
// synced with the key table's checksum if it keeps one; after that and every
// later sync the file passes every check, the key is gone and its parent
// stays, and a second plan finds nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "creg/creg_file.h"
#include "fuzz/require.h"

namespace {

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

std::string UnlinkViolation(std::string_view before, const creg::Write& unlink) {
  const std::uint64_t table_end =
      std::min<std::uint64_t>(kTable + Read32(before, kTable + 4), before.size());
  const std::uint64_t at = unlink.offset;
  if (unlink.bytes.size() != 4) return "the unlink is no pointer";
  if (at % 4 != 0 || at < 2 * kTable || at + 4 > table_end) return "the unlink is no entry's field";
  const std::uint64_t key = kTable + Read32(before, at);
  if (key % 4 != 0 || key < 2 * kTable || key + kEntrySize > table_end ||
      before.compare(key + kNextField, 4, unlink.bytes) != 0) {
    return "the unlink does not lead past the key to its next sibling";
  }
  return "";
}

std::string GoneViolation(std::string_view bytes, std::string_view path) {
  if (creg::KeyExists(bytes, path)) return "the key is still there";
  if (!creg::KeyExists(bytes, path.substr(0, path.rfind('\\')))) return "the parent is gone";
  return "";
}

std::string RemovalViolation(std::string& bytes, std::string_view path) {
  const std::string before = bytes;
  const std::optional<creg::Edit> edit = creg::PlanKeyRemoval(before, path);
  if (!edit) return creg::KeyExists(before, path) ? "no plan for a key that exists" : "";
  if (!creg::KeyExists(before, path)) return "a plan for a key that does not exist";
  if (std::string violation = UnlinkViolation(before, edit->front()); !violation.empty()) {
    return violation;
  }
  if (!edit->front().sync_after && (edit->size() < 2 || !(*edit)[1].sync_after)) {
    return "the unlink and its checksum are not synced first";
  }
  for (const creg::Write& write : *edit) {
    if (write.offset > bytes.size() || write.bytes.size() > bytes.size() - write.offset) {
      return "a write past the end of the file";
    }
    creg::ApplyEdit(bytes, {write});
    if (!write.sync_after) continue;
    if (std::string violation = GoneViolation(bytes, path); !violation.empty()) return violation;
  }
  if (!edit->back().sync_after) return "the edit ends unsynced";
  return creg::PlanKeyRemoval(bytes, path) ? "a second plan for the removed key" : "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const std::string_view path :
       {"System\\CurrentControlSet\\Services\\Class\\hdc", "Enum\\MF", "Enum\\PCI"}) {
    const std::string violation = RemovalViolation(bytes, path);
    Require(violation.empty() ? violation : std::string(path) + ": " + violation);
  }
  return 0;
}
