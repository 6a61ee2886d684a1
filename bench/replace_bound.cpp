// replace_bound MODE FILE...: replaces each file by its own bytes the way
// kestra32 replaces an INF file (a new file beside it, written in 1 MiB
// pieces, fsync, rename over the old one, fsync of the folder), while doing
// as little else as a run could. It gives the benchmark the least a run can
// cost on the machine:
//   read      reads the file with read(2) into memory that every file reuses,
//             and looks at nothing;
//   map       maps the file into memory instead of reading it;
//   map-walk  maps it and, before writing, finds the end and the first '=' of
//             every line, the least work that examining each line takes.
// Exits 1 on any failure.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 20;

bool ReadAll(int fd, char* bytes, std::size_t size) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t got = read(fd, bytes + done, std::min(kPiece, size - done));
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

// Where the walk leaves its count, so that the compiler cannot leave it out.
volatile std::size_t lines_with_equals;

void WalkLines(std::string_view text) {
  std::size_t with_equals = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    if (text.substr(0, end).find('=') != std::string_view::npos) ++with_equals;
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  lines_with_equals = with_equals;
}

bool WriteReplacement(const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".bound";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool written = true;
  for (std::size_t done = 0; written && done < bytes.size(); done += kPiece) {
    const std::string_view piece = bytes.substr(done, kPiece);
    written = write(fd, piece.data(), piece.size()) == static_cast<ssize_t>(piece.size());
  }
  written = written && fsync(fd) == 0;
  if (close(fd) != 0 || !written || rename(temporary.c_str(), path.c_str()) != 0) return false;
  const std::string folder = path.substr(0, path.find_last_of('/') + 1) + ".";
  const int folder_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  const bool synced = folder_fd >= 0 && fsync(folder_fd) == 0;
  return folder_fd >= 0 && close(folder_fd) == 0 && synced;
}

bool Replace(const std::string& mode, const std::string& path, char* buffer, std::size_t room) {
  const int fd = open(path.c_str(), O_RDONLY);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) return false;
  const auto size = static_cast<std::size_t>(info.st_size);
  if (mode == "read") {
    if (size > room) return false;
    const bool read_all = ReadAll(fd, buffer, size);
    return close(fd) == 0 && read_all && WriteReplacement(path, {buffer, size});
  }
  void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
  if (mapped == MAP_FAILED) return false;
  const std::string_view text(static_cast<const char*>(mapped), size);
  if (mode == "map-walk") WalkLines(text);
  const bool replaced = WriteReplacement(path, text);
  return munmap(mapped, size) == 0 && close(fd) == 0 && replaced;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::fputs("usage: replace_bound read|map|map-walk FILE...\n", stderr);
    return 1;
  }
  const std::string mode = argv[1];
  if (mode != "read" && mode != "map" && mode != "map-walk") return 1;
  // One buffer, as large as the largest file, serves every file.
  std::size_t largest = 0;
  for (int i = 2; i < argc; ++i) {
    struct stat info {};
    if (stat(argv[i], &info) == 0)
      largest = std::max(largest, static_cast<std::size_t>(info.st_size));
  }
  const std::unique_ptr<char[]> buffer(new char[largest]);  // not cleared: read fills it
  for (int i = 2; i < argc; ++i) {
    if (!Replace(mode, argv[i], buffer.get(), largest)) {
      std::perror(argv[i]);
      return 1;
    }
  }
  return 0;
}
