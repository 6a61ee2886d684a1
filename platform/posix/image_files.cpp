#include "platform/posix/image_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

#include "image_tree/image_tree.h"
#include "platform/platform.h"
#include "platform/posix/file_calls.h"
#include "vhd/image_detect.h"
#include "vhd/vhd_device.h"

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

// The image a run works on, kept open and locked from its first file to the
// end of the process, so that its volume is read and checked once. It is
// opened again when the path leads to another file or the file has changed
// since this process last used it.
class OpenImage {
 public:
  explicit OpenImage(const ImagePath& path) : image_(path.image), choice_(path.choice) {}
  ~OpenImage() {
    if (fd_ >= 0) CloseFile(fd_);
  }
  OpenImage(const OpenImage&) = delete;
  OpenImage& operator=(const OpenImage&) = delete;

  // Opens and locks the image and its tree: the file itself when it is a raw
  // image, else the virtual disk of its VHD.
  bool Open() {
    fd_ = OpenFile(image_.c_str(), O_RDWR | O_NOCTTY);
    off_t size = 0;
    if (fd_ < 0 || !LockWholeFile(fd_) || !SizeOfFile(fd_, size) || !StatFile(fd_, state_))
      return false;
    file_ = std::make_unique<FileDevice>(fd_, size, S_ISREG(state_.st_mode));
    ImageDetection detection = DetectImage(*file_);
    if (detection.kind == ImageKind::kRaw) {
      tree_ = ImageTree::Open(*file_, choice_);
    } else if (detection.kind != ImageKind::kRefused) {
      disk_ = std::make_unique<VhdDevice>(*file_, std::move(detection.layout));
      tree_ = ImageTree::Open(*disk_, choice_, [this](std::uint64_t offset, std::uint64_t size) {
        return disk_->IsAllocated(offset, size);
      });
    }
    return tree_.has_value();
  }

  [[nodiscard]] bool IsFor(const ImagePath& path) const {
    struct stat named {};
    struct stat now {};
    return path.image == image_ && path.choice == choice_ && stat(image_.c_str(), &named) == 0 &&
           named.st_dev == state_.st_dev && named.st_ino == state_.st_ino && StatFile(fd_, now) &&
           now.st_size == state_.st_size && now.st_mtim.tv_sec == state_.st_mtim.tv_sec &&
           now.st_mtim.tv_nsec == state_.st_mtim.tv_nsec;
  }

  bool Work(const std::function<bool(ImageTree&)>& work) {
    const bool done = work(*tree_);
    return StatFile(fd_, state_) && done;
  }

 private:
  std::string image_;
  std::string choice_;
  int fd_ = -1;
  struct stat state_ {};
  std::unique_ptr<FileDevice> file_;
  std::unique_ptr<VhdDevice> disk_;
  std::optional<ImageTree> tree_;
};

std::unique_ptr<OpenImage> open_image;

bool WithImageTree(const ImagePath& path, const std::function<bool(ImageTree&)>& work) {
  if (open_image == nullptr || !open_image->IsFor(path)) {
    open_image.reset();
    // Made before anything is opened, so that running out of memory leaves
    // nothing open behind.
    auto opened = std::make_unique<OpenImage>(path);
    if (!opened->Open()) {
      return false;
    }
    open_image = std::move(opened);
  }
  return open_image->Work(work);
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
