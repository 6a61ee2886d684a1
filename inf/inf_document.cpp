#include "inf/inf_document.h"

#include <utility>

#include "inf/text.h"
#include "platform/platform.h"

namespace {

constexpr char kEndOfText = '\x1a';
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kWriteChunk = std::size_t{1} << 20;

// A line whose first non-blank byte is not '[' can be neither a header nor a
// section's end, so it is rejected without a copy.
bool OpensBracket(CString line) {
  for (const char c : line) {
    if (!IsSpace(c)) return c == '[';
  }
  return false;
}

bool IsHeaderOf(CString line, std::string_view name, std::string& work) {
  if (!OpensBracket(line)) return false;
  work.assign(line);
  TrimSpaces(work);
  return work.size() >= name.size() + 2 && work[name.size() + 1] == ']' &&
         EqualsIgnoringCase(std::string_view(work).substr(1, name.size()), name);
}

// Gathers small writes into large ones; a line longer than a chunk goes out whole.
class ChunkedWriter {
 public:
  explicit ChunkedWriter(platform::ReplacementFile& file) : file_(file) {
    chunk_.reserve(kWriteChunk);
  }

  bool Put(std::string_view bytes) {
    if (chunk_.size() + bytes.size() > kWriteChunk && !Flush()) return false;
    if (bytes.size() > kWriteChunk) return file_.Write(bytes);
    chunk_.append(bytes);
    return true;
  }

  bool Flush() {
    const bool written = file_.Write(chunk_);
    chunk_.clear();
    return written;
  }

 private:
  platform::ReplacementFile& file_;
  std::string chunk_;
};

}  // namespace

int InfDocument::Load(const char* path) {
  if (loaded_ != 0) return 0;
  std::string bytes;
  if (!platform::ReadWholeFile(path, bytes)) return 0;
  TakeLines(std::move(bytes));
  path_ = path;
  loaded_ = 1;
  modified_ = 0;
  return 1;
}

// CR LF and a lone LF end a line; a lone CR is an ordinary byte; Ctrl-Z ends
// the text. The pieces between line ends are the lines, so text that ends with
// a line end yields an empty last line.
void InfDocument::TakeLines(std::string bytes) {
  const std::size_t end_of_text = bytes.find(kEndOfText);
  if (end_of_text != std::string::npos) bytes.resize(end_of_text);
  const CString text = Keep(std::move(bytes));
  std::size_t start = 0;
  for (std::size_t lf = text.find('\n'); lf != CString::npos; lf = text.find('\n', start)) {
    const std::size_t end = (lf > start && text[lf - 1] == '\r') ? lf - 1 : lf;
    AddTail(text.substr(start, end - start));
    start = lf + 1;
  }
  AddTail(text.substr(start));
}

int InfDocument::Save(const char* path) {
  if (loaded_ == 0) return 0;
  if (modified_ == 0 && path == nullptr) return 1;
  if (!WriteTo(path != nullptr ? path : path_.c_str())) return 0;
  modified_ = 0;
  return 1;
}

bool InfDocument::WriteTo(const char* target) const {
  platform::ReplacementFile file(target);
  if (!file.IsOpen()) return false;
  ChunkedWriter writer(file);
  for (POSITION line = GetHeadPosition(); line != nullptr; line = GetNextPosition(line)) {
    if (line != GetHeadPosition() && !writer.Put(kLineEnd)) return false;
    if (!writer.Put(GetAt(line))) return false;
  }
  return writer.Flush() && file.Commit();
}

POSITION InfDocument::FindSection(std::string_view name, POSITION& last_line) const {
  std::string work;
  POSITION header = GetHeadPosition();
  while (header != nullptr && !IsHeaderOf(GetAt(header), name, work))
    header = GetNextPosition(header);
  if (header == nullptr) return nullptr;
  last_line = header;
  for (POSITION line = GetNextPosition(header); line != nullptr && !OpensBracket(GetAt(line));
       line = GetNextPosition(line)) {
    last_line = line;
  }
  return header;
}

POSITION InfDocument::InsertLineAfter(POSITION position, std::string_view text) {
  const POSITION line = InsertAfter(position, text);
  modified_ = 1;
  return line;
}
