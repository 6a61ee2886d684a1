#include "mbr/partition_table.h"

#include <set>
#include <string>

#include "fat/boot_sector.h"
#include "image/little_endian.h"

namespace {

constexpr std::uint64_t kSectorBytes = 512;
constexpr std::size_t kFirstEntry = 0x1BE;
constexpr std::size_t kEntryBytes = 16;

struct Entry {
  std::uint8_t type = 0;
  std::uint64_t start = 0;  // sectors, relative to what the table's kind says
  std::uint64_t sectors = 0;
};

bool IsFatType(std::uint8_t type) {
  return type == 0x01 || type == 0x04 || type == 0x06 || type == 0x0B || type == 0x0C ||
         type == 0x0E;
}
bool IsExtendedType(std::uint8_t type) {
  return type == 0x05 || type == 0x0F;
}

bool ReadSector(BlockDevice& device, std::uint64_t sector, std::string& out) {
  return sector < device.Size() / kSectorBytes &&
         device.Read(sector * kSectorBytes, kSectorBytes, out);
}

bool HasTableSignature(const std::string& sector) {
  return static_cast<unsigned char>(sector[510]) == 0x55 &&
         static_cast<unsigned char>(sector[511]) == 0xAA;
}

Entry EntryAt(const std::string& sector, int index) {
  const std::size_t at = kFirstEntry + kEntryBytes * index;
  return {static_cast<std::uint8_t>(sector[at + 4]), ReadLe32(sector, at + 8),
          ReadLe32(sector, at + 12)};
}

bool HasValidBootFlags(const std::string& sector) {
  for (int i = 0; i < 4; ++i) {
    const auto flag = static_cast<unsigned char>(sector[kFirstEntry + kEntryBytes * i]);
    if (flag != 0x00 && flag != 0x80) return false;
  }
  return true;
}

// The partition, in sectors from the device's start, as a FAT volume when it
// lies within the bounds and starts with a BPB that fits in it.
void AddWhenFat(BlockDevice& device, std::uint64_t start, std::uint64_t sectors,
                std::uint64_t bound_end, std::vector<VolumeExtent>& volumes) {
  std::string boot;
  if (sectors == 0 || start + sectors > bound_end || !ReadSector(device, start, boot) ||
      !ParseBootSector(boot, sectors * kSectorBytes)) {
    return;
  }
  volumes.push_back({start * kSectorBytes, sectors * kSectorBytes});
}

void AddLogicalVolumes(BlockDevice& device, const Entry& extended,
                       std::vector<VolumeExtent>& volumes) {
  const std::uint64_t end = extended.start + extended.sectors;
  std::set<std::uint64_t> visited;
  std::uint64_t ebr = extended.start;
  std::string sector;
  while (ebr < end && visited.insert(ebr).second && ReadSector(device, ebr, sector) &&
         HasTableSignature(sector)) {
    const Entry logical = EntryAt(sector, 0);
    if (IsFatType(logical.type) && logical.start != 0) {
      AddWhenFat(device, ebr + logical.start, logical.sectors, end, volumes);
    }
    const Entry next = EntryAt(sector, 1);
    if (!IsExtendedType(next.type) || next.start == 0) return;
    ebr = extended.start + next.start;
  }
}

}  // namespace

std::vector<VolumeExtent> FindFatVolumes(BlockDevice& device) {
  std::string first;
  if (!device.Read(0, kSectorBytes, first)) return {};
  if (ParseBootSector(first, device.Size())) return {{0, device.Size()}};
  if (!HasTableSignature(first) || !HasValidBootFlags(first)) return {};
  const std::uint64_t device_sectors = device.Size() / kSectorBytes;
  std::vector<VolumeExtent> volumes;
  for (int i = 0; i < 4; ++i) {
    const Entry entry = EntryAt(first, i);
    if (IsFatType(entry.type))
      AddWhenFat(device, entry.start, entry.sectors, device_sectors, volumes);
  }
  for (int i = 0; i < 4; ++i) {
    const Entry entry = EntryAt(first, i);
    if (IsExtendedType(entry.type) && entry.start != 0 &&
        entry.start + entry.sectors <= device_sectors) {
      AddLogicalVolumes(device, entry, volumes);
    }
  }
  return volumes;
}
