#include "inf/cstring_list.h"

#include <algorithm>
#include <cstring>
#include <utility>

void CStringList::TakeText(std::string text) {
  text_ = std::move(text);
  // Room for lines of 32 bytes; what no line needs is never touched, so it
  // takes no memory.
  starts_.reserve(text_.size() / 32 + 1);
  starts_.push_back(0);
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  for (const char* lf = begin;
       (lf = static_cast<const char*>(std::memchr(lf, '\n', end - lf))) != nullptr;) {
    ++lf;
    starts_.push_back(static_cast<std::uint32_t>(lf - begin));
  }
}

POSITION CStringList::InsertAfter(POSITION position, std::string_view text) {
  const POSITION line_before = position != nullptr ? position : GetTailPosition();
  const std::size_t after = line_before != nullptr ? line_before.id : kNone;
  const std::size_t id = inserted_.size() | kInserted;
  if (after == kNone || (after & kInserted) == 0) {
    // A loaded line, or kNone in an empty list: the new line heads its chain.
    followed_.resize(starts_.size());
    Chain& chain = ChainFollowing(after);
    inserted_.push_back({std::string(text), kNone, chain.first, after});
    (chain.first != kNone ? Inserted(chain.first).prev : chain.last) = id;
    chain.first = id;
    if (after != kNone) followed_[after] = true;
  } else {
    InsertedLine& previous = Inserted(after);
    inserted_.push_back({std::string(text), after, previous.next, previous.follows});
    (previous.next != kNone ? Inserted(previous.next).prev
                            : ChainFollowing(previous.follows).last) = id;
    previous.next = id;
  }
  return {this, id};
}

// Chains are few (one for each place a patch inserts at), so they stand in a
// vector in the order of the loaded lines they follow.
CStringList::Chain& CStringList::ChainFollowing(std::size_t loaded) {
  const auto chain = std::lower_bound(chains_.begin(), chains_.end(), loaded, FollowsEarlier);
  if (chain != chains_.end() && chain->follows == loaded) return *chain;
  return *chains_.insert(chain, Chain{loaded, kNone, kNone});
}

void CStringList::RemoveAll() {
  text_.clear();
  starts_.clear();
  inserted_.clear();
  chains_.clear();
  followed_.clear();
}

POSITION CStringList::GetHeadPosition() const {
  const Chain* const first = ChainAfter(kNone);
  return At(first != nullptr ? first->first : LoadedAfter(kNone));
}

POSITION CStringList::GetTailPosition() const {
  const std::size_t last = starts_.empty() ? kNone : starts_.size() - 1;
  const Chain* const chain = ChainAfter(last);
  return At(chain != nullptr ? chain->last : last);
}

POSITION CStringList::LoadedLineAt(std::size_t offset) const {
  const auto next = std::upper_bound(starts_.begin(), starts_.end(), offset);
  return {this, static_cast<std::size_t>(next - starts_.begin()) - 1};
}

POSITION CStringList::Prev(std::size_t id) const {
  if ((id & kInserted) != 0) {
    const InsertedLine& line = Inserted(id);
    return At(line.prev != kNone ? line.prev : line.follows);
  }
  const std::size_t before = id == 0 ? kNone : id - 1;
  const Chain* const chain = ChainAfter(before);
  return At(chain != nullptr ? chain->last : before);
}
