// The checked structure of a Windows 9x registry file: what is reached from
// the root key, the free entries of the key table, and each data block's
// records with its freed ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "creg/layout.h"

namespace creg {

// A record in use: the name of the key whose entry gives its block and id.
struct Record {
  std::uint32_t key;  // block << 16 | id
  std::uint16_t block;
  std::uint16_t id;
  std::size_t offset;  // in the file
  std::uint32_t size;
  std::string_view name;
};

struct Block {
  Area area;
  // Freed records lie among the others, on the list the header leads to, as
  // Windows ME keeps them; otherwise the free space is one run at the end.
  bool keeps_freed_list;
  std::vector<std::uint32_t> freed_list;  // offsets in the block, in list order
};

// A key: its entry, and the file offset of the pointer that leads to it.
struct KeyLink {
  std::size_t link;
  std::uint32_t entry;
};

class RegistryFile {
 public:
  // Nothing when any check fails: the headers and their checksums, the blocks
  // and their records and freed lists, every key reached from the root (each
  // pointer inside the key table, no loops, no overlapping entries, each name
  // in its block, no two siblings of one name), and the free entries.
  static std::optional<RegistryFile> Read(std::string_view bytes);

  // The key at path below the root; nothing for the root or no such key.
  [[nodiscard]] std::optional<KeyLink> Find(std::string_view path) const;
  // The entry and every entry below it.
  [[nodiscard]] std::vector<std::uint32_t> Subtree(std::uint32_t entry) const;

  [[nodiscard]] std::uint32_t Field(std::uint32_t entry, std::size_t field) const {
    return Read32(bytes_, kTableOffset + entry + field);
  }
  [[nodiscard]] std::string_view Bytes() const { return bytes_; }
  [[nodiscard]] const Area& TableArea() const { return table_; }
  // The free entries in list order.
  [[nodiscard]] const std::vector<std::uint32_t>& FreeEntries() const { return free_entries_; }
  // True when some block shows a freed record other than a run at its end.
  [[nodiscard]] bool KeepsFreedRecordLists() const { return keeps_freed_record_lists_; }
  [[nodiscard]] const Block& BlockAt(std::uint16_t number) const { return blocks_[number]; }
  // The record of an entry reached from the root.
  [[nodiscard]] const Record* RecordOf(std::uint32_t entry) const;

 private:
  explicit RegistryFile(std::string_view bytes) : bytes_(bytes) {}

  bool ReadHeaders();
  [[nodiscard]] bool IsEntry(std::uint32_t pointer) const;
  bool ReadDataBlocks();
  bool ReadBlock(std::uint16_t number, Block& block);
  bool ReadRecords(std::uint16_t number, std::size_t at, std::size_t end,
                   std::vector<std::size_t>& freed);
  bool ReadFreedList(Block& block, const std::vector<std::size_t>& freed) const;
  bool SortRecords();
  bool WalkFromRoot(std::vector<bool>& taken) const;
  bool ReadFreeEntries(std::vector<bool>& taken);
  [[nodiscard]] std::string_view NameOf(std::uint32_t entry) const { return RecordOf(entry)->name; }

  std::string_view bytes_;
  Area table_{};
  std::uint32_t root_ = 0;
  std::vector<std::uint32_t> free_entries_;
  std::vector<Block> blocks_;
  std::vector<Record> records_;  // sorted by key
  bool keeps_freed_record_lists_ = false;
};

}  // namespace creg
