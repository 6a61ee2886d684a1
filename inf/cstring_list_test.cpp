#include "inf/cstring_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(const CStringList& list) {
  std::vector<std::string> lines;
  for (POSITION p = list.GetHeadPosition(); p != nullptr; p = CStringList::GetNextPosition(p)) {
    lines.emplace_back(CStringList::GetAt(p));
  }
  return lines;
}

std::vector<std::string> LinesBackwards(const CStringList& list) {
  std::vector<std::string> lines;
  for (POSITION p = list.GetTailPosition(); p != nullptr; p = CStringList::GetPrevPosition(p)) {
    lines.insert(lines.begin(), std::string(CStringList::GetAt(p)));
  }
  return lines;
}

TEST(CStringListTest, InsertAfterSamePositionStacksNewestFirstAndChainingKeepsOrder) {
  CStringList list;
  const POSITION a = list.InsertAfter(nullptr, "A");
  list.InsertAfter(nullptr, "Z");
  list.InsertAfter(a, "X");
  list.InsertAfter(a, "Y");
  const POSITION one = list.InsertAfter(a, "1");
  list.InsertAfter(one, "2");
  const std::vector<std::string> expected = {"A", "1", "2", "Y", "X", "Z"};
  EXPECT_EQ(Lines(list), expected);
  EXPECT_EQ(LinesBackwards(list), expected);
  EXPECT_EQ(list.GetCount(), 6U);
}

TEST(CStringListTest, PositionsAndTextsStayValidWhileManyLinesAreAdded) {
  CStringList list;
  const POSITION first = list.InsertAfter(nullptr, "short");
  list.TakeText("kept text");
  const POSITION second = list.GetTailPosition();
  for (int i = 0; i < 10000; ++i) list.InsertAfter(first, std::to_string(i));
  EXPECT_EQ(CStringList::GetAt(first), "short");
  EXPECT_EQ(CStringList::GetAt(second), "kept text");
  EXPECT_EQ(list.GetTailPosition(), second);
  EXPECT_EQ(CStringList::GetAt(CStringList::GetNextPosition(first)), "9999");
  EXPECT_EQ(list.GetCount(), 10002U);
  list.RemoveAll();
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.GetHeadPosition(), nullptr);
  EXPECT_EQ(list.GetCount(), 0U);
  list.InsertAfter(nullptr, "again");
  EXPECT_EQ(Lines(list), std::vector<std::string>{"again"});
  EXPECT_EQ(list.GetCount(), 1U);
}

TEST(CStringListTest, LinesInsertedAmongTakenLinesLeaveThemInPlace) {
  CStringList list;
  list.TakeText("A\r\nB\n\rC\r\r\n");
  const POSITION a = list.GetHeadPosition();
  const POSITION b = CStringList::GetNextPosition(a);
  const POSITION x = list.InsertAfter(a, "X");
  list.InsertAfter(x, "Y");
  list.InsertAfter(a, "W");
  list.InsertAfter(nullptr, "Z");
  const std::vector<std::string> expected = {"A", "W", "X", "Y", "B", "\rC\r", "", "Z"};
  EXPECT_EQ(Lines(list), expected);
  EXPECT_EQ(LinesBackwards(list), expected);
  EXPECT_EQ(CStringList::GetAt(b), "B");
  EXPECT_EQ(CStringList::GetPrevPosition(b), CStringList::GetNextPosition(x));
}

}  // namespace
