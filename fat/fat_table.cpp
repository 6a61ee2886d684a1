#include "fat/fat_table.h"

#include "image/little_endian.h"

std::size_t FatTable::EntryOffset(std::uint32_t cluster) const {
  switch (type_) {
    case FatType::kFat12:
      return cluster + cluster / 2;
    case FatType::kFat16:
      return std::size_t{cluster} * 2;
    case FatType::kFat32:
      return std::size_t{cluster} * 4;
  }
  return 0;
}

std::uint32_t FatTable::Get(std::uint32_t cluster) const {
  const std::size_t offset = EntryOffset(cluster);
  switch (type_) {
    case FatType::kFat12: {
      const std::uint32_t pair = ReadLe16(bytes_, offset);
      return (cluster % 2 == 0) ? (pair & 0xFFF) : (pair >> 4);
    }
    case FatType::kFat16:
      return ReadLe16(bytes_, offset);
    case FatType::kFat32:
      return ReadLe32(bytes_, offset) & 0x0FFFFFFF;
  }
  return 0;
}

void FatTable::Set(std::uint32_t cluster, std::uint32_t value) {
  const std::size_t offset = EntryOffset(cluster);
  switch (type_) {
    case FatType::kFat12: {
      const std::uint32_t pair = ReadLe16(bytes_, offset);
      const std::uint32_t updated = (cluster % 2 == 0) ? ((pair & 0xF000) | (value & 0xFFF))
                                                       : ((pair & 0x000F) | (value << 4));
      WriteLe16(bytes_, offset, static_cast<std::uint16_t>(updated));
      return;
    }
    case FatType::kFat16:
      WriteLe16(bytes_, offset, static_cast<std::uint16_t>(value));
      return;
    case FatType::kFat32:
      WriteLe32(bytes_, offset, (ReadLe32(bytes_, offset) & 0xF0000000) | (value & 0x0FFFFFFF));
      return;
  }
}

std::uint32_t EndOfChainMark(FatType type) {
  switch (type) {
    case FatType::kFat12:
      return 0xFFF;
    case FatType::kFat16:
      return 0xFFFF;
    case FatType::kFat32:
      return 0x0FFFFFFF;
  }
  return 0;
}

bool IsEndOfChain(FatType type, std::uint32_t value) {
  return value >= (EndOfChainMark(type) & ~std::uint32_t{7});
}

std::optional<std::vector<std::uint32_t>> FollowChain(const FatTable& fat, const FatGeometry& g,
                                                      std::uint32_t first) {
  std::vector<std::uint32_t> chain;
  std::uint32_t cluster = first;
  while (true) {
    if (!g.IsDataCluster(cluster) || chain.size() == g.cluster_count) return std::nullopt;
    chain.push_back(cluster);
    const std::uint32_t next = fat.Get(cluster);
    if (IsEndOfChain(fat.type(), next)) return chain;
    cluster = next;
  }
}

std::uint64_t ClustersFor(const FatGeometry& g, std::uint64_t size) {
  return (size + g.ClusterBytes() - 1) / g.ClusterBytes();
}
