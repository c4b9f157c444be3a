#pragma once
// The message of a value text that a parameter's codec refuses, shared by in-place
// editing and by every other way a value reaches a record from outside (a configuration
// imported from text).

#include <string>
#include <string_view>

#include "link/parameter.h"

namespace vesk::link {

inline constexpr const char* kValueRefusedCaption = "Неудалось изменить параметер";

// The message for `new_text` refused by `parameter`: names the parameter, repeats the
// text and states the allowed range when the record has one.
std::string ValueRefusedText(const Parameter& parameter, std::string_view new_text);

}  // namespace vesk::link
