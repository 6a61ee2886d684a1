#include "patches/fixed_text.h"

#include <gtest/gtest.h>

namespace {

struct FixedCase {
  const char* text;
  FixedText fixed;
  bool exactly;
  bool ignoring_case;
};

TEST(FixedTextTest, ComparesOnlyTheCharactersAtTheOffsetAndFailsOnShortTexts) {
  const FixedCase cases[] = {
      {"PCI\\VEN_8086&DEV_7020", {8, "8086"}, true, true},
      {"XXXXXXXX8086", {8, "8086"}, true, true},
      {"PCI\\VEN_808", {8, "8086"}, false, false},
      {"PCI\\VEN_", {8, "8086"}, false, false},
      {"", {0, "8086"}, false, false},
      {";PCI\\VEN_8086", {8, "8086"}, false, false},
      {"0123IRQMINIPORTS", {4, "IRQMiniports"}, false, true},
      {"0123IRQMiniport", {4, "IRQMiniports"}, false, false},
      {"0123IRQMiniports,rest", {4, "IRQMiniports"}, true, true},
      {"0123\xc9RQMiniports", {4, "\xe9RQMiniports"}, false, false},
  };
  for (const FixedCase& c : cases) {
    EXPECT_EQ(HoldsExactly(c.text, c.fixed), c.exactly) << c.text;
    EXPECT_EQ(HoldsIgnoringCase(c.text, c.fixed), c.ignoring_case) << c.text;
  }
}

}  // namespace
