// A registry file that must be refused, or no file at all, in a folder of its
// own: set up from a case, and then checked to have been left as it was.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support/scoped_variable.h"
#include "test_support/temp_dir.h"

struct UnusableCase {
  const char* name;
  const char* contents;  // null: no file
  bool variable_set;
};

inline std::string UnusableCaseName(const testing::TestParamInfo<UnusableCase>& info) {
  return info.param.name;
}

class UnusableRegistry {
 public:
  explicit UnusableRegistry(const UnusableCase& c)
      : case_(c),
        file_(dir_.File("SYSTEM.REG")),
        variable_("KESTRA32_REGISTRY", c.variable_set ? file_.c_str() : nullptr) {
    if (c.contents != nullptr) {
      WriteBytes(file_, c.contents);
    }
    listing_ = NamesIn(dir_.path());
  }

  // No file was added or removed, and the registry file kept its bytes.
  void ExpectUntouched() const {
    EXPECT_EQ(NamesIn(dir_.path()), listing_);
    if (case_.contents != nullptr) {
      EXPECT_EQ(ReadBytes(file_), case_.contents);
    }
  }

 private:
  TempDir dir_;
  UnusableCase case_;
  std::string file_;
  ScopedVariable variable_;
  std::vector<std::string> listing_;
};
