// One copy of the file allocation table in memory, and the cluster chains it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fat/boot_sector.h"

class FatTable {
 public:
  FatTable(FatType type, std::string bytes) : type_(type), bytes_(std::move(bytes)) {}

  // The entry's value; on FAT32 without the four reserved high bits. The
  // caller keeps the cluster within the table.
  std::uint32_t Get(std::uint32_t cluster) const;
  // Changes the entry's own bits only: the FAT12 neighbour sharing a byte and
  // the high four bits of a FAT32 entry stay.
  void Set(std::uint32_t cluster, std::uint32_t value);
  // Puts bytes written to the copy on the device in their place.
  void Overwrite(std::size_t at, std::string_view bytes) {
    bytes_.replace(at, bytes.size(), bytes);
  }
  // The first byte of the entry and how many bytes it touches.
  std::size_t EntryOffset(std::uint32_t cluster) const;
  std::size_t EntryWidth() const { return type_ == FatType::kFat32 ? 4 : 2; }

  FatType type() const { return type_; }
  const std::string& bytes() const { return bytes_; }

 private:
  FatType type_;
  std::string bytes_;
};

// The value that ends a chain, as written.
std::uint32_t EndOfChainMark(FatType type);
bool IsEndOfChain(FatType type, std::uint32_t value);

// The clusters of the chain that starts at the first cluster, in order. Nothing
// when the start or a link is not a data cluster of the geometry (free, bad,
// reserved or past the end), or when the chain is longer than the volume's
// cluster count, as a loop is.
std::optional<std::vector<std::uint32_t>> FollowChain(const FatTable& fat, const FatGeometry& g,
                                                      std::uint32_t first);

// How many clusters a file of that size fills.
std::uint64_t ClustersFor(const FatGeometry& g, std::uint64_t size);
