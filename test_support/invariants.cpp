#include "test_support/invariants.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "inf/inf_document.h"
#include "inf/text.h"
#include "platform/posix/regedit_file.h"
#include "test_support/temp_dir.h"

namespace {

// Views of the lines of some bytes, valid while they live.
using Lines = std::vector<std::string_view>;
// Patches bytes as a procedure patches a file that holds them; its result.
// The document holds the bytes loaded, and may be patched in their stead.
using BytePatch = std::function<int(InfDocument& document, std::string& bytes)>;

std::string DocumentedConversion(std::string bytes) {
  bytes.resize(std::min(bytes.size(), bytes.find('\x1a')));
  std::string converted;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) converted += '\r';
    converted += bytes[i];
  }
  return converted;
}

// The lines a load makes of bytes: the pieces between LFs up to the first
// Ctrl-Z, each without a CR directly before its LF.
Lines LinesOf(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\x1a'));
  Lines lines;
  for (std::size_t lf = 0; (lf = bytes.find('\n')) != std::string_view::npos;
       bytes.remove_prefix(lf + 1)) {
    lines.push_back(bytes.substr(0, lf > 0 && bytes[lf - 1] == '\r' ? lf - 1 : lf));
  }
  lines.push_back(bytes);
  return lines;
}

std::string Joined(const Lines& lines) {
  std::string bytes;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) bytes += "\r\n";
    bytes += lines[i];
  }
  return bytes;
}

// The lines of after that are not in before, when before is after with some
// lines taken out; nothing otherwise.
std::optional<Lines> Inserted(const Lines& before, const Lines& after) {
  Lines inserted;
  std::size_t kept = 0;
  for (const std::string_view line : after) {
    if (kept < before.size() && line == before[kept]) {
      ++kept;
    } else {
      inserted.push_back(line);
    }
  }
  if (kept != before.size()) return std::nullopt;
  return inserted;
}

bool HasEverySection(const InfDocument& document, Table<SectionStep> steps) {
  return std::all_of(steps.begin(), steps.end(), [&](const SectionStep& step) {
    POSITION last = nullptr;
    return document.FindSection(step.section, last) != nullptr;
  });
}

bool IsTableLine(Table<SectionStep> steps, std::string_view line) {
  for (const SectionStep& step : steps)
    for (const Scan& scan : step.scans)
      for (const Entry& entry : scan.entries)
        if (entry.line == line) return true;
  return false;
}

// True when document holds line outside the section named section.
bool HoldsBeyond(const InfDocument& document, std::string_view section, std::string_view line) {
  POSITION last = nullptr;
  const POSITION header = document.FindSection(section, last);
  bool inside = false;
  for (POSITION at = document.GetHeadPosition(); at != nullptr;
       at = InfDocument::GetNextPosition(at)) {
    if (at == header) inside = true;
    if (!inside && InfDocument::GetAt(at) == line) return true;
    if (at == last) inside = false;
  }
  return false;
}

// The lines of the group headed by the looked-for entry first.
std::vector<std::string_view> Group(const Scan& scan, std::size_t first) {
  std::vector<std::string_view> lines{scan.entries.items[first].line};
  for (std::size_t i = first + 1; i < scan.entries.size && !scan.entries.items[i].looked_for; ++i) {
    lines.push_back(scan.entries.items[i].line);
  }
  return lines;
}

// True when the group stands right after the line that lies
// lines_past_present_stop lines past the section's first line matching the
// stop entry, where the scan puts a missing group.
bool GroupPlacedPastStop(const InfDocument& document, std::string_view section, const Scan& scan,
                         const std::vector<std::string_view>& group) {
  POSITION last = nullptr;
  POSITION at = document.FindSection(section, last);
  const std::string_view stop = scan.entries.items[scan.stop_entry].line;
  do {
    if (at == last) return false;
    at = InfDocument::GetNextPosition(at);
  } while (!EqualsIgnoringCase(InfDocument::GetAt(at), stop));
  for (std::size_t n = 0; n < scan.lines_past_present_stop && at != nullptr; ++n) {
    at = InfDocument::GetNextPosition(at);
  }
  for (const std::string_view line : group) {
    at = at == nullptr ? nullptr : InfDocument::GetNextPosition(at);
    if (at == nullptr || InfDocument::GetAt(at) != line) return false;
  }
  return true;
}

// Takes out of inserted each group that the second patch put past a present
// stop entry because the first patch had put it beyond the section, where no
// scan finds it; the second may put it beyond again, or, when the first made
// the section longer, inside it. What stays was inserted without a reason.
void TakeOutGroupsBeyond(Table<SectionStep> steps, const InfDocument& patched,
                         const InfDocument& again, std::multiset<std::string>& inserted) {
  for (const SectionStep& step : steps) {
    for (const Scan& scan : step.scans) {
      if (scan.lines_past_present_stop == 0) continue;
      for (std::size_t i = 0; i < scan.entries.size; ++i) {
        const std::vector<std::string_view> group = Group(scan, i);
        if (!scan.entries.items[i].looked_for || static_cast<int>(i) == scan.stop_entry ||
            !HoldsBeyond(patched, step.section, group[0]) ||
            !GroupPlacedPastStop(again, step.section, scan, group)) {
          continue;
        }
        for (const std::string_view line : group) {
          const auto found = inserted.find(std::string(line));
          if (found != inserted.end()) inserted.erase(found);
        }
      }
    }
  }
}

