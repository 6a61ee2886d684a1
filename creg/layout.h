// Where things lie in a Windows 9x registry file, and its little-endian
// numbers. Offsets of entries count from the key table's start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace creg {

// The file, the key table and each data block start with a header of this size.
inline constexpr std::size_t kHeaderSize = 0x20;
inline constexpr std::size_t kTableOffset = kHeaderSize;
inline constexpr std::uint32_t kNone = 0xFFFFFFFF;

// The file header.
inline constexpr std::size_t kFileChecksumField = 12;
inline constexpr std::size_t kBlockCountField = 16;
inline constexpr std::size_t kFileFlagsField = 18;

// The key table header.
inline constexpr std::size_t kTableSizeField = 4;
inline constexpr std::size_t kRootField = 8;
inline constexpr std::size_t kFreeListField = 12;
inline constexpr std::size_t kTableFlagsField = 16;
inline constexpr std::size_t kTableChecksumField = 20;

// A key table entry; a free one has the mark, the length of its run and the
// next free entry in its first three fields.
inline constexpr std::uint32_t kEntrySize = 28;
inline constexpr std::uint32_t kFreeEntryMark = 0x80000000;
inline constexpr std::size_t kInUseField = 0;
inline constexpr std::size_t kRunLengthField = 4;
inline constexpr std::size_t kNextFreeField = 8;
inline constexpr std::size_t kParentField = 12;
inline constexpr std::size_t kFirstSubkeyField = 16;
inline constexpr std::size_t kNextField = 20;
inline constexpr std::size_t kEntryRecordIdField = 24;
inline constexpr std::size_t kEntryBlockField = 26;

// A data block header.
inline constexpr std::size_t kBlockSizeField = 4;
inline constexpr std::size_t kFreedSizeField = 8;
inline constexpr std::size_t kBlockFlagsField = 12;
inline constexpr std::size_t kFirstFreedField = 16;
inline constexpr std::size_t kHighestIdField = 20;
inline constexpr std::size_t kLowestFreeIdField = 22;
inline constexpr std::size_t kBlockChecksumField = 28;

// A record of a data block: a key's name and values. A freed one has the id
// and block number below, and the next freed record where its used size was.
inline constexpr std::size_t kRecordHeaderSize = 20;
inline constexpr std::size_t kRecordIdField = 4;
inline constexpr std::size_t kNextFreedField = 8;
inline constexpr std::size_t kRecordNameSizeField = 12;
inline constexpr std::uint16_t kFreeRecordId = 0xFFFF;

// The flag of a header whose area's dwords sum to 0.
inline constexpr std::uint32_t kChecksumValid = 0x4;

inline std::uint32_t Read32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

inline std::uint16_t Read16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

inline std::string Le32(std::uint32_t value) {
  return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
          static_cast<char>(value >> 24)};
}

inline std::string Le16(std::uint16_t value) {
  return {static_cast<char>(value), static_cast<char>(value >> 8)};
}

// The file header, the key table or a data block, and its checksum field.
struct Area {
  std::size_t offset;
  std::size_t size;
  std::size_t checksum_at;
  bool checksummed;
};

// The sum of the area's dwords, which a checksummed area keeps at 0.
inline std::uint32_t Sum(std::string_view bytes, const Area& area) {
  std::uint32_t sum = 0;
  for (std::size_t at = area.offset; at + 4 <= area.offset + area.size; at += 4) {
    sum += Read32(bytes, at);
  }
  return sum;
}

}  // namespace creg
