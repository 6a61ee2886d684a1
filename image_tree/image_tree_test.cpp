#include "image_tree/image_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "creg/creg_file.h"
#include "image/block_device.h"
#include "test_support/fat_image.h"
#include "test_support/fat_tree.h"
#include "vhd/image_detect.h"
#include "vhd/vhd_device.h"

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

// Where the device holds only some of its bytes, as a dynamic VHD does, new
// file contents go there when they fit, and elsewhere when they do not.
TEST(ImageTree, PutsNewBytesWhereTheDeviceHoldsThemWhenTheyFit) {
  const TestImage image(TestImage::Bare("64M", "-F 16"), 0);
  ASSERT_TRUE(image.made());
  FillWindowsTree(image, FatType::kFat16);
  constexpr std::uint64_t kHeld = 40 << 20;  // from here to the end
  for (const std::size_t size : {std::size_t{100000}, std::size_t{30} << 20}) {
    MemoryDevice device(image.Bytes());
    std::optional<ImageTree> tree = ImageTree::Open(
        device, "", [](std::uint64_t offset, std::uint64_t) { return offset >= kHeld; });
    ASSERT_TRUE(tree && tree->ReplaceFile("INF\\MACHINE.INF", Pattern(size, 'p'), {}));
    const std::optional<FatVolume> volume = FatVolume::Open(device, 0, device.Size());
    const auto chain = volume->FileChain(*volume->Lookup("WINDOWS\\INF\\MACHINE.INF"));
    ASSERT_TRUE(chain);
    const bool held = std::all_of(chain->begin(), chain->end(), [&](std::uint32_t cluster) {
      return volume->geometry().ClusterOffset(cluster) >= kHeld;
    });
    EXPECT_EQ(held, size < (20 << 20)) << size;
  }
}

// What fsck.fat -n may report after a crash: FAT copies that differ, clusters
// chained but reached by no file, and the FSInfo count that follows.
bool OnlyHarmless(const std::string& report) {
  return FsckHarmfulLines(report).empty();
}

// For each SYSTEM.DAT state, the digest of its listing by both readers and
// whether its bookkeeping is sound, one line a file.
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

// The writes of a whole run on a FAT16 volume, the same volume's in a dynamic
// VHD, where the new bytes of the largest INF file need blocks the file does
// not hold yet: the three INF files replaced and the three keys removed from
// SYSTEM.DAT. After every prefix of them, as a crash would leave the image (a
// VHD as qemu-img reads it), fsck.fat finds nothing worse than lost clusters,
// each INF file holds its old or its new bytes, and both readers list
// SYSTEM.DAT as the original less some of the three trees, each whole, with
// nothing wrong in its bookkeeping but space not yet freed.
class RunCrashMatrix : public testing::TestWithParam<bool> {
 protected:
  [[nodiscard]] static bool InVhd() { return GetParam(); }

  // Runs the writes of a run on the image, recorded by the device under it.
  void Run(BlockDevice& disk, std::vector<std::string>& registry_states) const {
    std::optional<ImageTree> tree = ImageTree::Open(disk, "");
    ASSERT_TRUE(tree);
    for (std::size_t i = 0; i < kInfs.size(); ++i) {
      ASSERT_TRUE(tree->ReplaceFile("INF\\" + kInfs[i], NewInf(i), {}));
    }
    for (const char* key : kDeletedKeys) {
      std::string bytes;
      ASSERT_TRUE(tree->ReadFile("SYSTEM.DAT", bytes));
      const std::optional<creg::Edit> edit = creg::PlanKeyRemoval(bytes, key);
      ASSERT_TRUE(edit);
      std::vector<FileEdit> writes;
      for (const creg::Write& write : *edit) writes.push_back({write.offset, write.bytes});
      ASSERT_TRUE(tree->EditFile("SYSTEM.DAT", writes));
      registry_states.push_back(registry_states.back());
      creg::ApplyEdit(registry_states.back(), *edit);
    }
  }

  static std::string NewInf(std::size_t i) {
    return Pattern(i == 2 ? 2500000 : 4000 + 9000 * i, 'n');
  }

