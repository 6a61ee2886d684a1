#include "image_tree/image_tree.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "creg/creg_file.h"
#include "test_support/fat_image.h"
#include "test_support/fat_tree.h"

namespace {

const char* const kDeletedKeys[] = {R"(System\CurrentControlSet\Services\Class\hdc)", R"(Enum\MF)",
                                    R"(Enum\PCI)"};

// Two FAT16 volumes: a primary partition holding WINDOWS, and a logical one
// holding WIN98 and DATA, a folder with a SYSTEM.DAT but no INF folder.
class TwoVolumes : public testing::Test {
 protected:
  static constexpr std::uint64_t kFirst = 2048 * 512;
  static constexpr std::uint64_t kSecond = 24576 * 512;

  void SetUp() override {
    ASSERT_TRUE(image_.made());
    ASSERT_TRUE(Mtools(kFirst, "mmd ::WINDOWS ::WINDOWS/INF"));
    ASSERT_TRUE(Mtools(kSecond, "mmd ::WIN98 ::WIN98/INF ::DATA"));
    ASSERT_TRUE(Put(kFirst, "::WINDOWS/SYSTEM.DAT", "first"));
    ASSERT_TRUE(Put(kSecond, "::WIN98/SYSTEM.DAT", "second"));
    ASSERT_TRUE(Put(kSecond, "::DATA/SYSTEM.DAT", "data"));
  }

  [[nodiscard]] bool Mtools(std::uint64_t offset, const std::string& command) const {
    const std::size_t space = command.find(' ');
    return Shell("MTOOLS_SKIP_CHECK=1 " + command.substr(0, space) + " -i '" + image_.path() +
                 "@@" + std::to_string(offset) + "'" + command.substr(space) + " >/dev/null 2>&1");
  }
  [[nodiscard]] bool Put(std::uint64_t offset, const std::string& path,
                         const std::string& bytes) const {
    WriteBytes(dir_.File("put"), bytes);
    return Mtools(offset, "mcopy '" + dir_.File("put") + "' " + path);
  }

  // The SYSTEM.DAT of the tree the choice names, or "none".
  [[nodiscard]] std::string Chosen(const std::string& choice) const {
    FileDevice device(image_.path());
    std::optional<ImageTree> tree = ImageTree::Open(device, choice);
    std::string bytes;
    if (!tree) return "none";
    return tree->ReadFile("SYSTEM.DAT", bytes) ? bytes : "unreadable";
  }

  const TempDir dir_;
  const TestImage image_{
      "truncate -s 40M \"$IMG\" && printf 'label: dos\\nstart=2048, size=20480, type=6\\n"
      "start=22528, size=57344, type=f\\nstart=24576, size=40000, type=e\\n' | sfdisk \"$IMG\" "
      "&& mkfs.fat -F 16 --offset 2048 \"$IMG\" 10240 && mkfs.fat -F 16 --offset 24576 \"$IMG\" "
      "20000",
      kFirst};
};

TEST_F(TwoVolumes, FindsTheTreeTheChoiceNames) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"1", "first"},       {"/2", "second"}, {"2/WIN98", "second"},     {"WIN98", "second"},
      {"win98/", "second"}, {"DATA", "data"}, {"\\1\\windows", "first"}, {"1/WIN98", "none"},
      {"3", "none"},        {"0", "none"},    {"NOTHING", "none"},
  };
  for (const auto& [choice, expected] : cases) EXPECT_EQ(Chosen(choice), expected) << choice;
  EXPECT_EQ(Chosen(""), "none") << "two Windows folders";
  ASSERT_TRUE(Mtools(kSecond, "mdeltree ::WIN98"));
  EXPECT_EQ(Chosen(""), "first") << "one Windows folder";
}

// What fsck.fat -n may report after a crash: FAT copies that differ, clusters
// chained but reached by no file, and the FSInfo count that follows.
bool OnlyHarmless(const std::string& report) {
  return FsckHarmfulLines(report).empty();
}

