// A Windows tree in a disk image: a FAT volume of the image and the folder at
// its root that holds an INF folder and SYSTEM.DAT, whose files are read and
// patched through the image's bytes, without a mount.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fat/fat_volume.h"
#include "fat/file_edits.h"
#include "fat/replace_plan.h"
#include "fat/volume_check.h"
#include "image/block_device.h"
#include "mbr/partition_table.h"

class ImageTree {
 public:
  // The tree that choice names on the device, in the form "[N][/FOLDER]"
  // (backslashes too): N counts the device's FAT volumes from 1, primary
  // partitions first; FOLDER is a folder at that volume's root. Left out, the
  // volume and the folder are those of the one Windows folder that the
  // device's volumes hold. Nothing when the choice matches none or several,
  // or when the volume fails its whole check.
  // Where the device tells whether a range already holds its bytes (a
  // dynamic VHD's allocated blocks), new file contents go there when they fit.
  using AllocatedRange = std::function<bool(std::uint64_t offset, std::uint64_t size)>;
  static std::optional<ImageTree> Open(BlockDevice& device, std::string_view choice,
                                       AllocatedRange allocated = nullptr);

  // A file below the Windows folder, such as "INF\MSHDC.INF".
  [[nodiscard]] bool ReadFile(std::string_view path, std::string& bytes) const;
  // Gives the file new contents, crash-safe: old or new at every moment.
  bool ReplaceFile(std::string_view path, std::string_view contents, FatTimestamp modified);
  // Writes small edits into the file's bytes where they lie, then syncs.
  bool EditFile(std::string_view path, const std::vector<FileEdit>& edits);

 private:
  ImageTree(BlockDevice& device, VolumeExtent extent, std::string folder, FatVolume volume,
            VolumeMap map)
      : device_(&device),
        extent_(extent),
        folder_(std::move(folder)),
        volume_(std::move(volume)),
        map_(std::move(map)) {}

  [[nodiscard]] std::optional<DirEntry> Find(std::string_view path) const;
  [[nodiscard]] VolumeMap PreferredClusters(std::size_t size) const;

  BlockDevice* device_;
  VolumeExtent extent_;
  std::string folder_;
  FatVolume volume_;
  VolumeMap map_;
  AllocatedRange allocated_;
  bool usable_ = true;
};
