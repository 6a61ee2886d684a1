// A FAT12/16/32 volume on a block device at an offset: its geometry, every
// copy of its FAT, its directories and the files in them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fat/boot_sector.h"
#include "fat/directory.h"
#include "fat/fat_table.h"
#include "image/block_device.h"

class FatVolume {
 public:
  // Nothing when the bytes at the offset are no FAT volume that fits in the
  // given size and the device, or when a FAT copy cannot be read.
  static std::optional<FatVolume> Open(BlockDevice& device, std::uint64_t offset,
                                       std::uint64_t size);

  // Takes into the FAT copies what the steps wrote into them, once the device
  // ran them all.
  void TakeWrites(const std::vector<DeviceStep>& steps);

  const FatGeometry& geometry() const { return geometry_; }
  const std::vector<FatTable>& fats() const { return fats_; }
  std::uint64_t offset() const { return offset_; }
  BlockDevice& device() const { return *device_; }

  // The entries of the directory whose chain starts at the cluster, or of the
  // root directory for cluster 0, each with its device offset. Nothing when
  // the chain is broken or a sector cannot be read.
  std::optional<std::vector<DirEntry>> ReadDirectory(std::uint32_t first_cluster) const;
  // The entry at a path below the root such as "WINDOWS\INF\MACHINE.INF",
  // each part matching a long or short name without regard to ASCII case.
  std::optional<DirEntry> Lookup(std::string_view path) const;
  // The clusters of a file, exactly as many as its size needs.
  std::optional<std::vector<std::uint32_t>> FileChain(const DirEntry& file) const;
  std::optional<std::string> ReadFile(const DirEntry& file) const;
  // The device offset of the byte at an offset within a chain's clusters.
  std::uint64_t DeviceOffset(const std::vector<std::uint32_t>& chain,
                             std::uint64_t chain_offset) const;

 private:
  FatVolume(BlockDevice& device, std::uint64_t offset, FatGeometry geometry,
            std::vector<FatTable> fats)
      : device_(&device), offset_(offset), geometry_(geometry), fats_(std::move(fats)) {}

  bool ReadChain(const std::vector<std::uint32_t>& chain, std::string& out) const;

  BlockDevice* device_;
  std::uint64_t offset_;
  FatGeometry geometry_;
  std::vector<FatTable> fats_;
};
