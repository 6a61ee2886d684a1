#include "inf/inf_document.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/fault_injection.h"
#include "test_support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const InfDocument& document) {
  std::vector<std::string> lines;
  for (POSITION p = document.GetHeadPosition(); p != nullptr; p = InfDocument::GetNextPosition(p)) {
    lines.emplace_back(InfDocument::GetAt(p));
  }
  return lines;
}

struct RoundTripCase {
  std::string file;
  std::vector<std::string> lines;
  std::string written;
};

TEST(InfDocumentTest, LoadSplitsLinesAndSaveWritesCrLfBetweenThem) {
  const std::string long_line(10000, 'x');
  const std::string with_nul("a\0b", 3);
  const RoundTripCase cases[] = {
      {"", {""}, ""},
      {"X\r\nY", {"X", "Y"}, "X\r\nY"},
      {"X\r\nY\r\n", {"X", "Y", ""}, "X\r\nY\r\n"},
      {"X\nY\n", {"X", "Y", ""}, "X\r\nY\r\n"},
      {"X\r\n\r\nY", {"X", "", "Y"}, "X\r\n\r\nY"},
      {"X\rY\r\n", {"X\rY", ""}, "X\rY\r\n"},
      {"X\r\n\x1a junk\r\n", {"X", ""}, "X\r\n"},
      {"X\r\nZ\x1a", {"X", "Z"}, "X\r\nZ"},
      {"\x1a", {""}, ""},
      {"\r\r\r", {"\r\r\r"}, "\r\r\r"},
      {"\r", {"\r"}, "\r"},
      {"\n", {"", ""}, "\r\n"},
      {"  [Strings]  \r\n\tkey = value \r\n",
       {"  [Strings]  ", "\tkey = value ", ""},
       "  [Strings]  \r\n\tkey = value \r\n"},
      {long_line + "\r\n" + long_line, {long_line, long_line}, long_line + "\r\n" + long_line},
      {with_nul + "\r\n", {with_nul, ""}, with_nul + "\r\n"},
  };
  for (const RoundTripCase& c : cases) {
    TempDir dir;
    WriteBytes(dir.File("IN.INF"), c.file);
    InfDocument document;
    ASSERT_EQ(document.Load(dir.File("IN.INF").c_str()), 1);
    EXPECT_EQ(Lines(document), c.lines) << "file: " << c.file.substr(0, 40);
    ASSERT_EQ(document.Save(dir.File("OUT.INF").c_str()), 1);
    EXPECT_EQ(ReadBytes(dir.File("OUT.INF")), c.written);
    InfDocument from_bytes;
    ASSERT_EQ(from_bytes.LoadBytes(c.file), 1);
    EXPECT_EQ(Lines(from_bytes), c.lines);
    std::string written;
    EXPECT_TRUE(from_bytes.WriteBytes([&written](std::string_view bytes) {
      written += bytes;
      return true;
    }));
    EXPECT_EQ(written, c.written);
  }
}

struct HeaderCase {
  const char* line;
  bool is_header;
};

TEST(InfDocumentTest, FindSectionMatchesHeadersByTheirTrimmedTextInAnyCase) {
  const HeaderCase cases[] = {
      {"[Strings]", true},       {"[STRINGS]", true},         {"[strings]", true},
      {" \t[Strings] \t", true}, {"[Strings];comment", true}, {"[StringsX]", false},
      {"[ Strings]", false},     {"[Strings", false},         {"Strings]", false},
      {"[String]", false},       {"[Strings ]", false},       {";[Strings]", false},
  };
  for (const HeaderCase& c : cases) {
    TempDir dir;
    WriteBytes(dir.File("A.INF"), std::string("[Other]\r\n") + c.line + "\r\nkey=1");
    InfDocument document;
    ASSERT_EQ(document.Load(dir.File("A.INF").c_str()), 1);
    POSITION last = nullptr;
    const POSITION header = document.FindSection("Strings", last);
    EXPECT_EQ(header != nullptr, c.is_header) << c.line;
    if (header != nullptr) {
      EXPECT_EQ(InfDocument::GetAt(header), c.line);
      EXPECT_EQ(InfDocument::GetAt(last), "key=1");
    }
  }
}

struct SectionCase {
  const char* file;
  const char* name;
  const char* header;  // null: not found
  const char* last;
};

