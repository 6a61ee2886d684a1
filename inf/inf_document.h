// One INF file held in memory as its ordered list of lines. It is loaded once,
// edited only by inserting lines, and written back only by an explicit save.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "inf/cstring_list.h"

// Takes the bytes of a save piece by piece; false when it could not.
using ByteSink = std::function<bool(std::string_view bytes)>;

class InfDocument : public CStringList {
 public:
  // 1 when the file was read; 0 when it is missing, unreadable, its text is
  // longer than kMaxText, or this document was loaded before.
  int Load(const char* path);
  // Holds bytes as Load holds a file's bytes, but without a path, so that
  // only a save to a given path writes a file. 0 when loaded before.
  int LoadBytes(std::string bytes);
  // Writes the lines back, CR LF between them, to path, or when path is null
  // to the loaded file, and then only when a line was inserted. 1 when done or
  // nothing was to be written; 0 when never loaded, when loaded from bytes and
  // given no path, or when the file could not be replaced, in which case it
  // keeps its old bytes.
  int Save(const char* path);
  // Hands sink exactly the bytes that Save writes. False when sink failed.
  bool WriteBytes(const ByteSink& sink) const;
  // The header line of the first section called name (letter case ignored),
  // or null. last_line receives the section's last line.
  POSITION FindSection(std::string_view name, POSITION& last_line) const;
  // Inserts a copy of text directly after position (at the end when null).
  POSITION InsertLineAfter(POSITION position, std::string_view text);

  bool IsLoaded() const { return loaded_ != 0; }
  bool IsModified() const { return modified_ != 0; }

 private:
  // Lines are added only through the loads and InsertLineAfter, which keep
  // bracket_lines_ up to date.
  using CStringList::InsertAfter;
  using CStringList::RemoveAll;
  using CStringList::TakeText;

  void IndexLoadedBracketLines();
  void IndexBracketLines();
  bool SaveTo(const char* target) const;
  bool FollowsInText(CString run, CString next) const;

  std::string path_;
  // In document order, every line whose first non-blank byte is '[': the only
  // lines that can head or end a section, so a look-up walks these alone.
  std::vector<POSITION> bracket_lines_;
  int loaded_ = 0;
  int modified_ = 0;
};