  const std::vector<std::string> kInfs = {"MACHINE.INF", "usb.inf", "Fragmented Long Name.inf"};
  const TestImage image_{TestImage::Bare("64M", "-F 16"), 0};
  const TempDir dir_;
};

TEST_P(RunCrashMatrix, EveryPrefixOfARunsWritesLeavesASoundTree) {
  ASSERT_TRUE(image_.made());
  FillWindowsTree(image_, FatType::kFat16);
  const std::string registry = ReadBytes(KESTRA32_EXAMPLES "/SYSTEM.DAT");
  ASSERT_TRUE(image_.Put("::WINDOWS/SYSTEM.DAT", registry));
  std::vector<std::string> old_infs;
  for (const std::string& inf : kInfs) old_infs.push_back(*image_.Get("::WINDOWS/INF/" + inf));
  const std::string vhd = dir_.File("disk.vhd");
  ASSERT_TRUE(!InVhd() || Shell("qemu-img convert -f raw -O vpc -o subformat=dynamic '" +
                                image_.path() + "' '" + vhd + "'"));

  std::vector<std::string> states{registry};
  std::vector<DeviceStep> steps;
  std::string file = ReadBytes(InVhd() ? vhd : image_.path());
  if (InVhd()) {
    MemoryDevice device(file, MemoryDevice::kGrows);
    ImageDetection detection = DetectImage(device);
    ASSERT_EQ(detection.kind, ImageKind::kDynamicVhd);
    VhdDevice disk(device, detection.layout);
    Run(disk, states);
    steps = device.steps();
    ASSERT_GT(device.Size(), file.size()) << "no block allocated";
  } else {
    MemoryDevice device(file);
    Run(device, states);
    steps = device.steps();
  }

  const std::vector<std::string> whole = Listings(dir_, states);
  const std::set<std::string> allowed(whole.begin(), whole.end());
  ASSERT_EQ(allowed.size(), 4U);
  std::vector<std::string> registries;
  std::size_t prefix = 0;
  for (const DeviceStep& step : steps) {
    if (step.kind != DeviceStep::Kind::kWrite) continue;
    ++prefix;
    if (!InVhd()) {
      ASSERT_TRUE(FileDevice(image_.path()).Write(step.offset, step.bytes));
    } else {
      file.resize(std::max(file.size(), step.offset + step.bytes.size()));
      file.replace(step.offset, step.bytes.size(), step.bytes);
      WriteBytes(vhd, file);
    }
    ASSERT_TRUE(!InVhd() ||
                Shell("qemu-img convert -f vpc -O raw '" + vhd + "' '" + image_.path() + "'"))
        << "qemu-img reads no VHD after " << prefix << " writes";
    const std::string report = image_.Fsck();
    EXPECT_TRUE(OnlyHarmless(report)) << "after " << prefix << " writes:\n" << report;
    for (std::size_t i = 0; i < kInfs.size(); ++i) {
      const std::optional<std::string> read = image_.Get("::WINDOWS/INF/" + kInfs[i]);
      EXPECT_TRUE(read == old_infs[i] || read == NewInf(i))
          << kInfs[i] << " after " << prefix << " writes";
    }
    registries.push_back(image_.Get("::WINDOWS/SYSTEM.DAT").value_or(""));
  }
  // Between a change and its checksum, which the same sync covers, a crash
  // leaves the checksum stale: nothing worse.
  const std::vector<std::string> listed = Listings(dir_, registries);
  ASSERT_EQ(listed.size(), registries.size());
  const std::string stale = " stale-checksums";
  for (std::size_t i = 0; i < listed.size(); ++i) {
    const std::string& line = listed[i];
    const bool is_stale = line.size() > stale.size() &&
                          line.compare(line.size() - stale.size(), stale.size(), stale) == 0;
    EXPECT_EQ(
        allowed.count(is_stale ? line.substr(0, line.size() - stale.size()) + " sound" : line), 1U)
        << "SYSTEM.DAT after " << i + 1 << " writes: " << line;
  }
  EXPECT_EQ(listed.back(), whole.back()) << "SYSTEM.DAT after the whole run";
}

INSTANTIATE_TEST_SUITE_P(Images, RunCrashMatrix, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "DynamicVhd" : "Raw"; });

}  // namespace
