// Disk images for the FAT tests, made and read by the independent tools:
// truncate, sfdisk, mkfs.fat, mtools and fsck.fat. A file-backed device lets
// the code under test work on images too large to hold in memory.
#pragma once

#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>

#include "image/block_device.h"
#include "test_support/temp_dir.h"

// Runs a command through the shell; true when it exits with 0.
inline bool Shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

// A file on disk as a block device.
class FileDevice : public BlockDevice {
 public:
  explicit FileDevice(const std::string& path)
      : file_(path, std::ios::in | std::ios::out | std::ios::binary) {
    file_.seekg(0, std::ios::end);
    size_ = static_cast<std::uint64_t>(file_.tellg());
  }
  bool Read(std::uint64_t offset, std::size_t size, std::string& out) override {
    if (offset > size_ || size > size_ - offset) return false;
    out.assign(size, '\0');
    file_.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(file_.read(out.data(), static_cast<std::streamsize>(size)));
  }
  bool Write(std::uint64_t offset, std::string_view bytes) override {
    if (offset > size_ || bytes.size() > size_ - offset) return false;
    file_.seekp(static_cast<std::streamoff>(offset));
    return static_cast<bool>(file_.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
  }
  bool Sync() override { return static_cast<bool>(file_.flush()); }
  std::uint64_t Size() const override { return size_; }

 private:
  std::fstream file_;
  std::uint64_t size_ = 0;
};

// An image file in a fresh folder holding a FAT volume at an offset.
class TestImage {
 public:
  // The shell commands make the file named by $IMG.
  TestImage(const std::string& make_commands, std::uint64_t volume_offset)
      : path_(dir_.File("disk.img")), offset_(volume_offset) {
    made_ = Shell("IMG='" + path_ + "'; (" + make_commands + ") >/dev/null 2>&1");
  }
  // A bare volume: an empty file of the size, formatted with the mkfs.fat options.
  static std::string Bare(const std::string& size, const std::string& mkfs_options) {
    return "truncate -s " + size + " \"$IMG\" && mkfs.fat " + mkfs_options + " \"$IMG\"";
  }

  bool made() const { return made_; }
  const std::string& path() const { return path_; }
  std::uint64_t offset() const { return offset_; }

  // Runs an mtools command on the volume, e.g. Mtools("mmd", "::WINDOWS").
  bool Mtools(const std::string& tool, const std::string& arguments) const {
    return Shell("MTOOLS_SKIP_CHECK=1 " + tool + " -i '" + path_ + "@@" + std::to_string(offset_) +
                 "' " + arguments + " >/dev/null 2>&1");
  }
  // Copies the bytes into the volume at a path such as "::WINDOWS/SYSTEM.DAT".
  bool Put(const std::string& image_path, const std::string& bytes) const {
    const std::string source = dir_.File("put.bin");
    WriteBytes(source, bytes);
    return Mtools("mcopy", "-o '" + source + "' '" + image_path + "'");
  }
  // The bytes mcopy reads from the volume at the path.
  std::optional<std::string> Get(const std::string& image_path) const {
    const std::string target = dir_.File("get.bin");
    std::remove(target.c_str());
    if (!Mtools("mcopy", "-n '" + image_path + "' '" + target + "'")) return std::nullopt;
    return ReadBytes(target);
  }
  std::string Bytes() const { return ReadBytes(path_); }
  void Store(const std::string& bytes) const { WriteBytes(path_, bytes); }

  // What "fsck.fat -n" prints about the volume after its version line, and its exit code.
  std::string Fsck() const {
    std::string volume = path_;
    if (offset_ != 0) {
      volume = dir_.File("volume.img");
      if (!Shell("dd if='" + path_ + "' of='" + volume +
                 "' bs=512 skip=" + std::to_string(offset_ / 512) + " status=none")) {
        return "dd failed";
      }
    }
    const std::string report = dir_.File("fsck.txt");
    const int status = std::system(("fsck.fat -n '" + volume + "' >'" + report + "' 2>&1").c_str());
    std::string text = ReadBytes(report);
    text = text.substr(text.find('\n') + 1);
    for (std::size_t at = text.find(volume); at != std::string::npos; at = text.find(volume)) {
      text.replace(at, volume.size(), "IMAGE");
    }
    return text + "exit " + std::to_string(WEXITSTATUS(status));
  }

 private:
  TempDir dir_;
  std::string path_;
  std::uint64_t offset_;
  bool made_ = false;
};

// fsck.fat -n's lines for the states a crash may leave: FAT copies that differ
// while the plan writes them one after the other (fsck takes the first, which
// the plan writes first), clusters chained but reached by no file, and on
// FAT32 an FSInfo free count that counts those clusters as used.
inline const char* const kHarmlessFsckLines[] = {
    "FATs differ but appear to be intact\\.",
    "  Using first FAT\\.",
    "Reclaimed [0-9]+ unused clusters? \\([0-9]+ bytes\\)\\.",
    "Free cluster summary wrong \\([0-9]+ vs\\. really [0-9]+\\)",
    "  Auto-correcting\\.",
    "",
    "Leaving filesystem unchanged\\.",
    "IMAGE: [0-9]+ files, [0-9]+/[0-9]+ clusters",
    "exit [01]",
};

// The lines of an Fsck() report that are none of the harmless ones.
inline std::string FsckHarmfulLines(const std::string& report) {
  std::istringstream lines(report);
  std::string harmful;
  for (std::string line; std::getline(lines, line);) {
    bool harmless = false;
    for (const char* pattern : kHarmlessFsckLines)
      harmless |= std::regex_match(line, std::regex(pattern));
    if (!harmless) harmful += line + "\n";
  }
  return harmful;
}
