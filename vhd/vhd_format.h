// The fixed-size structures of a VHD file read from bytes: the footer at the
// end (and its copy at the start of a dynamic disk), the dynamic disk header
// and the block allocation table. Every reader checks what it reads and says
// what is wrong in words a caller can print.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kVhdSector = 512;
inline constexpr std::size_t kVhdFooterSize = 512;
// Some old tools wrote the footer without its last reserved byte.
inline constexpr std::size_t kVhdShortFooterSize = 511;
inline constexpr std::size_t kVhdHeaderSize = 1024;
inline constexpr std::uint32_t kVhdUnallocated = 0xFFFFFFFF;

enum class VhdType : std::uint32_t { kFixed = 2, kDynamic = 3, kDifferencing = 4 };

struct VhdFooter {
  std::uint64_t data_offset = 0;  // where the dynamic header lies
  std::uint64_t current_size = 0;
  VhdType type = VhdType::kFixed;
};

struct VhdHeader {
  std::uint64_t table_offset = 0;
  std::uint32_t max_table_entries = 0;
  std::uint32_t block_size = 0;
};

// What a reader found: the value, or why there is none.
template <typename T>
struct VhdRead {
  std::optional<T> value;
  std::string problem;
};

// The one's complement of the sum of the bytes, those of the four-byte
// checksum field at the offset counted as zero.
std::uint32_t VhdChecksum(std::string_view bytes, std::size_t checksum_offset);

// A footer of 512 bytes, or of 511 bytes from an old tool.
VhdRead<VhdFooter> ReadVhdFooter(std::string_view bytes);
// The 1024 bytes of a dynamic disk header.
VhdRead<VhdHeader> ReadVhdHeader(std::string_view bytes);
// The entries of a table of big-endian sector numbers.
std::vector<std::uint32_t> ReadBlockTable(std::string_view bytes, std::uint32_t entries);

// Bytes the sector bitmap of a block takes, padded to whole sectors.
std::uint64_t VhdBitmapSize(std::uint32_t block_size);
// Bytes the block table of so many entries takes, padded to whole sectors.
std::uint64_t VhdTableSize(std::uint32_t entries);
