// The entries of a FAT directory's bytes: 8.3 short entries and the VFAT long
// names before them, whose checksum must match the short name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fat_attribute {
constexpr std::uint8_t kReadOnly = 0x01;
constexpr std::uint8_t kHidden = 0x02;
constexpr std::uint8_t kSystem = 0x04;
constexpr std::uint8_t kVolumeLabel = 0x08;
constexpr std::uint8_t kDirectory = 0x10;
constexpr std::uint8_t kArchive = 0x20;
constexpr std::uint8_t kLongName = 0x0F;
}  // namespace fat_attribute

constexpr std::size_t kDirEntryBytes = 32;

struct DirEntry {
  std::string short_name;  // "MACHINE.INF"; a stored 0x05 first byte reads as 0xE5
  std::string long_name;   // UTF-8; empty when there is none
  std::uint8_t attributes = 0;
  std::uint32_t first_cluster = 0;
  std::uint32_t size = 0;
  std::size_t index = 0;            // of the short entry among the directory's 32-byte slots
  std::uint64_t device_offset = 0;  // of the short entry, set by the volume
  std::string raw;                  // the 32 bytes of the short entry

  bool Has(std::uint8_t attribute) const { return (attributes & attribute) != 0; }
  bool IsDotEntry() const { return short_name == "." || short_name == ".."; }
  // The long or the short name, 'A'-'Z' matching 'a'-'z'.
  bool Matches(std::string_view name) const;
};

// Every used entry up to the end marker, volume labels and dot entries
// included, deleted ones and long-name slots left out. The high word of the
// first cluster counts on FAT32 only.
std::vector<DirEntry> ParseDirectory(std::string_view bytes, bool fat32);

// The checksum of an 11-byte short name that its long-name entries carry.
std::uint8_t ShortNameChecksum(std::string_view name11);
