#pragma once

#include <cstddef>
#include <string_view>

// Fixed characters at a fixed offset, counted from 0.
struct FixedText {
  std::size_t offset;
  std::string_view text;
};

// A text that ends too early never holds its fixed characters.
bool HoldsExactly(std::string_view text, FixedText fixed);
bool HoldsIgnoringCase(std::string_view text, FixedText fixed);
