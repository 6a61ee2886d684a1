// The one way every patch changes an INF file: section by section it makes
// sure that the section holds the looked-for lines of a constant table, and
// inserts the missing ones next to the section's lines for the same vendor.
// A scan is its settings plus its entry table; a patch is a list of sections
// with their scans.
#pragma once

#include <cstddef>
#include <string_view>

#include "patches/fixed_text.h"

template <typename T>
struct Table {
  const T* items;
  std::size_t size;
  const T* begin() const { return items; }
  const T* end() const { return items + size; }
};

template <typename T, std::size_t N>
constexpr Table<T> TableOf(const T (&items)[N]) {
  return {items, N};
}

// One complete INF line, inserted byte for byte when missing. An entry that is
// not looked for belongs to the group of the looked-for entry above it and is
// inserted exactly when that entry is missing.
struct Entry {
  std::string_view line;
  bool looked_for = true;
  unsigned needs_flags = 0;  // inserted only when all these patch flags are set
};

// What an examined line is compared with the entries by. Keys and values come
// from splitting the line at its first '=' and trimming both; a line without
// '=' never takes part then. A whole line is used as stored.
enum class ComparedPart { kKey, kValue, kLine };

// Where the missing lines go when no line passed the anchor test.
enum class Fallback {
  kHeader,
  kLastFilteredLine,  // nothing is inserted when no line passed the filter
};

constexpr int kNoStopEntry = -1;

struct Scan {
  ComparedPart compared;
  std::string_view filter_key;  // key scans and value scans: only lines with this key take part
  FixedText filter;             // whole-line scans: text a line needs to take part, case ignored
  FixedText anchor;             // the vendor id, compared byte for byte
  int stop_entry;               // once it is found, the anchor stops moving
  Fallback fallback;
  std::size_t lines_past_present_stop;  // missing groups go this many lines past a found stop entry
  unsigned sets_flag;                   // set for the whole patch when a line passes the filter
  Table<Entry> entries;
};

// A scan of the lines of a section with entry 0 as its stop entry.
constexpr Scan KeyScan(FixedText anchor, Table<Entry> entries, int stop_entry = 0) {
  return {ComparedPart::kKey, {}, {}, anchor, stop_entry, Fallback::kHeader, 0, 0, entries};
}

// A scan of the values of the lines whose key is filter_key.
constexpr Scan ValueScan(std::string_view filter_key, FixedText anchor, Table<Entry> entries) {
  return {ComparedPart::kValue, filter_key, {}, anchor, 0, Fallback::kHeader, 0, 0, entries};
}

struct SectionStep {
  std::string_view section;
  Table<Scan> scans;  // run one after another against the same section end
};

class InfDocument;

// Runs every step in order on a loaded document. 1 when every section was
// found; 0 at the first missing one, after the steps before it ran.
int RunSteps(InfDocument& document, Table<SectionStep> steps);

// Loads the file, runs the steps and saves. 1 when the file was
// loaded, every section found and any change saved; 0 otherwise, and then the
// file keeps its old bytes.
int PatchInfFile(const char* path, Table<SectionStep> steps);