TEST(InfDocumentTest, FindSectionTakesTheFirstHeaderAndEndsBeforeTheNextBracketLine) {
  const SectionCase cases[] = {
      {"[A]\r\na=1\r\n[B]\r\nb=1\r\n[A]\r\na=2", "A", "[A]", "a=1"},
      {"[A]\r\n[B]\r\nb=1", "A", "[A]", "[A]"},
      {"[B]\r\nb=1\r\n[A]", "A", "[A]", "[A]"},
      {"[A]\r\na=1\r\n", "A", "[A]", ""},
      {"[A]\r\na=1\r\n; note\r\n\r\n  [broken\r\nx", "a", "[A]", ""},
      {"[A]\r\na=1", "B", nullptr, nullptr},
      {"x=[A]\r\n[A]\r\na=[[1]\r\n [\r\nb", "A", "[A]", "a=[[1]"},
  };
  for (const SectionCase& c : cases) {
    TempDir dir;
    WriteBytes(dir.File("A.INF"), c.file);
    InfDocument document;
    ASSERT_EQ(document.Load(dir.File("A.INF").c_str()), 1);
    const POSITION untouched = document.GetHeadPosition();
    POSITION last = untouched;
    const POSITION header = document.FindSection(c.name, last);
    if (c.header == nullptr) {
      EXPECT_EQ(header, nullptr);
      EXPECT_EQ(last, untouched);
      continue;
    }
    ASSERT_NE(header, nullptr) << c.file;
    EXPECT_EQ(InfDocument::GetAt(header), c.header);
    EXPECT_EQ(InfDocument::GetAt(last), c.last) << c.file;
  }
}

TEST(InfDocumentTest, InsertedBracketLinesHeadAndEndSections) {
  TempDir dir;
  WriteBytes(dir.File("A.INF"), "x\r\n[A]\r\na=1\r\nb=1\r\n[C]\r\nc=1");
  InfDocument document;
  const POSITION before_load = document.InsertLineAfter(nullptr, "[N]");
  ASSERT_EQ(document.Load(dir.File("A.INF").c_str()), 1);
  POSITION a_value = document.GetHeadPosition();
  while (InfDocument::GetAt(a_value) != "a=1") a_value = InfDocument::GetNextPosition(a_value);
  const POSITION inserted = document.InsertLineAfter(a_value, " [B] ");
  document.InsertLineAfter(nullptr, "[A]");

  const struct {
    const char* name;
    const char* header;
    const char* last;
  } cases[] = {{"N", "[N]", "x"}, {"A", "[A]", "a=1"}, {"B", " [B] ", "b=1"}, {"C", "[C]", "c=1"}};
  for (const auto& c : cases) {
    POSITION last = nullptr;
    const POSITION header = document.FindSection(c.name, last);
    ASSERT_NE(header, nullptr) << c.name;
    EXPECT_EQ(InfDocument::GetAt(header), c.header);
    EXPECT_EQ(InfDocument::GetAt(last), c.last) << c.name;
  }
  POSITION last = nullptr;
  EXPECT_EQ(document.FindSection("N", last), before_load);
  EXPECT_EQ(document.FindSection("B", last), inserted);
}

TEST(InfDocumentTest, SaveKeepsEveryByteAroundInsertedLinesInLargeFiles) {
  std::string first_half;
  std::string second_half;
  for (int i = 0; i < 40000; ++i) {
    first_half += "key" + std::to_string(i) + "=a value of some length\r\n";
    second_half += "odd\rline " + std::to_string(i) + (i % 2 == 0 ? "\n" : "\r\n");
  }
  TempDir dir;
  WriteBytes(dir.File("A.INF"), first_half + "[S]\r\n" + second_half + "end");
  InfDocument document;
  ASSERT_EQ(document.Load(dir.File("A.INF").c_str()), 1);
  POSITION last = nullptr;
  const POSITION header = document.FindSection("S", last);
  ASSERT_NE(header, nullptr);
  document.InsertLineAfter(header, "new");
  ASSERT_EQ(document.Save(nullptr), 1);

  std::string expected_second_half;
  for (std::size_t lf = 0, start = 0; (lf = second_half.find('\n', start)) != std::string::npos;
       start = lf + 1) {
    const std::size_t end = second_half[lf - 1] == '\r' ? lf - 1 : lf;
    expected_second_half += second_half.substr(start, end - start) + "\r\n";
  }
  EXPECT_EQ(ReadBytes(dir.File("A.INF")),
            first_half + "[S]\r\nnew\r\n" + expected_second_half + "end");
}

// A document loaded from a file of two lines, "[A]" and "x".
class LoadedDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(path_, "[A]\r\nx");
    ASSERT_EQ(document_.Load(path_.c_str()), 1);
  }

  TempDir dir_;
  std::string path_ = dir_.File("A.INF");
  InfDocument document_;
};

TEST_F(LoadedDocumentTest, InsertedLinesAreWrittenAtTheirPlaces) {
  const POSITION header = document_.GetHeadPosition();
  const POSITION one = document_.InsertLineAfter(header, "1");
  document_.InsertLineAfter(one, "2");
  document_.InsertLineAfter(header, "0");
  document_.InsertLineAfter(nullptr, "end");
  EXPECT_TRUE(document_.IsModified());
  ASSERT_EQ(document_.Save(nullptr), 1);
  EXPECT_FALSE(document_.IsModified());
  EXPECT_EQ(ReadBytes(path_), "[A]\r\n0\r\n1\r\n2\r\nx\r\nend");
}

