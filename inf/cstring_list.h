// An ordered list of 8-bit lines with stable positions. Lines are only ever
// added; a POSITION keeps designating its line until the list is cleared.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The read-only text of one line. Its bytes live in storage the list owns.
using CString = std::string_view;

struct CStringListNode {
  CStringListNode* prev;
  CStringListNode* next;
  CString text;
};
using POSITION = CStringListNode*;  // null: no line

class CStringList {
 public:
  CStringList() = default;
  CStringList(const CStringList&) = delete;
  CStringList& operator=(const CStringList&) = delete;
  virtual ~CStringList() = default;

  // Moves text into the list's storage; lines may then be views into it.
  CString Keep(std::string text);
  // Appends a line whose bytes lie in storage given to Keep.
  POSITION AddTail(CString kept_line);
  // Copies text into a new line directly after position (at the end when null).
  POSITION InsertAfter(POSITION position, std::string_view text);
  void RemoveAll();

  bool IsEmpty() const { return head_ == nullptr; }
  std::size_t GetCount() const {
    return blocks_.empty() ? 0 : (blocks_.size() - 1) * kNodesPerBlock + used_in_last_block_;
  }
  POSITION GetHeadPosition() const { return head_; }
  POSITION GetTailPosition() const { return tail_; }
  static POSITION GetNextPosition(POSITION position) { return position->next; }
  static POSITION GetPrevPosition(POSITION position) { return position->prev; }
  static CString GetAt(POSITION position) { return position->text; }

 private:
  POSITION Link(POSITION after, CString text);
  POSITION NewNode();

  // Nodes come from blocks of many, which never move, so that a file of
  // millions of lines takes few allocations.
  static constexpr std::size_t kNodesPerBlock = 4096;
  std::vector<std::unique_ptr<CStringListNode[]>> blocks_;
  std::size_t used_in_last_block_ = 0;
  std::deque<std::string> texts_;  // kept texts and inserted lines
  POSITION head_ = nullptr;
  POSITION tail_ = nullptr;
};
