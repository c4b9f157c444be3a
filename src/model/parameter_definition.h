#pragma once
// What the description declares for one parameter before the tree build turns it into a
// record. Branch templates carry lists of these; the build creates the `Parameter`s.

#include <cstdint>
#include <string>

namespace vesk::model {

struct ParameterDefinition {
  std::string name;       // may begin with "!" (excluded from writing once built)
  std::string type_text;  // format word or choice items joined by ':'
  std::string caption;    // as written, "_" still standing for blanks
  double minimum = 0;
  double maximum = 0;
  uint8_t has_attributes = 1;  // 0 for "noattr"
  std::string initial_value;   // "_" already turned into blanks
  int32_t table_number = 0;    // 1..5 for "table1".."table5", 0 none
  int32_t table_argument = 0;
  int32_t mark = 0;  // 1 for a trailing "+", 2 for a trailing "*"

  bool operator==(const ParameterDefinition&) const = default;
};

}  // namespace vesk::model