TEST_F(LoadedDocumentTest, SaveWithNothingInsertedLeavesTheFileAlone) {
  const auto before = fs::last_write_time(path_);
  fs::remove(path_);
  EXPECT_EQ(document_.Save(nullptr), 1);
  EXPECT_FALSE(fs::exists(path_));
  WriteBytes(path_, "other");
  fs::last_write_time(path_, before);
  EXPECT_EQ(document_.Save(nullptr), 1);
  EXPECT_EQ(ReadBytes(path_), "other");
  EXPECT_EQ(fs::last_write_time(path_), before);
}

TEST_F(LoadedDocumentTest, SaveRecreatesAFileDeletedSinceTheLoad) {
  fs::remove(path_);
  document_.InsertLineAfter(nullptr, "y");
  ASSERT_EQ(document_.Save(nullptr), 1);
  EXPECT_EQ(ReadBytes(path_), "[A]\r\nx\r\ny");
}

TEST_F(LoadedDocumentTest, ReadOnlyFileIsNotWrittenAndTheSaveFails) {
  fs::permissions(path_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  document_.InsertLineAfter(nullptr, "y");
  EXPECT_EQ(document_.Save(nullptr), 0);
  EXPECT_TRUE(document_.IsModified());
  EXPECT_EQ(ReadBytes(path_), "[A]\r\nx");
}

TEST_F(LoadedDocumentTest, EveryFailingFileOperationLeavesTheOldBytesAndNoStrayFile) {
  document_.InsertLineAfter(nullptr, "y");
  for (long n = 1;; ++n) {
    platform::fault::FailFileOperation(n);
    const int saved = document_.Save(nullptr);
    platform::fault::FailFileOperation(0);
    const std::vector<fs::path> files(fs::directory_iterator(dir_.path()), {});
    ASSERT_EQ(files.size(), 1U) << "fault at operation " << n;
    if (saved == 1) {
      EXPECT_EQ(ReadBytes(path_), "[A]\r\nx\r\ny");
      EXPECT_GT(n, 2);
      break;
    }
    EXPECT_EQ(ReadBytes(path_), "[A]\r\nx") << "fault at operation " << n;
    EXPECT_TRUE(document_.IsModified());
  }
}

TEST_F(LoadedDocumentTest, SecondLoadIsRefused) {
  EXPECT_EQ(document_.Load(path_.c_str()), 0);
  EXPECT_EQ(document_.LoadBytes("y"), 0);
  EXPECT_EQ(Lines(document_), (std::vector<std::string>{"[A]", "x"}));
}

TEST(InfDocumentTest, MissingFileIsNotLoadedNorCreatedAndNeverSaved) {
  TempDir dir;
  const std::string path = dir.File("MISSING.INF");
  InfDocument document;
  EXPECT_EQ(document.Load(path.c_str()), 0);
  EXPECT_FALSE(fs::exists(path));
  POSITION last = nullptr;
  EXPECT_EQ(document.FindSection("A", last), nullptr);
  document.InsertLineAfter(nullptr, "[A]");
  EXPECT_EQ(document.Save(nullptr), 0);
  EXPECT_EQ(document.Save(path.c_str()), 0);
  EXPECT_FALSE(fs::exists(path));
}

TEST(InfDocumentTest, BytesHaveNoFileToSaveToAndAFailingSinkEndsTheWrite) {
  InfDocument document;
  ASSERT_EQ(document.LoadBytes("[A]\r\nx"), 1);
  document.InsertLineAfter(nullptr, "y");
  int pieces = 0;
  EXPECT_FALSE(document.WriteBytes([&pieces](std::string_view) { return ++pieces > 1; }));
  EXPECT_EQ(pieces, 1);
  EXPECT_EQ(document.Save(nullptr), 0);
  EXPECT_TRUE(document.IsModified());
}

TEST(InfDocumentTest, AFailingOpenOrReadFailsTheLoadAndLeavesTheDocumentNew) {
  TempDir dir;
  WriteBytes(dir.File("A.INF"), "[A]\r\nx");
  InfDocument document;
  long n = 1;
  for (;; ++n) {
    platform::fault::FailFileOperation(n);
    const int loaded = document.Load(dir.File("A.INF").c_str());
    platform::fault::FailFileOperation(0);
    if (loaded == 1) break;
    EXPECT_FALSE(document.IsLoaded());
    EXPECT_TRUE(document.IsEmpty());
  }
  EXPECT_GE(n, 3);  // the open and the first read have failed it
  EXPECT_EQ(Lines(document), (std::vector<std::string>{"[A]", "x"}));
}

}  // namespace
