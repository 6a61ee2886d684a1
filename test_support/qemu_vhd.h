// VHDs made by qemu-img from a raw FAT16 image made by mkfs.fat and mtools,
// and the virtual disks qemu-img reads from VHD files: the independent oracle
// of the VHD tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "test_support/fat_image.h"
#include "test_support/fat_tree.h"
#include "test_support/temp_dir.h"

class QemuVhd {
 public:
  // subformat is qemu-img's: "fixed" or "dynamic".
  explicit QemuVhd(const std::string& subformat)
      : raw_(TestImage::Bare("16M", "-F 16"), 0), path_(dir_.File("disk.vhd")) {
    made_ = raw_.made() && raw_.Put("::A.TXT", Pattern(5000, 'a')) && raw_.Mtools("mmd", "::DIR") &&
            raw_.Put("::DIR/B.BIN", Pattern(70000, 'b')) &&
            Shell("qemu-img convert -f raw -O vpc -o subformat=" + subformat + " '" + raw_.path() +
                  "' '" + path_ + "'");
  }

  bool made() const { return made_; }
  const std::string& path() const { return path_; }
  std::string Bytes() const { return ReadBytes(path_); }
  // A file in the test's folder.
  std::string File(const std::string& name) const { return dir_.File(name); }

  // The virtual disk qemu-img reads from the VHD bytes; nothing when it fails.
  std::optional<std::string> Disk(const std::string& vhd_bytes) const {
    const std::string vhd = dir_.File("read.vhd");
    const std::string raw = dir_.File("read.raw");
    WriteBytes(vhd, vhd_bytes);
    std::remove(raw.c_str());
    if (!Shell("qemu-img convert -f vpc -O raw '" + vhd + "' '" + raw + "' 2>/dev/null")) {
      return std::nullopt;
    }
    return ReadBytes(raw);
  }

 private:
  TempDir dir_;
  TestImage raw_;
  std::string path_;
  bool made_ = false;
};

struct DiskWrite {
  std::uint64_t offset = 0;
  std::string bytes;
};

inline std::string Applied(std::string disk, const std::vector<DiskWrite>& writes) {
  for (const DiskWrite& write : writes) disk.replace(write.offset, write.bytes.size(), write.bytes);
  return disk;
}
