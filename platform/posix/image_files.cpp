#include "platform/posix/image_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <vector>

#include "image_tree/image_tree.h"
#include "vhd/image_detect.h"
#include "vhd/vhd_device.h"
#include "platform/platform.h"
#include "platform/posix/file_calls.h"

namespace platform::posix {
namespace {

// An open image file or block device. A file grows when written past its end,
// as a dynamic VHD's does; a block device never does.
class FileDevice : public GrowableDevice {
 public:
  FileDevice(int fd, off_t size, bool grows)
      : fd_(fd), size_(static_cast<std::uint64_t>(size)), grows_(grows) {}

  bool Read(std::uint64_t offset, std::size_t size, std::string& out) override {
    if (offset > size_ || size > size_ - offset) return false;
    out.resize(size);
    return ReadAllAt(fd_, out.data(), size, static_cast<off_t>(offset));
  }
  bool Write(std::uint64_t offset, std::string_view bytes) override {
    const bool inside = offset <= size_ && bytes.size() <= size_ - offset;
    if ((!inside && !grows_) ||
        !WriteAllAt(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset))) {
      return false;
    }
    size_ = std::max<std::uint64_t>(size_, offset + bytes.size());
    return true;
  }
  bool Sync() override { return SyncFile(fd_); }
  [[nodiscard]] std::uint64_t Size() const override { return size_; }

 private:
  int fd_;
  std::uint64_t size_;
  bool grows_;
};

bool IsImage(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode));
}

// The local time, which FAT directories hold.
FatTimestamp Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return MakeFatTimestamp(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec)
      .value_or(FatTimestamp{});
}

// The tree on the disk the file holds: the file itself when it is a raw image,
// else the virtual disk of its VHD.
bool WithDiskTree(FileDevice& file, const std::string& choice,
                  const std::function<bool(ImageTree&)>& work) {
  ImageDetection detection = DetectImage(file);
  if (detection.kind == ImageKind::kRaw) {
    std::optional<ImageTree> tree = ImageTree::Open(file, choice);
    return tree && work(*tree);
  }
  if (detection.kind == ImageKind::kRefused) return false;
  VhdDevice disk(file, std::move(detection.layout));
  std::optional<ImageTree> tree =
      ImageTree::Open(disk, choice, [&disk](std::uint64_t offset, std::uint64_t size) {
        return disk.IsAllocated(offset, size);
      });
  return tree && work(*tree);
}

bool WithImageTree(const ImagePath& path, const std::function<bool(ImageTree&)>& work) {
  const int fd = OpenFile(path.image.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) {
    return false;
  }
  bool done = false;
  try {
    off_t size = 0;
    struct stat info {};
    if (LockWholeFile(fd) && SizeOfFile(fd, size) && StatFile(fd, info)) {
      FileDevice file(fd, size, S_ISREG(info.st_mode));
      done = WithDiskTree(file, path.choice, work);
    }
  } catch (...) {
    CloseFile(fd);
    throw;
  }
  return CloseFile(fd) && done;
}

}  // namespace

std::optional<ImagePath> ImagePathOf(const char* path) {
  char windows[kMaxPath];
  const std::string_view full(path);
  if (!WindowsDirectory(windows, sizeof windows)) return std::nullopt;
  const std::string directory(windows);
  if (full.size() <= directory.size() + 1 || full.compare(0, directory.size(), directory) != 0 ||
      full[directory.size()] != '\\') {
    return std::nullopt;
  }
  // The image is the longest part of the Windows directory, up to a slash,
  // that names a file or a block device.
  for (std::size_t end = directory.size(); end != std::string::npos && end > 0;
       end = directory.rfind('/', end - 1)) {
    const std::string image = directory.substr(0, end);
    if (IsImage(image)) {
      return ImagePath{image, directory.substr(end),
                       std::string(full.substr(directory.size() + 1))};
    }
  }
  return std::nullopt;
}

bool ReadImageFile(const ImagePath& path, std::string& bytes) {
  return WithImageTree(path, [&](ImageTree& tree) { return tree.ReadFile(path.inside, bytes); });
}

bool ReplaceImageFile(const ImagePath& path, std::string_view contents) {
  return WithImageTree(
      path, [&](ImageTree& tree) { return tree.ReplaceFile(path.inside, contents, Now()); });
}

// Each run of writes up to a sync is one edit of the file, which ends synced.
bool EditImageFile(const ImagePath& path,
                   const std::function<std::optional<creg::Edit>(std::string_view)>& plan) {
  return WithImageTree(path, [&](ImageTree& tree) {
    std::string bytes;
    const std::optional<creg::Edit> edit =
        tree.ReadFile(path.inside, bytes) ? plan(bytes) : std::nullopt;
    if (!edit) return false;
    std::vector<FileEdit> writes;
    for (const creg::Write& write : *edit) {
      writes.push_back({write.offset, write.bytes});
      if (write.sync_after && !tree.EditFile(path.inside, writes)) return false;
      if (write.sync_after) writes.clear();
    }
    return writes.empty() || tree.EditFile(path.inside, writes);
  });
}

}  // namespace platform::posix
