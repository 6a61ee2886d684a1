#include "inf/cstring_list.h"

#include <utility>

CString CStringList::Keep(std::string text) {
  return texts_.emplace_back(std::move(text));
}

POSITION CStringList::AddTail(CString kept_line) {
  return Link(tail_, kept_line);
}

POSITION CStringList::InsertAfter(POSITION position, std::string_view text) {
  return Link(position != nullptr ? position : tail_, Keep(std::string(text)));
}

void CStringList::RemoveAll() {
  nodes_.clear();
  texts_.clear();
  head_ = tail_ = nullptr;
}

POSITION CStringList::Link(POSITION after, CString text) {
  POSITION next = after != nullptr ? after->next : head_;
  POSITION node = &nodes_.emplace_back(CStringListNode{after, next, text});
  (after != nullptr ? after->next : head_) = node;
  (next != nullptr ? next->prev : tail_) = node;
  return node;
}
