// The image readers on any bytes: the partition table, the boot sector, the
// FATs, the directories and the volume check. The input is followed by zeros
// up to 64 MiB, so that a boot sector can describe a FAT32 volume. When a
// replacement can be planned for a file at the root, the volume after its
// steps must pass the check again and hold the new bytes in that file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "fat/replace_plan.h"
#include "fat/volume_check.h"
#include "fuzz/require.h"
#include "mbr/partition_table.h"

namespace {

class ZeroExtendedDevice : public BlockDevice {
 public:
  explicit ZeroExtendedDevice(std::string_view input) : input_(input) {}

  bool Read(std::uint64_t offset, std::size_t size, std::string& out) override {
    if (offset > kSize || size > kSize - offset) return false;
    out.assign(size, '\0');
    if (offset < input_.size()) {
      const std::size_t count = std::min<std::uint64_t>(size, input_.size() - offset);
      out.replace(0, count, input_.substr(offset, count));
    }
    for (auto it = written_.lower_bound(offset); it != written_.end() && it->first < offset + size;
         ++it) {
      out[it->first - offset] = it->second;
    }
    return true;
  }
  bool Write(std::uint64_t offset, std::string_view bytes) override {
    if (offset > kSize || bytes.size() > kSize - offset) return false;
    for (std::size_t i = 0; i < bytes.size(); ++i) written_[offset + i] = bytes[i];
    return true;
  }
  bool Sync() override { return true; }
  std::uint64_t Size() const override { return kSize; }

 private:
  static constexpr std::uint64_t kSize = std::uint64_t{64} << 20;
  std::string_view input_;
  std::map<std::uint64_t, char> written_;
};

std::string CheckReplacement(const FatVolume& volume, const VolumeMap& map, const DirEntry& file) {
  const std::string contents = "replaced by the fuzzer";
  const auto steps = PlanReplacement(volume, map, file, contents, {});
  if (!steps) return "";
  if (!ApplySteps(volume.device(), *steps)) return "a planned step failed";
  const auto after =
      FatVolume::Open(volume.device(), volume.offset(), volume.device().Size() - volume.offset());
  if (!after) return "the volume no longer opens";
  if (!CheckVolume(*after)) return "the volume check fails after a replacement";
  const auto root = after->ReadDirectory(0);
  const auto same = std::find_if(root->begin(), root->end(),
                                 [&file](const DirEntry& e) { return e.index == file.index; });
  if (same == root->end()) return "the replaced file's entry is gone";
  if (after->ReadFile(*same) != contents) return "the replaced file does not read back";
  return "";
}

void ExerciseVolume(BlockDevice& device, std::uint64_t offset, std::uint64_t size) {
  const auto volume = FatVolume::Open(device, offset, size);
  if (!volume) return;
  volume->Lookup("WINDOWS\\INF\\MACHINE.INF");
  FindWindowsFolders(*volume);
  const auto root = volume->ReadDirectory(0);
  const auto map = CheckVolume(*volume);
  if (!root || !map) return;
  for (const DirEntry& entry : *root) {
    if (entry.Has(fat_attribute::kDirectory) || entry.Has(fat_attribute::kVolumeLabel)) continue;
    Require(volume->ReadFile(entry) ? "" : "a file of a checked volume cannot be read");
    Require(CheckReplacement(*volume, *map, entry));
    return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  ZeroExtendedDevice device(input);
  for (const VolumeExtent& extent : FindFatVolumes(device)) {
    ExerciseVolume(device, extent.offset, extent.size);
  }
  return 0;
}
