#include "creg/registry_file.h"

#include <algorithm>
#include <utility>

#include "inf/text.h"

namespace creg {
namespace {

bool LessIgnoringCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(FoldAscii(x)) < static_cast<unsigned char>(FoldAscii(y));
  });
}

// A flagged area whose dwords do not sum to 0 has been damaged.
bool ChecksumHolds(std::string_view bytes, const Area& area) {
  return !area.checksummed || (area.size % 4 == 0 && Sum(bytes, area) == 0);
}

// Marks the dwords of [offset, offset + size) as taken; false when one was.
bool Take(std::vector<bool>& taken, std::size_t offset, std::size_t size) {
  for (std::size_t word = offset / 4; word < (offset + size) / 4; ++word) {
    if (taken[word]) return false;
    taken[word] = true;
  }
  return true;
}

}  // namespace

std::optional<RegistryFile> RegistryFile::Read(std::string_view bytes) {
  RegistryFile file(bytes);
  std::vector<bool> taken;
  if (!file.ReadHeaders() || !file.ReadDataBlocks() || !file.SortRecords()) return std::nullopt;
  taken.resize(file.table_.size / 4);
  if (!file.WalkFromRoot(taken) || !file.ReadFreeEntries(taken)) return std::nullopt;
  return file;
}

bool RegistryFile::ReadHeaders() {
  if (bytes_.size() < kTableOffset + kHeaderSize || bytes_.substr(0, 4) != "CREG" ||
      Read16(bytes_, 4) != 0 || Read16(bytes_, 6) != 1 ||
      bytes_.substr(kTableOffset, 4) != "RGKN") {
    return false;
  }
  const Area header{0, kHeaderSize, kFileChecksumField,
                    (Read16(bytes_, kFileFlagsField) & kChecksumValid) != 0};
  table_ = {kTableOffset, Read32(bytes_, kTableOffset + kTableSizeField),
            kTableOffset + kTableChecksumField,
            (Read32(bytes_, kTableOffset + kTableFlagsField) & kChecksumValid) != 0};
  root_ = Read32(bytes_, kTableOffset + kRootField);
  return ChecksumHolds(bytes_, header) && table_.size >= kHeaderSize &&
         table_.size <= bytes_.size() - kTableOffset && IsEntry(root_) &&
         ChecksumHolds(bytes_, table_);
}

// A pointer to an entry lies inside the key table, after its header, on a
// four-byte boundary.
bool RegistryFile::IsEntry(std::uint32_t pointer) const {
  return pointer % 4 == 0 && pointer >= kHeaderSize && table_.size >= kEntrySize &&
         pointer <= table_.size - kEntrySize;
}

// The data blocks lie end to end from the offset the header gives, as many as
// it counts.
bool RegistryFile::ReadDataBlocks() {
  std::size_t offset = Read32(bytes_, 8);
  const std::uint16_t count = Read16(bytes_, kBlockCountField);
  if (offset < kTableOffset + table_.size) return false;
  blocks_.reserve(count);
  for (std::uint16_t number = 0; number < count; ++number) {
    if (offset > bytes_.size() || bytes_.size() - offset < kHeaderSize ||
        bytes_.substr(offset, 4) != "RGDB") {
      return false;
    }
    const std::uint32_t size = Read32(bytes_, offset + kBlockSizeField);
    Block block{{offset, size, offset + kBlockChecksumField,
                 (Read16(bytes_, offset + kBlockFlagsField) & kChecksumValid) != 0},
                false,
                {}};
    if (size < kHeaderSize || size > bytes_.size() - offset || !ChecksumHolds(bytes_, block.area) ||
        !ReadBlock(number, block)) {
      return false;
    }
    blocks_.push_back(block);
    offset += size;
  }
  return true;
}

// Either the records fill the block, the freed ones among them on the list the
// header leads to, or they end where the one run of free space at the block's
// end begins.
bool RegistryFile::ReadBlock(std::uint16_t number, Block& block) {
  const std::size_t start = block.area.offset + kHeaderSize;
  const std::size_t end = block.area.offset + block.area.size;
  const std::uint32_t freed_size = Read32(bytes_, block.area.offset + kFreedSizeField);
  const std::uint32_t tail = block.area.size - freed_size;
  const std::size_t records_before = records_.size();
  std::vector<std::size_t> freed;
  if (ReadRecords(number, start, end, freed) && ReadFreedList(block, freed)) {
    block.keeps_freed_list = true;
    keeps_freed_record_lists_ |= std::any_of(
        freed.begin(), freed.end(), [&](std::size_t at) { return at - block.area.offset != tail; });
    return true;
  }
  records_.resize(records_before);
  block.freed_list.clear();
  freed.clear();
  return freed_size <= block.area.size - kHeaderSize &&
         Read32(bytes_, block.area.offset + kFirstFreedField) == tail &&
         ReadRecords(number, start, block.area.offset + tail, freed) && freed.empty();
}

// Records lie end to end from start to end; the offsets of the freed ones are
// added to freed.
bool RegistryFile::ReadRecords(std::uint16_t number, std::size_t at, std::size_t end,
                               std::vector<std::size_t>& freed) {
  while (at < end) {
    if (end - at < kRecordHeaderSize) return false;
    const std::uint32_t size = Read32(bytes_, at);
    const std::uint16_t id = Read16(bytes_, at + kRecordIdField);
    const std::uint16_t name_size = Read16(bytes_, at + kRecordNameSizeField);
    if (size < kRecordHeaderSize || size > end - at) return false;
    if (id == kFreeRecordId) {
      freed.push_back(at);
    } else {
      if (name_size > size - kRecordHeaderSize) return false;
      records_.push_back({static_cast<std::uint32_t>(number) << 16 | id, number, id, at, size,
                          bytes_.substr(at + kRecordHeaderSize, name_size)});
    }
    at += size;
  }
  return true;
}

