#include "patches/fixed_text.h"

#include "inf/text.h"

namespace {

bool Reaches(std::string_view text, FixedText fixed) {
  return text.size() >= fixed.offset + fixed.text.size();
}

}  // namespace

bool HoldsExactly(std::string_view text, FixedText fixed) {
  return Reaches(text, fixed) && text.substr(fixed.offset, fixed.text.size()) == fixed.text;
}

bool HoldsIgnoringCase(std::string_view text, FixedText fixed) {
  return Reaches(text, fixed) &&
         EqualsIgnoringCase(text.substr(fixed.offset, fixed.text.size()), fixed.text);
}
