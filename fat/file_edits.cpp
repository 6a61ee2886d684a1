#include "fat/file_edits.h"

#include <algorithm>

std::optional<std::vector<DeviceStep>> MapFileEdits(const FatVolume& volume, const DirEntry& file,
                                                    const std::vector<FileEdit>& edits) {
  const std::optional<std::vector<std::uint32_t>> chain = volume.FileChain(file);
  if (!chain) return std::nullopt;
  const std::uint64_t cluster_bytes = volume.geometry().ClusterBytes();
  std::vector<DeviceStep> steps;
  for (const FileEdit& edit : edits) {
    if (edit.offset > file.size || edit.bytes.size() > file.size - edit.offset) return std::nullopt;
    std::size_t done = 0;
    while (done < edit.bytes.size()) {
      const std::uint64_t at = edit.offset + done;
      const std::size_t piece =
          std::min<std::uint64_t>(edit.bytes.size() - done, cluster_bytes - at % cluster_bytes);
      steps.push_back(
          DeviceStep::WriteAt(volume.DeviceOffset(*chain, at), edit.bytes.substr(done, piece)));
      done += piece;
    }
  }
  steps.push_back(DeviceStep::SyncPoint());
  return steps;
}
