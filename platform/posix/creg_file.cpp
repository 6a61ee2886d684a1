#include "platform/posix/creg_file.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/posix/ascii.h"

namespace platform::creg {
namespace {

// The file, the key table and each data block start with a header of this size.
constexpr std::size_t kHeaderSize = 0x20;
constexpr std::size_t kTableOffset = kHeaderSize;
constexpr std::size_t kEntrySize = 28;
constexpr std::size_t kNameEntryHeaderSize = 20;
constexpr std::uint32_t kNone = 0xFFFFFFFF;
constexpr std::uint16_t kFreeNameEntry = 0xFFFF;

// Fields of a key table entry.
constexpr std::size_t kParentField = 12;
constexpr std::size_t kFirstSubkeyField = 16;
constexpr std::size_t kNextField = 20;
constexpr std::size_t kNameNumberField = 24;
constexpr std::size_t kBlockNumberField = 26;

std::uint32_t Read32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint16_t Read16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// Where a key's name entry is found: its data block's number and its own.
std::uint32_t NameKey(std::uint32_t block, std::uint32_t number) {
  return block << 16 | number;
}

// The checked structure of a registry file: its key table and the names of its
// keys. Only what is reached from the root key is checked, since unused and
// freed entries lie between the used ones.
class KeyTable {
 public:
  // A name entry's key (NameKey) and its name.
  using Name = std::pair<std::uint32_t, std::string_view>;

  static std::optional<KeyTable> Read(std::string_view bytes) {
    KeyTable table(bytes);
    if (!table.ReadHeaders() || !table.ReadDataBlocks() || !table.SortNames() ||
        !table.WalkFromRoot()) {
      return std::nullopt;
    }
    return table;
  }

  // The file offset of the pointer that leads to the key at path, and the
  // key's own entry; nothing when there is no such key.
  [[nodiscard]] std::optional<std::pair<std::size_t, std::uint32_t>> Find(
      std::string_view path) const {
    std::uint32_t key = root_;
    std::size_t link = 0;
    while (!path.empty()) {
      const std::size_t end = std::min(path.find('\\'), path.size());
      const std::string_view name = path.substr(0, end);
      path.remove_prefix(std::min(end + 1, path.size()));
      link = kTableOffset + key + kFirstSubkeyField;
      key = Read32(bytes_, link);
      while (key != kNone && !posix::EqualIgnoringAsciiCase(NameOf(key), name)) {
        link = kTableOffset + key + kNextField;
        key = Read32(bytes_, link);
      }
      if (key == kNone) return std::nullopt;
    }
    if (link == 0) return std::nullopt;  // the root itself
    return std::make_pair(link, key);
  }

 private:
  explicit KeyTable(std::string_view bytes) : bytes_(bytes) {}

  // Where a checksum might be, the files at hand hold 0; an edit could not
  // keep any other value right.
  bool ReadHeaders() {
    if (bytes_.size() < kTableOffset + kHeaderSize || !HasCregSignature(bytes_) ||
        Read16(bytes_, 4) != 0 || Read16(bytes_, 6) != 1 || Read32(bytes_, 12) != 0 ||
        bytes_.substr(kTableOffset, 4) != "RGKN" || Read32(bytes_, kTableOffset + 20) != 0) {
      return false;
    }
    table_size_ = Read32(bytes_, kTableOffset + 4);
    root_ = Read32(bytes_, kTableOffset + 8);
    return table_size_ >= kHeaderSize && table_size_ <= bytes_.size() - kTableOffset &&
           IsEntry(root_);
  }

  // A pointer to an entry lies inside the key table, after its header, on a
  // four-byte boundary.
  [[nodiscard]] bool IsEntry(std::uint32_t pointer) const {
    return pointer % 4 == 0 && pointer >= kHeaderSize && table_size_ >= kEntrySize &&
           pointer <= table_size_ - kEntrySize;
  }

  // The data blocks lie end to end from the offset the header gives, as many
  // as it counts; each holds name entries end to end.
  bool ReadDataBlocks() {
    std::size_t offset = Read32(bytes_, 8);
    const std::uint16_t count = Read16(bytes_, 16);
    if (offset < kTableOffset + table_size_) return false;
    for (std::uint32_t block = 0; block < count; ++block) {
      if (offset > bytes_.size() || bytes_.size() - offset < kHeaderSize ||
          bytes_.substr(offset, 4) != "RGDB") {
        return false;
      }
      const std::uint32_t size = Read32(bytes_, offset + 4);
      if (size < kHeaderSize || size > bytes_.size() - offset ||
          !ReadNameEntries(block, offset + kHeaderSize, offset + size)) {
        return false;
      }
      offset += size;
    }
    return true;
  }

  bool ReadNameEntries(std::uint32_t block, std::size_t at, std::size_t end) {
    while (at < end) {
      if (end - at < kNameEntryHeaderSize) return false;
      const std::uint32_t size = Read32(bytes_, at);
      const std::uint16_t number = Read16(bytes_, at + 4);
      const std::uint16_t name_size = Read16(bytes_, at + 12);
      if (size < kNameEntryHeaderSize || size > end - at) return false;
      if (number != kFreeNameEntry) {
        if (name_size > size - kNameEntryHeaderSize) return false;
        const std::string_view name = bytes_.substr(at + kNameEntryHeaderSize, name_size);
        names_.emplace_back(NameKey(block, number), name);
      }
      at += size;
    }
    return true;
  }

