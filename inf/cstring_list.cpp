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
  blocks_.clear();
  used_in_last_block_ = 0;
  texts_.clear();
  head_ = tail_ = nullptr;
}

POSITION CStringList::Link(POSITION after, CString text) {
  POSITION next = after != nullptr ? after->next : head_;
  const POSITION node = NewNode();
  *node = CStringListNode{after, next, text};
  (after != nullptr ? after->next : head_) = node;
  (next != nullptr ? next->prev : tail_) = node;
  return node;
}

POSITION CStringList::NewNode() {
  if (blocks_.empty() || used_in_last_block_ == kNodesPerBlock) {
    // Owned before the vector may grow, so that a failing growth frees it.
    std::unique_ptr<CStringListNode[]> block(new CStringListNode[kNodesPerBlock]);
    blocks_.push_back(std::move(block));
    used_in_last_block_ = 0;
  }
  return &blocks_.back()[used_in_last_block_++];
}