std::string SecondPatchViolation(Table<SectionStep> steps, const BytePatch& patch,
                                 const std::string& saved, const Lines& patched_lines) {
  InfDocument document;
  document.LoadBytes(saved);
  std::string twice = saved;
  patch(document, twice);
  if (twice == saved) return {};
  InfDocument patched;  // as saved, without the second patch's lines
  patched.LoadBytes(saved);
  InfDocument again;
  again.LoadBytes(twice);
  const std::optional<Lines> inserted = Inserted(patched_lines, LinesOf(twice));
  if (!inserted) return "the second patch changed or removed a line";
  std::multiset<std::string> unexplained(inserted->begin(), inserted->end());
  TakeOutGroupsBeyond(steps, patched, again, unexplained);
  if (!unexplained.empty()) return "the second patch inserted " + *unexplained.begin();
  return {};
}

std::string Written(const InfDocument& document) {
  std::string bytes;
  bytes.reserve(document.Text().size());
  document.WriteBytes([&bytes](std::string_view piece) {
    bytes += piece;
    return true;
  });
  return bytes;
}

// Runs steps on document, loaded from text, and puts in text what a save
// writes, as a patch of a file does; the steps' result.
int PatchInMemory(Table<SectionStep> steps, InfDocument& document, std::string& text) {
  const int result = RunSteps(document, steps);
  if (result == 1 && document.IsModified()) text = Written(document);
  return result;
}

std::string Violation(Table<SectionStep> steps, const BytePatch& patch, const std::string& bytes) {
  InfDocument loaded;
  loaded.LoadBytes(bytes);
  const bool complete = HasEverySection(loaded, steps);
  std::string saved = bytes;
  const int result = patch(loaded, saved);
  if (!complete)
    return result == 0 && saved == bytes ? "" : "a file without a needed section changed";
  if (result != 1) return "the patch failed on a file with every section";
  if (saved == bytes) return {};
  const Lines patched_lines = LinesOf(saved);
  if (Joined(patched_lines) != saved) return "the saved lines are not joined by CR LF";
  const std::optional<Lines> inserted = Inserted(LinesOf(bytes), patched_lines);
  if (!inserted) return "a loaded line was changed, moved or removed";
  for (const std::string_view line : *inserted) {
    if (!IsTableLine(steps, line)) return "inserted a line of no table: " + std::string(line);
  }
  return SecondPatchViolation(steps, patch, saved, patched_lines);
}

}  // namespace

std::string RoundTripViolation(const std::string& bytes) {
  InfDocument document;
  if (document.LoadBytes(bytes) != 1) return "the bytes did not load";
  if (Written(document) != DocumentedConversion(bytes)) return "the written bytes differ";
  return {};
}

std::string RoundTripViolation(const std::string& bytes, const std::string& folder) {
  const std::string in = folder + "/in.inf";
  const std::string out = folder + "/out.inf";
  WriteBytes(in, bytes);
  InfDocument document;
  if (document.Load(in.c_str()) != 1) return "the file did not load";
  if (document.Save(out.c_str()) != 1) return "the save failed";
  if (ReadBytes(out) != DocumentedConversion(bytes)) return "the saved bytes differ";
  if (ReadBytes(in) != bytes) return "the loaded file changed";
  return {};
}

std::string PatchViolation(Table<SectionStep> steps, const std::string& bytes) {
  return Violation(
      steps,
      [steps](InfDocument& document, std::string& text) {
        return PatchInMemory(steps, document, text);
      },
      bytes);
}

std::string PatchViolation(const PatchProcedure& procedure, const std::string& bytes,
                           const std::string& folder) {
  const std::string path = folder + "/patched.inf";
  return Violation(
      procedure.steps,
      [&](InfDocument& /*document*/, std::string& text) {
        WriteBytes(path, text);
        const int result = procedure.patch(path.c_str());
        text = ReadBytes(path);
        return result;
      },
      bytes);
}

std::string FileAndMemoryDifference(Table<PatchProcedure> procedures, const std::string& bytes,
                                    const std::string& folder) {
  const std::string path = folder + "/patched.inf";
  WriteBytes(path, bytes);
  std::string expected = bytes;
  for (const PatchProcedure& procedure : procedures) {
    InfDocument document;
    document.LoadBytes(expected);
    const int result = PatchInMemory(procedure.steps, document, expected);
    if (procedure.patch(path.c_str()) != result) return "the file's patch gave another result";
    if (ReadBytes(path) != expected) return "the patched file differs from the patch in memory";
  }
  return {};
}

std::string RegistryDeletionViolation(const std::string& text, std::string_view key_path) {
  std::string expected;
  bool in_tree = false;
  for (std::size_t begin = 0; begin < text.size();) {
    const std::size_t end = std::min(text.find('\n', begin), text.size() - 1) + 1;
    const std::string_view line = std::string_view(text).substr(begin, end - begin);
    if (line.front() == '[') in_tree = platform::regedit::KeyExists(line, key_path);
    if (!in_tree) expected += line;
    begin = end;
  }
  std::string edited = text;
  const bool removed = platform::regedit::RemoveKeyTree(edited, key_path);
  if (edited != expected) return "the text after the deletion differs";
  if (removed != (expected != text)) return "the result does not tell whether a key was removed";
  if (platform::regedit::KeyExists(edited, key_path)) return "the key is still there";
  return {};
}
