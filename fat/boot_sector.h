// The boot sector of a FAT volume: its BIOS parameter block, checked for a
// geometry that fits the volume, and the FAT type that the cluster count
// decides, as Microsoft's published FAT description computes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

enum class FatType { kFat12, kFat16, kFat32 };

struct FatGeometry {
  FatType type = FatType::kFat12;
  std::uint32_t bytes_per_sector = 0;
  std::uint32_t sectors_per_cluster = 0;
  std::uint32_t reserved_sectors = 0;
  std::uint32_t fat_count = 0;
  std::uint32_t root_entry_count = 0;  // 0 on FAT32
  std::uint32_t total_sectors = 0;
  std::uint32_t sectors_per_fat = 0;
  std::uint32_t root_cluster = 0;   // FAT32 only
  std::uint32_t fsinfo_sector = 0;  // FAT32 only; 0 when there is none
  std::uint32_t cluster_count = 0;  // data clusters, numbered 2 .. cluster_count + 1

  // Byte offsets from the start of the volume.
  std::uint64_t FatOffset(std::uint32_t copy) const;
  std::uint64_t FatBytes() const;
  std::uint64_t RootDirectoryOffset() const;  // FAT12/16
  std::uint64_t RootDirectoryBytes() const;   // FAT12/16
  std::uint64_t DataOffset() const;
  std::uint64_t ClusterBytes() const;
  std::uint64_t ClusterOffset(std::uint32_t cluster) const;
  bool IsDataCluster(std::uint32_t cluster) const;
};

// The boot sector's first 512 bytes are enough; the volume size bounds the
// sectors the BPB may claim. Nothing when the sector holds no FAT BPB, when
// its geometry is impossible, or when a FAT32 volume keeps one active FAT
// instead of mirroring them.
std::optional<FatGeometry> ParseBootSector(std::string_view sector, std::uint64_t volume_bytes);
