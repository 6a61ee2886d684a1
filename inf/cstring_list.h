// An ordered list of 8-bit lines with stable positions. The loaded lines are
// one text held whole, indexed by where each line starts; inserted lines are
// kept aside, each linked to the line it follows, so loaded lines never move.
// A POSITION keeps designating its line until the list is cleared.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

// The read-only text of one line. Its bytes live in storage the list owns.
using CString = std::string_view;

class CStringList;

// One line of a list, or null: no line.
struct POSITION {
  POSITION() = default;
  POSITION(std::nullptr_t) {}  // NOLINT(google-explicit-constructor): null reads as no line
  POSITION(const CStringList* owner, std::size_t line_id) : list(owner), id(line_id) {}

  friend bool operator==(POSITION a, POSITION b) { return a.list == b.list && a.id == b.id; }
  friend bool operator!=(POSITION a, POSITION b) { return !(a == b); }

  const CStringList* list = nullptr;
  std::size_t id = 0;  // a loaded line's number, or an inserted line's with kInserted set
};

class CStringList {
 public:
  // The longest text TakeText takes.
  static constexpr std::size_t kMaxText = std::numeric_limits<std::uint32_t>::max();

  CStringList() = default;
  CStringList(const CStringList&) = delete;
  CStringList& operator=(const CStringList&) = delete;
  virtual ~CStringList() = default;

  // Holds text, of at most kMaxText bytes, as the loaded lines, after any
  // inserted lines: the pieces between its LFs, each without a CR directly
  // before its LF. Once per list, until RemoveAll.
  void TakeText(std::string text);
  // Copies text into a new line directly after position (at the end when null).
  POSITION InsertAfter(POSITION position, std::string_view text);
  void RemoveAll();

  // The text given to TakeText, which loaded lines are views into.
  CString Text() const { return text_; }
  bool IsEmpty() const { return GetCount() == 0; }
  std::size_t GetCount() const { return starts_.size() + inserted_.size(); }
  POSITION GetHeadPosition() const;
  POSITION GetTailPosition() const;
  static POSITION GetNextPosition(POSITION position) { return position.list->Next(position.id); }
  static POSITION GetPrevPosition(POSITION position) { return position.list->Prev(position.id); }
  static CString GetAt(POSITION position) { return position.list->Line(position.id); }
  // The loaded line that holds the byte at offset of Text().
  POSITION LoadedLineAt(std::size_t offset) const;

 private:
  static constexpr std::size_t kInserted = ~(~std::size_t{0} >> 1);
  static constexpr std::size_t kNone = ~std::size_t{0};  // no line; as a chain's key, the start

  struct InsertedLine {
    std::string text;
    std::size_t prev;     // kNone: the first of its chain
    std::size_t next;     // kNone: the last of its chain
    std::size_t follows;  // the loaded line its chain follows, or kNone
  };
  struct Chain {
    std::size_t follows;  // the loaded line it follows; kNone: it starts the list
    std::size_t first;
    std::size_t last;
  };
  static bool FollowsEarlier(const Chain& chain, std::size_t loaded) {
    return chain.follows < loaded;
  }

  POSITION At(std::size_t id) const { return id == kNone ? POSITION() : POSITION(this, id); }
  POSITION Next(std::size_t id) const;
  POSITION Prev(std::size_t id) const;
  CString Line(std::size_t id) const;
  std::size_t LoadedAfter(std::size_t loaded) const;
  const Chain* ChainAfter(std::size_t loaded) const;
  Chain& ChainFollowing(std::size_t loaded);
  InsertedLine& Inserted(std::size_t id) { return inserted_[id & ~kInserted]; }
  const InsertedLine& Inserted(std::size_t id) const { return inserted_[id & ~kInserted]; }

  std::string text_;
  std::vector<std::uint32_t> starts_;  // where each loaded line starts in text_
  std::deque<InsertedLine> inserted_;  // a deque, so that their texts never move
  std::vector<Chain> chains_;          // by the loaded line they follow, kNone last
  // Whether a chain follows each loaded line, so that a walk looks up only the
  // chains that are there; none follows a line beyond its end.
  std::vector<bool> followed_;
};

// Inline, since a scan calls them for every line it walks.

inline POSITION CStringList::Next(std::size_t id) const {
  if ((id & kInserted) != 0) {
    const InsertedLine& line = Inserted(id);
    return At(line.next != kNone ? line.next : LoadedAfter(line.follows));
  }
  const Chain* const chain = ChainAfter(id);
  return At(chain != nullptr ? chain->first : LoadedAfter(id));
}

// A loaded line ends before the LF that starts the next one, and before a CR
// directly in front of that LF; the last one ends with the text.
inline CString CStringList::Line(std::size_t id) const {
  if ((id & kInserted) != 0) return Inserted(id).text;
  const std::size_t start = starts_[id];
  std::size_t end = text_.size();
  if (id + 1 < starts_.size()) {
    end = starts_[id + 1] - 1;
    if (end > start && text_[end - 1] == '\r') --end;
  }
  return {text_.data() + start, end - start};
}

// The loaded line after loaded (the first when kNone), or kNone.
inline std::size_t CStringList::LoadedAfter(std::size_t loaded) const {
  const std::size_t next = loaded == kNone ? 0 : loaded + 1;
  return next < starts_.size() ? next : kNone;
}

// The inserted lines that follow loaded (that start the list when kNone).
inline const CStringList::Chain* CStringList::ChainAfter(std::size_t loaded) const {
  if (loaded != kNone && (loaded >= followed_.size() || !followed_[loaded])) return nullptr;
  const auto chain = std::lower_bound(chains_.begin(), chains_.end(), loaded, FollowsEarlier);
  return chain != chains_.end() && chain->follows == loaded ? &*chain : nullptr;
}