// The listings of SYSTEM.DAT states by both readers, one line a file.
std::vector<std::string> Listings(const TempDir& dir, const std::vector<std::string>& states) {
  std::string command = KESTRA32_SCRIPTS "/creg_listing.py";
  for (std::size_t i = 0; i < states.size(); ++i) {
    WriteBytes(dir.File(std::to_string(i)), states[i]);
    command += " '" + dir.File(std::to_string(i)) + "'";
  }
  Shell(command + " >'" + dir.File("listings") + "'");
  std::vector<std::string> lines;
  std::istringstream text(ReadBytes(dir.File("listings")));
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

// A whole run's writes on a FAT16 volume: the three INF files replaced and the
// three keys removed from SYSTEM.DAT. After every prefix of them, as a crash
// would leave the image, fsck.fat finds nothing worse than lost clusters,
// each INF file holds its old or its new bytes, and both readers list
// SYSTEM.DAT as the original less some of the three trees, each whole.
TEST(ImageTreeCrashMatrix, EveryPrefixOfARunsWritesLeavesASoundTree) {
  const TestImage image(TestImage::Bare("64M", "-F 16"), 0);
  ASSERT_TRUE(image.made());
  FillWindowsTree(image, FatType::kFat16);
  const std::string registry = ReadBytes(KESTRA32_EXAMPLES "/SYSTEM.DAT");
  ASSERT_TRUE(image.Put("::WINDOWS/SYSTEM.DAT", registry));
  const std::vector<std::string> infs = {"MACHINE.INF", "usb.inf", "Fragmented Long Name.inf"};
  std::vector<std::string> old_infs;
  for (const std::string& inf : infs) old_infs.push_back(*image.Get("::WINDOWS/INF/" + inf));

  MemoryDevice device(image.Bytes());
  std::optional<ImageTree> tree = ImageTree::Open(device, "");
  ASSERT_TRUE(tree);
  for (std::size_t i = 0; i < infs.size(); ++i) {
    ASSERT_TRUE(tree->ReplaceFile("INF\\" + infs[i], Pattern(4000 + 9000 * i, 'n'), {}));
  }
  std::vector<std::string> states{registry};
  for (const char* key : kDeletedKeys) {
    std::string bytes;
    ASSERT_TRUE(tree->ReadFile("SYSTEM.DAT", bytes));
    const std::optional<creg::Edit> edit = creg::PlanKeyRemoval(bytes, key);
    ASSERT_TRUE(edit);
    std::vector<FileEdit> writes;
    for (const creg::Write& write : *edit) writes.push_back({write.offset, write.bytes});
    ASSERT_TRUE(tree->EditFile("SYSTEM.DAT", writes));
    states.push_back(states.back());
    creg::ApplyEdit(states.back(), *edit);
  }

  const TempDir dir;
  const std::vector<std::string> whole = Listings(dir, states);
  const std::set<std::string> allowed(whole.begin(), whole.end());
  ASSERT_EQ(allowed.size(), 4U);
  std::vector<std::string> registries;
  std::size_t prefix = 0;
  for (const DeviceStep& step : device.steps()) {
    if (step.kind != DeviceStep::Kind::kWrite) continue;
    ASSERT_TRUE(FileDevice(image.path()).Write(step.offset, step.bytes));
    ++prefix;
    const std::string report = image.Fsck();
    EXPECT_TRUE(OnlyHarmless(report)) << "after " << prefix << " writes:\n" << report;
    for (std::size_t i = 0; i < infs.size(); ++i) {
      const std::optional<std::string> read = image.Get("::WINDOWS/INF/" + infs[i]);
      EXPECT_TRUE(read == old_infs[i] || read == Pattern(4000 + 9000 * i, 'n'))
          << infs[i] << " after " << prefix << " writes";
    }
    registries.push_back(image.Get("::WINDOWS/SYSTEM.DAT").value_or(""));
  }
  const std::vector<std::string> listed = Listings(dir, registries);
  ASSERT_EQ(listed.size(), registries.size());
  for (std::size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(allowed.count(listed[i]), 1U) << "SYSTEM.DAT after " << i + 1 << " writes";
  }
}

}  // namespace
