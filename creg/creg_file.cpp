#include "creg/creg_file.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "creg/layout.h"
#include "creg/registry_file.h"

namespace creg {
namespace {

// Collects the writes of an edit and keeps the bytes as they will be after
// them, from which each checksum is worked out.
class EditPlan {
 public:
  explicit EditPlan(std::string_view bytes) : after_(bytes) {}

  void Add(std::size_t offset, std::string bytes) {
    after_.replace(offset, bytes.size(), bytes);
    edit_.push_back({offset, std::move(bytes), false});
  }
  // Sets the checksum field so that the area's dwords sum to 0 again.
  void AddChecksum(const Area& area) {
    Add(area.checksum_at, Le32(Read32(after_, area.checksum_at) - Sum(after_, area)));
  }
  void SyncHere() { edit_.back().sync_after = true; }
  Edit Take() { return std::move(edit_); }

 private:
  std::string after_;
  Edit edit_;
};

// How new nodes join a list: each goes before the first node of the list that
// lies above it, so a list kept in rising order stays so, as Windows keeps its
// lists (and as readers of freed records expect). The new nodes' links, and the
// changed links of the nodes before them (kNone: the list's head).
struct Splice {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> new_links;      // node, next
  std::vector<std::pair<std::uint32_t, std::uint32_t>> changed_links;  // node before, next
};

Splice SpliceInOrder(const std::vector<std::uint32_t>& list,
                     const std::vector<std::uint32_t>& nodes) {
  std::vector<std::pair<std::size_t, std::uint32_t>> placed;  // place in the list, node
  placed.reserve(nodes.size());
  for (const std::uint32_t node : nodes) {
    const auto above = std::find_if(list.begin(), list.end(), [node](auto n) { return n > node; });
    placed.emplace_back(above - list.begin(), node);
  }
  std::sort(placed.begin(), placed.end());
  Splice splice;
  for (std::size_t i = 0; i < placed.size(); ++i) {
    const auto [place, node] = placed[i];
    const bool last_here = i + 1 == placed.size() || placed[i + 1].first != place;
    const std::uint32_t after = place < list.size() ? list[place] : kNone;
    splice.new_links.emplace_back(node, last_here ? after : placed[i + 1].second);
    if (i == 0 || placed[i - 1].first != place) {
      splice.changed_links.emplace_back(place == 0 ? kNone : list[place - 1], node);
    }
  }
  return splice;
}

// The entries of the removed keys join the key table's free list, each one a
// run of one entry, before the links that lead to them.
void FreeEntries(const RegistryFile& file, const std::vector<std::uint32_t>& removed,
                 EditPlan& plan) {
  const Splice splice = SpliceInOrder(file.FreeEntries(), removed);
  for (const auto& [entry, next] : splice.new_links) {
    plan.Add(kTableOffset + entry, Le32(kFreeEntryMark) + Le32(kEntrySize) + Le32(next));
  }
  for (const auto& [before, entry] : splice.changed_links) {
    plan.Add(kTableOffset + (before == kNone ? kFreeListField : before + kNextFreeField),
             Le32(entry));
  }
  if (file.TableArea().checksummed) plan.AddChecksum(file.TableArea());
}

// The records of one block join its freed list the same way; the header then
// counts their bytes as freed, gives their lowest id out first, and may lead
// to the first of them.
void FreeRecords(const RegistryFile& file, const Block& block,
                 const std::vector<const Record*>& records, EditPlan& plan) {
  const std::string_view bytes = file.Bytes();
  const std::size_t header = block.area.offset;
  std::uint32_t freed = Read32(bytes, header + kFreedSizeField);
  std::uint16_t lowest_free_id = Read16(bytes, header + kLowestFreeIdField);
  std::vector<std::uint32_t> offsets;
  for (const Record* record : records) {
    offsets.push_back(static_cast<std::uint32_t>(record->offset - header));
    freed += record->size;
    lowest_free_id = std::min(lowest_free_id, record->id);
  }
  const Splice splice = SpliceInOrder(block.freed_list, offsets);
  for (const auto& [record, next] : splice.new_links) {
    plan.Add(header + record + kRecordIdField,
             Le16(kFreeRecordId) + Le16(kFreeRecordId) + Le32(next));
  }
  std::uint32_t first = Read32(bytes, header + kFirstFreedField);
  for (const auto& [before, record] : splice.changed_links) {
    if (before == kNone) {
      first = record;
    } else {
      plan.Add(header + before + kNextFreedField, Le32(record));
    }
  }
  plan.Add(header + kFreedSizeField,
           Le32(freed) + std::string(bytes.substr(header + kBlockFlagsField, 4)) + Le32(first) +
               std::string(bytes.substr(header + kHighestIdField, 2)) + Le16(lowest_free_id));
  if (block.area.checksummed) plan.AddChecksum(block.area);
}

// Where the file keeps freed records on lists, the removed keys' records go on
// theirs, block by block. In a file that shows none, freed space is kept as one
// run at each block's end, whose upkeep is not publicly described: the records
// stay, unused.
void FreeRecords(const RegistryFile& file, const std::vector<std::uint32_t>& removed,
                 EditPlan& plan) {
  if (!file.KeepsFreedRecordLists()) return;
  std::vector<const Record*> records;
  records.reserve(removed.size());
  for (const std::uint32_t entry : removed) records.push_back(file.RecordOf(entry));
  std::sort(records.begin(), records.end(),
            [](const Record* a, const Record* b) { return a->key < b->key; });
  for (auto group = records.begin(); group != records.end();) {
    const std::uint16_t number = (*group)->block;
    const auto end = std::find_if(group, records.end(),
                                  [number](const Record* r) { return r->block != number; });
    const Block& block = file.BlockAt(number);
    if (block.keeps_freed_list) FreeRecords(file, block, {group, end}, plan);
    group = end;
  }
}

}  // namespace

bool HasCregSignature(std::string_view bytes) {
  return bytes.substr(0, 4) == "CREG";
}

bool KeyExists(std::string_view bytes, std::string_view key_path) {
  const std::optional<RegistryFile> file = RegistryFile::Read(bytes);
  return file && file->Find(key_path);
}

std::optional<Edit> PlanKeyRemoval(std::string_view bytes, std::string_view key_path) {
  const std::optional<RegistryFile> file = RegistryFile::Read(bytes);
  if (!file) return std::nullopt;
  const std::optional<KeyLink> found = file->Find(key_path);
  if (!found) return std::nullopt;
  EditPlan plan(bytes);
  plan.Add(found->link, Le32(file->Field(found->entry, kNextField)));
  if (file->TableArea().checksummed) plan.AddChecksum(file->TableArea());
  plan.SyncHere();
  const std::vector<std::uint32_t> removed = file->Subtree(found->entry);
  FreeEntries(*file, removed, plan);
  FreeRecords(*file, removed, plan);
  plan.SyncHere();
  return plan.Take();
}

void ApplyEdit(std::string& bytes, const Edit& edit) {
  for (const Write& write : edit) bytes.replace(write.offset, write.bytes.size(), write.bytes);
}

}  // namespace creg
