#include "inf/inf_document.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <utility>

#include "inf/text.h"
#include "platform/platform.h"

namespace {

constexpr char kEndOfText = '\x1a';
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kWriteChunk = std::size_t{1} << 20;
constexpr std::size_t kShortPiece = std::size_t{64} << 10;

// A line whose first non-blank byte is not '[' can be neither a header nor a
// section's end.
bool OpensBracket(CString line) {
  for (const char c : line) {
    if (!IsSpace(c)) return c == '[';
  }
  return false;
}

bool IsHeaderOf(CString line, std::string_view name) {
  if (!OpensBracket(line)) return false;
  const CString trimmed = TrimSpaces(line);
  return trimmed.size() >= name.size() + 2 && trimmed[name.size() + 1] == ']' &&
         EqualsIgnoringCase(trimmed.substr(1, name.size()), name);
}

// True when outer's bytes include all of inner's. std::less_equal orders any
// two pointers, also those into different storage.
bool Contains(CString outer, CString inner) {
  const std::less_equal<> before;
  return before(outer.data(), inner.data()) &&
         before(inner.data() + inner.size(), outer.data() + outer.size());
}

// Hands the sink pieces of at most one chunk: short pieces (inserted lines,
// line ends, runs that inserted lines cut short) are gathered first, and long
// runs of the loaded text go out straight, a chunk at a time. Both measured
// faster than copying every byte into the chunk, and than one huge write.
class ChunkedWriter {
 public:
  explicit ChunkedWriter(const ByteSink& sink) : sink_(sink) {}

  bool Put(std::string_view bytes) {
    if (bytes.size() < kShortPiece) return Gather(bytes);
    if (!Flush()) return false;
    for (; !bytes.empty(); bytes.remove_prefix(std::min(bytes.size(), kWriteChunk))) {
      if (!sink_(bytes.substr(0, kWriteChunk))) return false;
    }
    return true;
  }

  bool Flush() {
    const bool written = chunk_.empty() || sink_(chunk_);
    chunk_.clear();
    return written;
  }

 private:
  bool Gather(std::string_view bytes) {
    if (chunk_.size() + bytes.size() > kWriteChunk && !Flush()) return false;
    chunk_.append(bytes);
    return true;
  }

  const ByteSink& sink_;
  std::string chunk_;
};

}  // namespace

int InfDocument::Load(const char* path) {
  if (loaded_ != 0) return 0;
  std::string bytes;
  if (!platform::ReadWholeFile(path, bytes) || LoadBytes(std::move(bytes)) == 0) return 0;
  path_ = path;
  return 1;
}

// CR LF and a lone LF end a line; a lone CR is an ordinary byte; Ctrl-Z ends
// the text. The pieces between line ends are the lines, so text that ends with
// a line end yields an empty last line.
int InfDocument::LoadBytes(std::string bytes) {
  if (loaded_ != 0) return 0;
  bytes.resize(std::min(bytes.size(), bytes.find(kEndOfText)));
  if (bytes.size() > kMaxText) return 0;
  TakeText(std::move(bytes));
  IndexLoadedBracketLines();
  loaded_ = 1;
  modified_ = 0;
  return 1;
}

// Before any insertion the index is found in the text: a search hops from one
// '[' to the next and looks only at the lines that hold one.
void InfDocument::IndexLoadedBracketLines() {
  bracket_lines_.clear();
  const CString text = Text();
  for (std::size_t bracket = 0; (bracket = text.find('[', bracket)) != CString::npos;) {
    const POSITION line = LoadedLineAt(bracket);
    const CString line_text = GetAt(line);
    const std::size_t start = line_text.data() - text.data();
    if (OpensBracket(line_text.substr(0, bracket - start + 1))) bracket_lines_.push_back(line);
    bracket = start + line_text.size();
  }
}

void InfDocument::IndexBracketLines() {
  bracket_lines_.clear();
  for (POSITION line = GetHeadPosition(); line != nullptr; line = GetNextPosition(line)) {
    if (OpensBracket(GetAt(line))) bracket_lines_.push_back(line);
  }
}

int InfDocument::Save(const char* path) {
  if (loaded_ == 0) return 0;
  if (modified_ == 0 && path == nullptr) return 1;
  const std::string& target = path != nullptr ? path : path_;
  if (target.empty() || !SaveTo(target.c_str())) return 0;
  modified_ = 0;
  return 1;
}

bool InfDocument::SaveTo(const char* target) const {
  platform::ReplacementFile file(target);
  return file.IsOpen() &&
         WriteBytes([&file](std::string_view bytes) { return file.Write(bytes); }) && file.Commit();
}

bool InfDocument::WriteBytes(const ByteSink& sink) const {
  ChunkedWriter writer(sink);
  for (POSITION line = GetHeadPosition(); line != nullptr;) {
    CString run = GetAt(line);
    for (line = GetNextPosition(line); line != nullptr && FollowsInText(run, GetAt(line));
         line = GetNextPosition(line)) {
      run = CString(run.data(), GetAt(line).data() + GetAt(line).size() - run.data());
    }
    if (!writer.Put(run) || (line != nullptr && !writer.Put(kLineEnd))) return false;
  }
  return writer.Flush();
}

// Loaded lines that stand in the loaded text one after the other with CR LF
// between them are written as one piece of that text, which holds exactly the
// bytes that writing them one by one would give.
bool InfDocument::FollowsInText(CString run, CString next) const {
  const char* const end = run.data() + run.size();
  return Contains(Text(), run) && Contains(Text(), next) && next.data() == end + kLineEnd.size() &&
         CString(end, kLineEnd.size()) == kLineEnd;
}

POSITION InfDocument::FindSection(std::string_view name, POSITION& last_line) const {
  const auto header = std::find_if(bracket_lines_.begin(), bracket_lines_.end(),
                                   [name](POSITION line) { return IsHeaderOf(GetAt(line), name); });
  if (header == bracket_lines_.end()) return nullptr;
  const auto next_bracket = std::next(header);
  last_line =
      next_bracket == bracket_lines_.end() ? GetTailPosition() : GetPrevPosition(*next_bracket);
  return *header;
}

POSITION InfDocument::InsertLineAfter(POSITION position, std::string_view text) {
  const POSITION line = InsertAfter(position, text);
  if (OpensBracket(text)) IndexBracketLines();
  modified_ = 1;
  return line;
}
