#include "fat/boot_sector.h"

#include "image/little_endian.h"

namespace {

constexpr std::size_t kBootSectorBytes = 512;

bool IsPowerOfTwo(std::uint32_t value) {
  return value != 0 && (value & (value - 1)) == 0;
}

bool HasBootSignature(std::string_view sector) {
  const auto first = static_cast<unsigned char>(sector[0]);
  const bool jump =
      first == 0xE9 || (first == 0xEB && static_cast<unsigned char>(sector[2]) == 0x90);
  return jump && static_cast<unsigned char>(sector[510]) == 0x55 &&
         static_cast<unsigned char>(sector[511]) == 0xAA;
}

bool HasValidMedia(std::string_view sector) {
  const auto media = static_cast<unsigned char>(sector[21]);
  return media == 0xF0 || media >= 0xF8;
}

FatType TypeForClusterCount(std::uint32_t clusters) {
  if (clusters < 4085) return FatType::kFat12;
  if (clusters < 65525) return FatType::kFat16;
  return FatType::kFat32;
}

// Bytes of FAT needed for every data cluster and the two reserved entries.
std::uint64_t FatBytesNeeded(FatType type, std::uint32_t cluster_count) {
  const std::uint64_t entries = std::uint64_t{cluster_count} + 2;
  switch (type) {
    case FatType::kFat12:
      return (entries * 3 + 1) / 2;
    case FatType::kFat16:
      return entries * 2;
    case FatType::kFat32:
      return entries * 4;
  }
  return 0;
}

bool FitsTypeFields(const FatGeometry& g, std::string_view sector) {
  if (g.type != FatType::kFat32) return g.root_entry_count != 0 && ReadLe16(sector, 22) != 0;
  const bool mirrored = (ReadLe16(sector, 40) & 0x80) == 0;
  return g.root_entry_count == 0 && ReadLe16(sector, 22) == 0 && ReadLe16(sector, 42) == 0 &&
         mirrored && g.IsDataCluster(g.root_cluster) && g.fsinfo_sector < g.reserved_sectors;
}

}  // namespace

std::uint64_t FatGeometry::FatOffset(std::uint32_t copy) const {
  return (std::uint64_t{reserved_sectors} + std::uint64_t{copy} * sectors_per_fat) *
         bytes_per_sector;
}
std::uint64_t FatGeometry::FatBytes() const {
  return std::uint64_t{sectors_per_fat} * bytes_per_sector;
}
std::uint64_t FatGeometry::RootDirectoryOffset() const {
  return FatOffset(fat_count);
}
std::uint64_t FatGeometry::RootDirectoryBytes() const {
  const std::uint64_t bytes = std::uint64_t{root_entry_count} * 32;
  return (bytes + bytes_per_sector - 1) / bytes_per_sector * bytes_per_sector;
}
std::uint64_t FatGeometry::DataOffset() const {
  return RootDirectoryOffset() + RootDirectoryBytes();
}
std::uint64_t FatGeometry::ClusterBytes() const {
  return std::uint64_t{sectors_per_cluster} * bytes_per_sector;
}
std::uint64_t FatGeometry::ClusterOffset(std::uint32_t cluster) const {
  return DataOffset() + (std::uint64_t{cluster} - 2) * ClusterBytes();
}
bool FatGeometry::IsDataCluster(std::uint32_t cluster) const {
  return cluster >= 2 && cluster - 2 < cluster_count;
}

std::optional<FatGeometry> ParseBootSector(std::string_view sector, std::uint64_t volume_bytes) {
  if (sector.size() < kBootSectorBytes || !HasBootSignature(sector) || !HasValidMedia(sector)) {
    return std::nullopt;
  }
  FatGeometry g;
  g.bytes_per_sector = ReadLe16(sector, 11);
  g.sectors_per_cluster = static_cast<unsigned char>(sector[13]);
  g.reserved_sectors = ReadLe16(sector, 14);
  g.fat_count = static_cast<unsigned char>(sector[16]);
  g.root_entry_count = ReadLe16(sector, 17);
  const std::uint32_t total16 = ReadLe16(sector, 19);
  g.total_sectors = total16 != 0 ? total16 : ReadLe32(sector, 32);
  const std::uint32_t fat16_size = ReadLe16(sector, 22);
  g.sectors_per_fat = fat16_size != 0 ? fat16_size : ReadLe32(sector, 36);
  if (g.bytes_per_sector < 512 || g.bytes_per_sector > 4096 || !IsPowerOfTwo(g.bytes_per_sector) ||
      !IsPowerOfTwo(g.sectors_per_cluster) || g.reserved_sectors == 0 || g.fat_count == 0 ||
      g.sectors_per_fat == 0 ||
      std::uint64_t{g.total_sectors} * g.bytes_per_sector > volume_bytes) {
    return std::nullopt;
  }
  const std::uint64_t meta_sectors = g.DataOffset() / g.bytes_per_sector;
  if (meta_sectors >= g.total_sectors) return std::nullopt;
  g.cluster_count =
      static_cast<std::uint32_t>((g.total_sectors - meta_sectors) / g.sectors_per_cluster);
  g.type = TypeForClusterCount(g.cluster_count);
  if (g.type == FatType::kFat32) {
    g.root_cluster = ReadLe32(sector, 44);
    g.fsinfo_sector = ReadLe16(sector, 48);
    if (g.fsinfo_sector == 0xFFFF) g.fsinfo_sector = 0;
  }
  if (!FitsTypeFields(g, sector) || g.FatBytes() < FatBytesNeeded(g.type, g.cluster_count)) {
    return std::nullopt;
  }
  return g;
}