  // Every entry reached from the root: its pointers lead into the table, its
  // parent is the key it was reached from, its name is found, no entry is
  // reached twice or overlaps another, and no two keys share a name entry or
  // are siblings of one name, which would leave a key behind its namesake.
  bool WalkFromRoot() {
    std::vector<bool> taken(table_size_ / 4);
    std::vector<std::uint32_t> names_used;
    std::vector<std::uint64_t> sibling_names;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> to_visit{{root_, kNone}};
    while (!to_visit.empty()) {
      const auto [entry, parent] = to_visit.back();
      to_visit.pop_back();
      if (!Take(taken, entry)) return false;
      const std::uint32_t first = Field(entry, kFirstSubkeyField);
      const std::uint32_t next = Field(entry, kNextField);
      const bool is_root = entry == root_;
      if ((!is_root && (Field(entry, kParentField) != parent || !HasName(entry))) ||
          (is_root && next != kNone) || (first != kNone && !IsEntry(first)) ||
          (next != kNone && !IsEntry(next))) {
        return false;
      }
      if (!is_root) {
        names_used.push_back(NameKeyOf(entry));
        sibling_names.push_back(SiblingName(parent, entry));
      }
      if (first != kNone) to_visit.emplace_back(first, entry);
      if (next != kNone) to_visit.emplace_back(next, parent);
    }
    return AllDifferent(names_used) && AllDifferent(sibling_names);
  }

  template <typename Number>
  static bool AllDifferent(std::vector<Number>& numbers) {
    std::sort(numbers.begin(), numbers.end());
    return std::adjacent_find(numbers.begin(), numbers.end()) == numbers.end();
  }

  // Sorts the names by their keys, for look-ups, and tells whether no two
  // name entries of one block have one number.
  bool SortNames() {
    const auto by_key = [](const Name& a, const Name& b) { return a.first < b.first; };
    std::sort(names_.begin(), names_.end(), by_key);
    return std::adjacent_find(names_.begin(), names_.end(), [](const Name& a, const Name& b) {
             return a.first == b.first;
           }) == names_.end();
  }

  static bool Take(std::vector<bool>& taken, std::uint32_t entry) {
    for (std::size_t word = entry / 4; word < (entry + kEntrySize) / 4; ++word) {
      if (taken[word]) return false;
      taken[word] = true;
    }
    return true;
  }

  [[nodiscard]] std::uint32_t NameKeyOf(std::uint32_t entry) const {
    return NameKey(Read16(bytes_, kTableOffset + entry + kBlockNumberField),
                   Read16(bytes_, kTableOffset + entry + kNameNumberField));
  }

  [[nodiscard]] const std::pair<std::uint32_t, std::string_view>* FindName(
      std::uint32_t entry) const {
    const std::uint32_t key = NameKeyOf(entry);
    const auto found = std::lower_bound(names_.begin(), names_.end(), key,
                                        [](const std::pair<std::uint32_t, std::string_view>& name,
                                           std::uint32_t wanted) { return name.first < wanted; });
    return found != names_.end() && found->first == key ? &*found : nullptr;
  }

  [[nodiscard]] bool HasName(std::uint32_t entry) const { return FindName(entry) != nullptr; }

  [[nodiscard]] std::string_view NameOf(std::uint32_t entry) const {
    return FindName(entry)->second;
  }

  // A 64-bit FNV-1a hash of the parent and the name in lower case. Two
  // different names that hash alike, which is next to impossible, only make
  // the file refused.
  [[nodiscard]] std::uint64_t SiblingName(std::uint32_t parent, std::uint32_t entry) const {
    std::uint64_t hash = 0xCBF29CE484222325U ^ parent;
    for (const char c : NameOf(entry)) {
      hash = (hash ^ static_cast<unsigned char>(posix::LowerAscii(c))) * 0x100000001B3U;
    }
    return hash;
  }

  [[nodiscard]] std::uint32_t Field(std::uint32_t entry, std::size_t field) const {
    return Read32(bytes_, kTableOffset + entry + field);
  }

  std::string_view bytes_;
  std::uint32_t table_size_ = 0;
  std::uint32_t root_ = 0;
  std::vector<Name> names_;
};

}  // namespace

bool HasCregSignature(std::string_view bytes) {
  return bytes.substr(0, 4) == "CREG";
}

bool KeyExists(std::string_view bytes, std::string_view key_path) {
  const std::optional<KeyTable> table = KeyTable::Read(bytes);
  return table && table->Find(key_path);
}

std::optional<Unlink> PlanUnlink(std::string_view bytes, std::string_view key_path) {
  const std::optional<KeyTable> table = KeyTable::Read(bytes);
  if (!table) return std::nullopt;
  const auto found = table->Find(key_path);
  if (!found) return std::nullopt;
  // The key's own next sibling, as the file holds it.
  const std::size_t next = kTableOffset + found->second + kNextField;
  return Unlink{found->first, {bytes[next], bytes[next + 1], bytes[next + 2], bytes[next + 3]}};
}

void ApplyUnlink(std::string& bytes, const Unlink& unlink) {
  bytes.replace(unlink.offset, unlink.bytes.size(), unlink.bytes.data(), unlink.bytes.size());
}

}  // namespace platform::creg
