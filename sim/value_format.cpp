#include "value_format.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "platform/text.h"

namespace vesk::sim {

namespace {

// Tolerance of the limits, as the configurator's editor applies it to three decimals.
constexpr double kLimitTolerance = 0.0009;
constexpr uint8_t kBlankCode = 78;
constexpr int kMaxNameCode = 79;

std::string_view first_item(std::string_view type_text) {
  return type_text.substr(0, type_text.find(':'));
}

int item_count(std::string_view type_text) {
  int n = 1;
  for (char c : type_text) n += c == ':';
  return n;
}

uint32_t big_endian(const uint8_t* data, int count) {
  uint32_t v = 0;
  for (int i = 0; i < count; ++i) v = (v << 8) | data[i];
  return v;
}

std::string int_bytes(uint32_t v, bool fixed_two) {
  if (fixed_two || v > 0xFF)
    return {static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)};
  return {static_cast<char>(v & 0xFF)};
}

bool within(const ValueFormat& f, double v) {
  if (!f.has_limits()) return true;
  return v >= f.minimum - kLimitTolerance && v <= f.maximum + kLimitTolerance;
}

float float_of(const uint8_t* data, int count) {
  uint8_t b[4] = {0, 0, 0, 0};
  for (int i = 0; i < count && i < 4; ++i) b[i] = data[i];
  uint32_t bits = big_endian(b, 4);
  return std::bit_cast<float>(bits);
}

}  // namespace

ValueFormat value_format(std::string_view name, std::string_view type_text, double minimum,
                         double maximum) {
  using platform::iequals;
  ValueFormat f;
  f.minimum = minimum;
  f.maximum = maximum;
  struct Reserved {
    const char* name;
    int choices;
  };
  static constexpr Reserved kNetworkChoices[] = {
      {"bPS", 9}, {"LEn", 2}, {"PrtY", 3}, {"Sbit", 2}, {"A.Len", 2}};
  for (const auto& r : kNetworkChoices)
    if (iequals(name, r.name)) {
      f.kind = ValueKind::Choice;
      f.choiceCount = r.choices;
      return f;
    }
  static constexpr const char* kFixedTwo[] = {"Addr", "SoUr", "Alr.t", "tHP", "tP.H", "CLB.K"};
  std::string_view word = first_item(type_text);
  if (iequals(name, "Addr")) {
    f.kind = ValueKind::Int;
    f.fixedTwo = true;
    return f;
  }
  if (iequals(word, "float")) {
    f.kind = ValueKind::Float;
    f.floatBytes = name == "r.oe" ? 3 : 4;
  } else if (iequals(word, "int")) {
    f.kind = ValueKind::Int;
    for (const char* n : kFixedTwo) f.fixedTwo = f.fixedTwo || iequals(name, n);
  } else if (iequals(word, "CLK_frm")) {
    f.kind = ValueKind::Clock;
  } else if (type_text == "string" || type_text == "ASCI") {
    f.kind = ValueKind::Text;
  } else if (type_text == "name") {
    f.kind = ValueKind::Name;
  } else if (type_text == "void") {
    f.kind = ValueKind::Void;
  } else {
    f.kind = ValueKind::Choice;
    f.choiceCount = item_count(type_text);
  }
  return f;
}

uint8_t accept_value(const ValueFormat& f, const uint8_t* data, int count, std::string& stored) {
  if (count < 0) return kErrWrongSize;
  switch (f.kind) {
    case ValueKind::Float: {
      if (count != f.floatBytes) return kErrWrongSize;
      float v = float_of(data, count);
      if (!std::isfinite(v) || !within(f, v)) return kErrOutOfLimits;
      stored.assign(reinterpret_cast<const char*>(data), count);
      return 0;
    }
    case ValueKind::Int:
    case ValueKind::Clock: {
      if (count != 1 && count != 2) return kErrWrongSize;
      uint32_t v = big_endian(data, count);
      if (!within(f, v)) return kErrOutOfLimits;
      stored = int_bytes(v, f.fixedTwo);
      return 0;
    }
    case ValueKind::Text:
      if (static_cast<size_t>(count) > f.maxText) return kErrWrongSize;
      stored.assign(reinterpret_cast<const char*>(data), count);
      return 0;
    case ValueKind::Name:
      if (count != 4) return kErrWrongSize;
      for (int i = 0; i < 4; ++i)
        if (data[i] > kMaxNameCode) return kErrOutOfLimits;
      stored.assign(reinterpret_cast<const char*>(data), count);
      return 0;
    case ValueKind::Choice:
      if (count != 1) return kErrWrongSize;
      if (data[0] >= f.choiceCount) return kErrUnknownCode;
      stored.assign(1, static_cast<char>(data[0]));
      return 0;
    case ValueKind::Void:
      if (count != 0) return kErrWrongSize;
      stored.clear();
      return 0;
  }
  return kErrWrongSize;
}

double value_number(const ValueFormat& f, std::string_view stored) {
  const auto* d = reinterpret_cast<const uint8_t*>(stored.data());
  int n = static_cast<int>(stored.size());
  switch (f.kind) {
    case ValueKind::Float:
      return n >= 3 ? float_of(d, n) : 0.0;
    case ValueKind::Int:
    case ValueKind::Clock:
    case ValueKind::Choice:
      return n >= 1 && n <= 4 ? big_endian(d, n) : 0;
    default:
      return 0;
  }
}

std::string number_value(const ValueFormat& f, double number) {
  switch (f.kind) {
    case ValueKind::Float: {
      uint32_t bits = std::bit_cast<uint32_t>(static_cast<float>(number));
      std::string s;
      for (int i = 0; i < f.floatBytes; ++i)
        s.push_back(static_cast<char>((bits >> (24 - 8 * i)) & 0xFF));
      return s;
    }
    case ValueKind::Int:
    case ValueKind::Clock: {
      double r = std::round(number);
      uint32_t v = !(r > 0) ? 0 : r > 65535 ? 65535 : static_cast<uint32_t>(r);
      return int_bytes(v, f.fixedTwo);
    }
    case ValueKind::Choice: {
      double r = std::round(number);
      int v = !(r > 0) ? 0 : r >= f.choiceCount ? f.choiceCount - 1 : static_cast<int>(r);
      return std::string(1, static_cast<char>(v));
    }
    case ValueKind::Name:
      return std::string(4, static_cast<char>(kBlankCode));
    default:
      return {};
  }
}

std::string default_value(const ValueFormat& f) {
  if (f.kind == ValueKind::Name) return std::string(4, static_cast<char>(kBlankCode));
  if (f.kind == ValueKind::Text || f.kind == ValueKind::Void) return {};
  // A parameter whose limits exclude 0 starts at its minimum.
  double start = f.has_limits() && (f.minimum > 0 || f.maximum < 0) ? f.minimum : 0;
  return number_value(f, start);
}

}  // namespace vesk::sim
