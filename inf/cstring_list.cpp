#include "inf/cstring_list.h"

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
  const std::size_t after = position != nullptr ? position.id : GetTailPosition().id;
  const std::size_t id = inserted_.size() | kInserted;
  if (position == nullptr && GetTailPosition() == nullptr) {
    inserted_.push_back({std::string(text), kNone, kNone, kNone});
    chains_[kNone] = {id, id};
  } else if ((after & kInserted) == 0) {
    followed_.resize(starts_.size());
    followed_[after] = true;
    const auto [chain, is_new] = chains_.try_emplace(after, Chain{id, id});
    inserted_.push_back({std::string(text), kNone, is_new ? kNone : chain->second.first, after});
    if (!is_new) Inserted(chain->second.first).prev = id;
    chain->second.first = id;
  } else {
    InsertedLine& previous = Inserted(after);
    inserted_.push_back({std::string(text), after, previous.next, previous.follows});
    (previous.next != kNone ? Inserted(previous.next).prev : chains_[previous.follows].last) = id;
    previous.next = id;
  }
  return {this, id};
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

POSITION CStringList::Prev(std::size_t id) const {
  if ((id & kInserted) != 0) {
    const InsertedLine& line = Inserted(id);
    return At(line.prev != kNone ? line.prev : line.follows);
  }
  const std::size_t before = id == 0 ? kNone : id - 1;
  const Chain* const chain = ChainAfter(before);
  return At(chain != nullptr ? chain->last : before);
}
