// The invariants of test_support/invariants.h on the sample files, on each of
// them with one needed section missing, and on hostile inputs.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "inf/inf_document.h"
#include "patches/patch_tables.h"
#include "patches/patches.h"
#include "test_support/invariants.h"
#include "test_support/temp_dir.h"

namespace {

const PatchProcedure kProcedures[] = {
    {PatchMshdcInf, MshdcInfSteps()},
    {PatchMachineInf, MachineInfSteps()},
    {PatchUsbInf, UsbInfSteps()},
};
const char* const kRegistryKeys[] = {
    R"(HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\hdc)",
    R"(HKEY_LOCAL_MACHINE\Enum\MF)",
    R"(HKEY_LOCAL_MACHINE\Enum\PCI)",
};

std::string Sample(const std::string& name) {
  return ReadBytes(std::string(KESTRA32_EXAMPLES) + "/" + name);
}

std::string Repeated(const std::string& piece, std::size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

std::string Garbage(std::size_t size) {
  std::mt19937 random(8086);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

struct Input {
  const char* name;
  std::string bytes;
};

std::vector<Input> Inputs() {
  const std::string machine = Sample("INF/MACHINE.INF");
  const std::string long_name(10000, 'S');
  return {
      {"MshdcSample", Sample("INF/MSHDC.INF")},
      {"MachineSample", machine},
      {"UsbSample", Sample("INF/USB.INF")},
      {"RegistrySample", Sample("SYSTEM.REG")},
      {"Empty", ""},
      {"BinaryGarbage", Garbage(1 << 16)},
      {"OnlyCr", std::string(100000, '\r')},
      {"OnlyCtrlZ", std::string(1000, '\x1a')},
      {"NulBytes", std::string(1000, '\0') + machine + std::string(10, '\0') +
                       std::string("\r\n\0[Strings]\0", 13)},
      {"LineOf50MiB", machine + std::string(50U << 20, 'x')},
      {"LineOf50MiBInSection", "[Strings]\r\n" + std::string(50U << 20, '=') + "\r\n" + machine},
      {"HundredThousandHeaders", machine + Repeated("[Strings]\r\n", 100000)},
      {"LongHeaderNames",
       Repeated("[" + long_name + "]\r\n" + long_name + "=8086\r\n", 20) + machine},
      {"OnlyBrackets", "REGEDIT4\r\n" + Repeated("[\r\n", 10000)},
      {"BracketsNamingTheKeys",
       "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Enum\\PCI\n[\n[HKEY_LOCAL_MACHINE\\Enum\\MF]]\n"},
  };
}

class InvariantTest : public testing::TestWithParam<Input> {
 protected:
  TempDir folder_;
};

TEST_P(InvariantTest, HoldsForTheDocumentEachPatchAndTheRegistry) {
  const std::string& bytes = GetParam().bytes;
  EXPECT_EQ(RoundTripViolation(bytes, folder_.path()), "");
  EXPECT_EQ(RoundTripViolation(bytes), "");
  for (const PatchProcedure& procedure : kProcedures) {
    EXPECT_EQ(PatchViolation(procedure, bytes, folder_.path()), "");
    EXPECT_EQ(PatchViolation(procedure.steps, bytes), "");
  }
  EXPECT_EQ(FileAndMemoryDifference(TableOf(kProcedures), bytes, folder_.path()), "");
  for (const char* key : kRegistryKeys) EXPECT_EQ(RegistryDeletionViolation(bytes, key), "");
}

INSTANTIATE_TEST_SUITE_P(Inputs, InvariantTest, testing::ValuesIn(Inputs()),
                         [](const testing::TestParamInfo<Input>& info) { return info.param.name; });

// The steps run on a document loaded from bytes write what the patch of a file
// holding those bytes saves.
TEST(InMemoryPatchTest, WritesTheBytesThatThePatchedFileHolds) {
  const char* const samples[] = {"INF/MSHDC.INF", "INF/MACHINE.INF", "INF/USB.INF"};
  TempDir folder;
  for (std::size_t i = 0; i < std::size(samples); ++i) {
    const std::string path = folder.File("patched.inf");
    WriteBytes(path, Sample(samples[i]));
    ASSERT_EQ(kProcedures[i].patch(path.c_str()), 1);
    InfDocument document;
    ASSERT_EQ(document.LoadBytes(Sample(samples[i])), 1);
    ASSERT_EQ(RunSteps(document, kProcedures[i].steps), 1);
    std::string written;
    ASSERT_TRUE(document.WriteBytes([&written](std::string_view bytes) {
      written += bytes;
      return true;
    }));
    EXPECT_EQ(written, ReadBytes(path)) << samples[i];
  }
}

// Renames the first header of section, whatever its letter case.
std::string WithoutSection(std::string bytes, std::string_view section) {
  const std::string header = "[" + std::string(section) + "]";
  auto folded = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  const std::size_t at = folded(bytes).find(folded(header));
  if (at != std::string::npos) bytes.insert(at + header.size() - 1, "_gone");
  return bytes;
}

TEST(MissingSectionTest, AnySectionOfTheOrderLeavesTheFileUnchanged) {
  const char* const samples[] = {"INF/MSHDC.INF", "INF/MACHINE.INF", "INF/USB.INF"};
  TempDir folder;
  for (std::size_t i = 0; i < std::size(samples); ++i) {
    const std::string sample = Sample(samples[i]);
    for (const SectionStep& step : kProcedures[i].steps) {
      const std::string bytes = WithoutSection(sample, step.section);
      ASSERT_NE(bytes, sample) << step.section;
      const std::string path = folder.File("lacking.inf");
      WriteBytes(path, bytes);
      EXPECT_EQ(kProcedures[i].patch(path.c_str()), 0) << step.section;
      EXPECT_EQ(ReadBytes(path), bytes) << step.section;
    }
  }
}

// A group that a first patch put beyond "PCI_DRV_AddReg" is inserted again by
// every later patch, and the checks accept exactly that.
TEST(MissingSectionTest, MiniportGroupBeyondTheSectionIsTheOneRepeatedInsertion) {
  const std::string_view irq_name = MachineInfSteps().items[0].scans.items[1].entries.items[0].line;
  const std::string bytes = "[PCI_DRV_AddReg]\r\n" + std::string(irq_name) +
                            "\r\n[MS_SYS]\r\n[ControlFlags]\r\n[Strings]\r\n";
  TempDir folder;
  EXPECT_EQ(PatchViolation(kProcedures[1], bytes, folder.path()), "");
  // Here the first patch's lines for IDE miniports lengthen the section, and
  // the second patch puts the group inside it.
  const std::string lengthened = "[PCI_DRV_AddReg]\r\n" + std::string(irq_name) +
                                 "\r\nHKLM,System\\CurrentControlSet\\Services\\VxD\\PCI\\"
                                 "IDEMiniports\r\n[MS_SYS]\r\n[ControlFlags]\r\n[Strings]\r\n";
  EXPECT_EQ(PatchViolation(MachineInfSteps(), lengthened), "");
  const std::string path = folder.File("patched.inf");
  const std::string twice = ReadBytes(path);
  PatchMachineInf(path.c_str());
  EXPECT_GT(ReadBytes(path).size(), twice.size());
}

// Faulty stand-ins for a patch, each of which the checks must reject.
int AppendsForeignLine(const char* path) {
  WriteBytes(path, ReadBytes(path) + "\r\nforeign=1");
  return 1;
}
int ChangesAByte(const char* path) {
  std::string bytes = ReadBytes(path);
  bytes[bytes.find("MS_SYS")] = 'm';
  WriteBytes(path, bytes);
  return 1;
}
int AppendsTableLineEachTime(const char* path) {
  WriteBytes(path,
             ReadBytes(path) + "\r\n" +
                 std::string(kProcedures[1].steps.items[1].scans.items[0].entries.items[0].line));
  return 1;
}
int RepeatsAGroupInsideItsSection(const char* path) {
  std::string bytes = ReadBytes(path);
  const Table<Entry> irq = MachineInfSteps().items[0].scans.items[1].entries;
  for (std::size_t i = 3; i < irq.size; ++i)
    bytes.insert(bytes.find("\r\n") + 2, std::string(irq.items[irq.size + 2 - i].line) + "\r\n");
  WriteBytes(path, bytes);
  return 1;
}

TEST(InvariantCheckTest, RejectsFaultyPatches) {
  const std::string sample = Sample("INF/MACHINE.INF");
  TempDir folder;
  for (int (*faulty)(const char*) : {AppendsForeignLine, ChangesAByte, AppendsTableLineEachTime,
                                     RepeatsAGroupInsideItsSection}) {
    EXPECT_NE(PatchViolation({faulty, MachineInfSteps()}, sample, folder.path()), "");
  }
}

}  // namespace
