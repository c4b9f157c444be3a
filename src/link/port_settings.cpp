#include "link/port_settings.h"

#include <charconv>
#include <limits>

#include "platform/text.h"

namespace vesk::link {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A decimal number, blanks around it allowed; false for anything else or out of range.
bool ParseDecimal(std::string_view text, int32_t& out) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    return false;
  out = static_cast<int32_t>(value);
  return true;
}

}  // namespace

int32_t ParityCodeFromText(std::string_view text, int32_t current) {
  if (platform::Iequals(text, "Отсутствует")) return kParityNone;
  if (platform::Iequals(text, "Четность")) return kParityEven;
  if (platform::Iequals(text, "Нечетность")) return kParityOdd;
  return current;
}

bool ApplyPortSetting(PortSettings& settings, std::string_view key, std::string_view value) {
  if (key == "Port") {
    settings.port_name = std::string(value);
    return true;
  }
  if (key == "PrtY") {
    settings.parity = ParityCodeFromText(value, settings.parity);
    return true;
  }
  int32_t* field = nullptr;
  if (key == "bPS") {
    field = &settings.baud_rate;
  } else if (key == "Addr") {
    field = &settings.device_address;
  } else if (key == "A.Len") {
    field = &settings.address_length;
  } else if (key == "LEn") {
    field = &settings.byte_size;
  } else if (key == "Sbit") {
    field = &settings.stop_bits;
  } else {
    return false;
  }
  return ParseDecimal(value, *field);
}

}  // namespace vesk::link