// Each record on the list is a freed one of the block, and none comes twice.
bool RegistryFile::ReadFreedList(Block& block, const std::vector<std::size_t>& freed) const {
  std::vector<bool> seen(freed.size());
  for (std::uint32_t next = Read32(bytes_, block.area.offset + kFirstFreedField); next != kNone;) {
    const auto found = std::lower_bound(freed.begin(), freed.end(), block.area.offset + next);
    if (found == freed.end() || *found != block.area.offset + next) return false;
    const auto index = static_cast<std::size_t>(found - freed.begin());
    if (seen[index]) return false;
    seen[index] = true;
    block.freed_list.push_back(next);
    next = Read32(bytes_, *found + kNextFreedField);
  }
  return true;
}

// Sorts the records by their keys, for look-ups, and tells whether no two of
// one block have one id.
bool RegistryFile::SortRecords() {
  const auto by_key = [](const Record& a, const Record& b) { return a.key < b.key; };
  std::sort(records_.begin(), records_.end(), by_key);
  return std::adjacent_find(records_.begin(), records_.end(), [](const Record& a, const Record& b) {
           return a.key == b.key;
         }) == records_.end();
}

const Record* RegistryFile::RecordOf(std::uint32_t entry) const {
  const std::uint32_t key =
      static_cast<std::uint32_t>(Read16(bytes_, kTableOffset + entry + kEntryBlockField)) << 16 |
      Read16(bytes_, kTableOffset + entry + kEntryRecordIdField);
  const auto found = std::lower_bound(
      records_.begin(), records_.end(), key,
      [](const Record& record, std::uint32_t wanted) { return record.key < wanted; });
  return found != records_.end() && found->key == key ? &*found : nullptr;
}

// Every entry reached from the root: in use, its pointers lead into the table,
// its parent is the key it was reached from, its record is found, no entry is
// reached twice or overlaps another, and no two keys share a record or are
// siblings of one name, which would leave a key behind its namesake. The
// names compare exactly, ignoring ASCII letter case.
bool RegistryFile::WalkFromRoot(std::vector<bool>& taken) const {
  std::vector<const Record*> records_used;
  std::vector<std::pair<std::uint32_t, std::string_view>> siblings;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> to_visit{{root_, kNone}};
  while (!to_visit.empty()) {
    const auto [entry, parent] = to_visit.back();
    to_visit.pop_back();
    if (!Take(taken, entry, kEntrySize)) return false;
    const std::uint32_t first = Field(entry, kFirstSubkeyField);
    const std::uint32_t next = Field(entry, kNextField);
    const bool is_root = entry == root_;
    const Record* record = is_root ? nullptr : RecordOf(entry);
    if (Field(entry, kInUseField) == kFreeEntryMark ||
        (!is_root && (Field(entry, kParentField) != parent || record == nullptr)) ||
        (is_root && next != kNone) || (first != kNone && !IsEntry(first)) ||
        (next != kNone && !IsEntry(next))) {
      return false;
    }
    if (!is_root) {
      records_used.push_back(record);
      siblings.emplace_back(parent, record->name);
    }
    if (first != kNone) to_visit.emplace_back(first, entry);
    if (next != kNone) to_visit.emplace_back(next, parent);
  }
  std::sort(records_used.begin(), records_used.end());
  std::sort(siblings.begin(), siblings.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : LessIgnoringCase(a.second, b.second);
  });
  return std::adjacent_find(records_used.begin(), records_used.end()) == records_used.end() &&
         std::adjacent_find(siblings.begin(), siblings.end(), [](const auto& a, const auto& b) {
           return a.first == b.first && EqualsIgnoringCase(a.second, b.second);
         }) == siblings.end();
}

// Each free entry on the list is marked free, and its run lies inside the
// table and overlaps no entry in use and no other run.
bool RegistryFile::ReadFreeEntries(std::vector<bool>& taken) {
  for (std::uint32_t entry = Read32(bytes_, kTableOffset + kFreeListField); entry != kNone;
       entry = Field(entry, kNextFreeField)) {
    if (!IsEntry(entry) || Field(entry, kInUseField) != kFreeEntryMark) return false;
    const std::uint32_t run = Field(entry, kRunLengthField);
    if (run < kEntrySize || run > table_.size - entry || !Take(taken, entry, run)) return false;
    free_entries_.push_back(entry);
  }
  return true;
}

std::optional<KeyLink> RegistryFile::Find(std::string_view path) const {
  std::uint32_t key = root_;
  std::size_t link = 0;
  while (!path.empty()) {
    const std::size_t end = std::min(path.find('\\'), path.size());
    const std::string_view name = path.substr(0, end);
    path.remove_prefix(std::min(end + 1, path.size()));
    link = kTableOffset + key + kFirstSubkeyField;
    key = Read32(bytes_, link);
    while (key != kNone && !EqualsIgnoringCase(NameOf(key), name)) {
      link = kTableOffset + key + kNextField;
      key = Read32(bytes_, link);
    }
    if (key == kNone) return std::nullopt;
  }
  if (link == 0) return std::nullopt;  // the root itself
  return KeyLink{link, key};
}

std::vector<std::uint32_t> RegistryFile::Subtree(std::uint32_t entry) const {
  std::vector<std::uint32_t> entries{entry};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    for (std::uint32_t child = Field(entries[i], kFirstSubkeyField); child != kNone;
         child = Field(child, kNextField)) {
      entries.push_back(child);
    }
  }
  return entries;
}

}  // namespace creg
