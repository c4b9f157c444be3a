#include "link/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vesk::link {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

size_t ParseDecimalPrefix(std::string_view text, double& value) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // from_chars would also take "inf", "nan" and a second sign; only digits or a point
  // may start the number itself.
  if (i >= text.size() || !(IsDigit(text[i]) || text[i] == '.')) return 0;
  double parsed = 0;
  const char* first = text.data() + i;
  auto [end, ec] =
      std::from_chars(first, text.data() + text.size(), parsed, std::chars_format::general);
  if (end == first) return 0;
  // A number beyond the range of double (either way) counts as infinite, so that every
  // caller that wants a finite value refuses it.
  if (ec == std::errc::result_out_of_range)
    parsed = HUGE_VAL;
  else if (ec != std::errc())
    return 0;
  value = negative ? -parsed : parsed;
  return static_cast<size_t>(end - text.data());
}

bool ParseDecimal(std::string_view text, double& value) {
  double parsed = 0;
  size_t used = ParseDecimalPrefix(text, parsed);
  if (used == 0 || !std::isfinite(parsed)) return false;
  for (size_t i = used; i < text.size(); ++i)
    if (!IsBlank(text[i])) return false;
  value = parsed;
  return true;
}

bool ParseIntegerPrefix(std::string_view text, uint32_t& value) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || !IsDigit(text[i])) return false;
  uint32_t v = 0;  // unsigned, so that overflow wraps instead of being undefined
  for (; i < text.size() && IsDigit(text[i]); ++i)
    v = v * 10u + static_cast<uint32_t>(text[i] - '0');
  value = negative ? 0u - v : v;
  return true;
}

std::string FormatFixed3(double value) {
  char buffer[400];  // the largest double in fixed notation is 309 digits
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
  if (ec != std::errc()) return {};
  return std::string(buffer, end);
}

}  // namespace vesk::link
