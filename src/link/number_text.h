#pragma once
// Numbers in value texts are read and printed with a point as the decimal separator
// whatever locale the front end has set, so that a configuration reads back the same
// on every machine.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vesk::link {

// Blank in the sense of the C "isspace" of the "C" locale.
inline bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Reads a decimal number at the start of `text`: blanks, an optional sign, digits with
// an optional point and exponent. Returns the count of characters used (blanks
// included), 0 when no number starts there ("inf", "nan" and hexadecimal are not
// numbers here); `value` is set only when the result is non-zero. A number beyond the
// range of double is read as infinite.
size_t ParseDecimalPrefix(std::string_view text, double& value);

// True when the whole text, blanks around it allowed, is one decimal number that is
// finite as a double.
bool ParseDecimal(std::string_view text, double& value);

// Reads a decimal integer at the start of `text` as a C conversion into a 32-bit
// register would: blanks, an optional sign, digits, stopping at the first character
// that is not a digit; higher bits than 32 are lost. Returns false when no digit follows.
bool ParseIntegerPrefix(std::string_view text, uint32_t& value);

// The value printed as "%.3f" in the "C" locale.
std::string FormatFixed3(double value);

}  // namespace vesk::link
