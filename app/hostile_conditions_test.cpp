// Whole runs of the program, started by a shell, on a copy of the sample tree
// made hostile in one way each. Every run exits with 0 before its timeout; the
// files that the condition hits stay as they were, every other file gets its
// new bytes, each keeps its kind, owner, group and permission bits, and no
// file is added or left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "test_support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

enum : unsigned { kMshdc = 1, kMachine = 2, kUsb = 4, kRegistry = 8, kAll = 15 };

// Shell commands run at the tree's top: $I is its INF folder, $R its registry
// file, and $K runs the program.
struct Row {
  const char* name;
  const char* make_hostile;
  unsigned old_files;
  const char* run = "$K";
  std::string registry = "WINDOWS/SYSTEM.REG";
  bool needs_root = false;
};

const Row kRows[] = {
    {"an INF file that is a FIFO", "rm $I/MSHDC.INF && mkfifo $I/MSHDC.INF", kMshdc},
    {"a registry file that is a FIFO", "rm $R && mkfifo $R", kRegistry},
    {"a sparse file beyond what a string holds", "truncate -s 9223372036854775807 $I/MSHDC.INF",
     kMshdc},
    // 5120 bytes (the shell counts blocks of 512): the new MSHDC.INF and
    // USB.INF fit, but not the new MACHINE.INF nor the rewritten registry
    // export, and the slot after MACHINE.INF's still runs.
    {"a file size limit", ":", kMachine | kRegistry, "ulimit -f 10 && $K"},
    // Written into a pipe whose only reader is closed.
    {"help into a closed pipe", ":", kAll, "mkfifo p && exec 3<>p 4>p 3<&- && rm p && $K /? >&4"},
    {"INF and registry files that are links",
     "mv $I/USB.INF . && ln -s ../../USB.INF $I && mv $R . && ln -s $PWD/SYSTEM.REG $R", 0},
    {"a dangling link", "rm $I/USB.INF && ln -s GONE.INF $I/USB.INF", kUsb},
    {"a link loop", "rm $I/USB.INF && ln -s USB.INF $I/USB.INF", kUsb},
    {"a file of another user", "chown 1234:1234 $I/MACHINE.INF && chmod 640 $I/MACHINE.INF", 0,
     "$K", "WINDOWS/SYSTEM.REG", true},
    {"a registry file with a 240-character name", "mv WINDOWS/SYSTEM.REG $R", 0, "$K",
     std::string(236, 'R') + ".REG"},
};

class Tree {
 public:
  explicit Tree(const Row& row) : row_(row) {
    fs::copy(KESTRA32_EXAMPLES, dir_.File("WINDOWS"), fs::copy_options::recursive);
  }

  // The exit status of the commands.
  int Shell(const char* commands) const {
    const std::string variables = "I=WINDOWS/INF R=" + row_.registry + " K='timeout 300 " +
                                  KESTRA32_PROGRAM + "' WINDIR=$PWD/WINDOWS" +
                                  " KESTRA32_REGISTRY=$PWD/" + row_.registry;
    return std::system(
        ("cd " + dir_.path().string() + " && export " + variables + " && " + commands).c_str());
  }

  // In slot order: the three INF files, then the registry file.
  std::vector<std::string> Files() const {
    return {dir_.File("WINDOWS/INF/MSHDC.INF"), dir_.File("WINDOWS/INF/MACHINE.INF"),
            dir_.File("WINDOWS/INF/USB.INF"), dir_.File(row_.registry)};
  }

  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
      names.insert(entry.path().string());
    }
    return names;
  }

 private:
  TempDir dir_{fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path()};
  const Row& row_;
};

struct stat StatusOf(const std::string& path) {
  struct stat info {};
  lstat(path.c_str(), &info);
  return info;
}

auto Kind(const struct stat& info) {
  return std::tuple(info.st_mode, info.st_uid, info.st_gid);
}

// The same file, neither replaced nor written.
auto Identity(const struct stat& info) {
  return std::tuple(info.st_ino, info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
}

TEST(HostileConditionsTest, EndOnlyTheirOwnSlotAndKeepEveryFileSound) {
  const Row plain{"no condition", ":", 0};
  const Tree reference(plain);
  ASSERT_EQ(reference.Shell("$K"), 0);
  std::vector<std::string> new_bytes;
  for (const std::string& file : reference.Files()) new_bytes.push_back(ReadBytes(file));

  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    if (row.needs_root && geteuid() != 0) continue;
    const Tree tree(row);
    ASSERT_EQ(tree.Shell(row.make_hostile), 0);
    const std::vector<std::string> files = tree.Files();
    std::vector<struct stat> before;
    for (const std::string& file : files) before.push_back(StatusOf(file));
    const std::set<std::string> names = tree.Names();

    EXPECT_EQ(tree.Shell(row.run), 0);
    for (std::size_t i = 0; i < files.size(); ++i) {
      const struct stat after = StatusOf(files[i]);
      EXPECT_EQ(Kind(after), Kind(before[i])) << files[i];
      if ((row.old_files & (1U << i)) != 0) {
        EXPECT_EQ(Identity(after), Identity(before[i])) << files[i];
      } else {
        EXPECT_TRUE(ReadBytes(files[i]) == new_bytes[i]) << files[i] << " lacks its new bytes";
      }
    }
    EXPECT_EQ(tree.Names(), names);
  }
}

}  // namespace
