// Crash-safe replacement of a file's contents, planned as an ordered list of
// writes and syncs for the caller to run:
//   1. the new bytes into clusters free in every FAT copy and reached by no
//      chain, those clusters chained in every copy (and FSInfo's counts on
//      FAT32), then a sync;
//   2. the commit: one write of the file's 32-byte short directory entry with
//      the new first cluster, size and modification time, then a sync;
//   3. the old chain freed in every copy (and FSInfo's counts), then a sync.
// A crash at any point leaves the old or the new contents, and at worst lost
// clusters. Long-name entries, attributes and the creation time stay.
// FSInfo's free count follows each FAT change, so that after a crash it never
// claims more free clusters than the FAT holds (fsck.fat, which counts lost
// clusters as free, then calls it wrong).
// On FAT12 each copy's changed sectors are written whole, rebuilt from that
// copy's own bytes, so entries sharing a byte with a changed one stay.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "fat/directory.h"
#include "fat/fat_volume.h"
#include "fat/volume_check.h"
#include "image/block_device.h"

struct FatTimestamp {
  std::uint16_t date = 0;
  std::uint16_t time = 0;
};

// The FAT encoding of a local time from 1980 to 2107, to two seconds.
std::optional<FatTimestamp> MakeFatTimestamp(int year, int month, int day, int hour, int minute,
                                             int second);

// The steps that give the file the contents, with device offsets. Nothing
// when the file is read-only or a folder, when the volume lacks free clusters,
// or when the FAT copies disagree on an entry the plan would change. The map
// must come from CheckVolume on the same volume, and the volume must be
// opened again once the steps ran.
std::optional<std::vector<DeviceStep>> PlanReplacement(const FatVolume& volume,
                                                       const VolumeMap& map, const DirEntry& file,
                                                       std::string_view contents,
                                                       FatTimestamp modified);
