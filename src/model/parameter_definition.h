#pragma once
// What the description declares for one parameter before the tree build turns it into a
// record. Branch templates carry lists of these; the build creates the `Parameter`s.

#include <cstdint>
#include <string>

namespace vesk::model {

struct ParameterDefinition {
  std::string name;      // may begin with "!" (excluded from writing once built)
  std::string typeText;  // format word or choice items joined by ':'
  std::string caption;   // as written, "_" still standing for blanks
  double minimum = 0;
  double maximum = 0;
  uint8_t hasAttributes = 1;  // 0 for "noattr"
  std::string initialValue;   // "_" already turned into blanks
  int32_t tableNumber = 0;    // 1..5 for "table1".."table5", 0 none
  int32_t tableArgument = 0;
  int32_t mark = 0;  // 1 for a trailing "+", 2 for a trailing "*"

  bool operator==(const ParameterDefinition&) const = default;
};

}  // namespace vesk::model
