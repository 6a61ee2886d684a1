#include "patches/section_merge.h"

#include <string_view>
#include <vector>

#include "inf/inf_document.h"
#include "inf/text.h"

namespace {

struct Section {
  POSITION header;
  POSITION last;
};

struct ScanResult {
  std::vector<bool> found;
  POSITION anchor = nullptr;
  POSITION last_filtered = nullptr;
};

std::string_view OwnPart(const Entry& entry, ComparedPart part) {
  if (part == ComparedPart::kLine) return entry.line;
  const std::size_t equals = entry.line.find('=');
  return part == ComparedPart::kKey ? entry.line.substr(0, equals) : entry.line.substr(equals + 1);
}

// Sets compared to the part of line that the scan compares; false when the
// line does not take part in the scan. The line itself is never changed, so
// its key and value are looked at in place, without a copy.
bool TakePart(const Scan& scan, CString line, std::string_view& compared) {
  if (scan.compared == ComparedPart::kLine) {
    compared = line;
    return HoldsIgnoringCase(compared, scan.filter);
  }
  const std::size_t equals = line.find('=');
  if (equals == CString::npos) return false;
  const std::string_view key = TrimSpaces(line.substr(0, equals));
  if (!scan.filter_key.empty() && !EqualsIgnoringCase(key, scan.filter_key)) return false;
  compared = scan.compared == ComparedPart::kKey ? key : TrimSpaces(line.substr(equals + 1));
  return true;
}

bool StopFound(const Scan& scan, const ScanResult& result) {
  return scan.stop_entry != kNoStopEntry && result.found[scan.stop_entry];
}

bool AllFound(const Scan& scan, const ScanResult& result) {
  for (std::size_t i = 0; i < scan.entries.size; ++i) {
    if (scan.entries.items[i].looked_for && !result.found[i]) return false;
  }
  return true;
}

void Examine(const Scan& scan, POSITION line, std::string_view compared, ScanResult& result) {
  result.last_filtered = line;
  if (!StopFound(scan, result) && HoldsExactly(compared, scan.anchor)) result.anchor = line;
  for (std::size_t i = 0; i < scan.entries.size; ++i) {
    const Entry& entry = scan.entries.items[i];
    if (entry.looked_for && !result.found[i] &&
        EqualsIgnoringCase(compared, OwnPart(entry, scan.compared))) {
      result.found[i] = true;
    }
  }
}

// Walks the lines after the header up to the section's last line, and stops
// early once every looked-for entry has been seen.
ScanResult ScanSection(const Scan& scan, Section section) {
  ScanResult result;
  result.found.assign(scan.entries.size, false);
  for (POSITION line = section.header; !AllFound(scan, result) && line != section.last;) {
    line = InfDocument::GetNextPosition(line);
    std::string_view compared;
    if (TakePart(scan, InfDocument::GetAt(line), compared)) {
      Examine(scan, line, compared, result);
    }
  }
  return result;
}

// Null when nothing is to be inserted.
POSITION InsertionPoint(const Scan& scan, const ScanResult& result, Section section) {
  if (result.anchor == nullptr) {
    return scan.fallback == Fallback::kHeader ? section.header : result.last_filtered;
  }
  POSITION point = result.anchor;
  if (!StopFound(scan, result)) return point;
  for (std::size_t n = 0; n < scan.lines_past_present_stop; ++n) {
    const POSITION next = InfDocument::GetNextPosition(point);
    if (next == nullptr) break;
    point = next;
  }
  return point;
}

// Each missing group goes in whole, its lines in table order, chained after
// the insertion point.
void InsertMissing(InfDocument& document, const Scan& scan, const ScanResult& result,
                   Section section, unsigned flags) {
  POSITION point = InsertionPoint(scan, result, section);
  if (point == nullptr) return;
  bool group_missing = false;
  for (std::size_t i = 0; i < scan.entries.size; ++i) {
    const Entry& entry = scan.entries.items[i];
    if (entry.looked_for) group_missing = !result.found[i];
    if (group_missing && (entry.needs_flags & flags) == entry.needs_flags) {
      point = document.InsertLineAfter(point, entry.line);
    }
  }
}

void MergeSection(InfDocument& document, const Scan& scan, Section section, unsigned& flags) {
  const ScanResult result = ScanSection(scan, section);
  if (result.last_filtered != nullptr) flags |= scan.sets_flag;
  InsertMissing(document, scan, result, section, flags);
}

}  // namespace

int RunSteps(InfDocument& document, Table<SectionStep> steps) {
  unsigned flags = 0;
  for (const SectionStep& step : steps) {
    Section section{};
    section.header = document.FindSection(step.section, section.last);
    if (section.header == nullptr) return 0;
    for (const Scan& scan : step.scans) MergeSection(document, scan, section, flags);
  }
  return 1;
}

int PatchInfFile(const char* path, Table<SectionStep> steps) {
  InfDocument document;
  return document.Load(path) == 1 && RunSteps(document, steps) == 1 ? document.Save(nullptr) : 0;
}
