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

std::string_view FirstItem(std::string_view type_text) {
  return type_text.substr(0, type_text.find(':'));
}

int ItemCount(std::string_view type_text) {
  int n = 1;
  for (char c : type_text) n += c == ':';
  return n;
}

uint32_t BigEndian(const uint8_t* data, int count) {
  uint32_t v = 0;
  for (int i = 0; i < count; ++i) v = (v << 8) | data[i];
  return v;
}

std::string IntBytes(uint32_t v, bool fixed_two) {
  if (fixed_two || v > 0xFF)
    return {static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)};
  return {static_cast<char>(v & 0xFF)};
}

bool Within(const ValueFormat& f, double v) {
  if (!f.HasLimits()) return true;
  return v >= f.minimum - kLimitTolerance && v <= f.maximum + kLimitTolerance;
}

float FloatOf(const uint8_t* data, int count) {
  uint8_t b[4] = {0, 0, 0, 0};
  for (int i = 0; i < count && i < 4; ++i) b[i] = data[i];
  uint32_t bits = BigEndian(b, 4);
  return std::bit_cast<float>(bits);
}

}  // namespace

ValueFormat FormatOf(std::string_view name, std::string_view type_text, double minimum,
                     double maximum) {
  using platform::Iequals;
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
    if (Iequals(name, r.name)) {
      f.kind = ValueKind::Choice;
      f.choice_count = r.choices;
      return f;
    }
  static constexpr const char* kFixedTwo[] = {"Addr", "SoUr", "Alr.t", "tHP", "tP.H", "CLB.K"};
  std::string_view word = FirstItem(type_text);
  if (Iequals(name, "Addr")) {
    f.kind = ValueKind::Int;
    f.fixed_two = true;
    return f;
  }
  if (Iequals(word, "float")) {
    f.kind = ValueKind::Float;
    f.float_bytes = name == "r.oe" ? 3 : 4;
  } else if (Iequals(word, "int")) {
    f.kind = ValueKind::Int;
    for (const char* n : kFixedTwo) f.fixed_two = f.fixed_two || Iequals(name, n);
  } else if (Iequals(word, "CLK_frm")) {
    f.kind = ValueKind::Clock;
  } else if (type_text == "string" || type_text == "ASCI") {
    f.kind = ValueKind::Text;
  } else if (type_text == "name") {
    f.kind = ValueKind::Name;
  } else if (type_text == "void") {
    f.kind = ValueKind::Void;
  } else {
    f.kind = ValueKind::Choice;
    f.choice_count = ItemCount(type_text);
  }
  return f;
}

uint8_t AcceptValue(const ValueFormat& f, const uint8_t* data, int count, std::string& stored) {
  if (count < 0) return kErrWrongSize;
  switch (f.kind) {
    case ValueKind::Float: {
      if (count != f.float_bytes) return kErrWrongSize;
      float v = FloatOf(data, count);
      if (!std::isfinite(v) || !Within(f, v)) return kErrOutOfLimits;
      stored.assign(reinterpret_cast<const char*>(data), count);
      return 0;
    }
    case ValueKind::Int:
    case ValueKind::Clock: {
      if (count != 1 && count != 2) return kErrWrongSize;
      uint32_t v = BigEndian(data, count);
      if (!Within(f, v)) return kErrOutOfLimits;
      stored = IntBytes(v, f.fixed_two);
      return 0;
    }
    case ValueKind::Text:
      if (static_cast<size_t>(count) > f.max_text) return kErrWrongSize;
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
      if (data[0] >= f.choice_count) return kErrUnknownCode;
      stored.assign(1, static_cast<char>(data[0]));
      return 0;
    case ValueKind::Void:
      if (count != 0) return kErrWrongSize;
      stored.clear();
      return 0;
  }
  return kErrWrongSize;
}

double ValueNumber(const ValueFormat& f, std::string_view stored) {
  const auto* d = reinterpret_cast<const uint8_t*>(stored.data());
  int n = static_cast<int>(stored.size());
  switch (f.kind) {
    case ValueKind::Float:
      return n >= 3 ? FloatOf(d, n) : 0.0;
    case ValueKind::Int:
    case ValueKind::Clock:
    case ValueKind::Choice:
      return n >= 1 && n <= 4 ? BigEndian(d, n) : 0;
    default:
      return 0;
  }
}

std::string NumberValue(const ValueFormat& f, double number) {
  switch (f.kind) {
    case ValueKind::Float: {
      uint32_t bits = std::bit_cast<uint32_t>(static_cast<float>(number));
      std::string s;
      for (int i = 0; i < f.float_bytes; ++i)
        s.push_back(static_cast<char>((bits >> (24 - 8 * i)) & 0xFF));
      return s;
    }
    case ValueKind::Int:
    case ValueKind::Clock: {
      double r = std::round(number);
      uint32_t v = !(r > 0) ? 0 : r > 65535 ? 65535 : static_cast<uint32_t>(r);
      return IntBytes(v, f.fixed_two);
    }
    case ValueKind::Choice: {
      double r = std::round(number);
      int v = !(r > 0) ? 0 : r >= f.choice_count ? f.choice_count - 1 : static_cast<int>(r);
      return std::string(1, static_cast<char>(v));
    }
    case ValueKind::Name:
      return std::string(4, static_cast<char>(kBlankCode));
    default:
      return {};
  }
}

std::string DefaultValue(const ValueFormat& f) {
  if (f.kind == ValueKind::Name) return std::string(4, static_cast<char>(kBlankCode));
  if (f.kind == ValueKind::Text || f.kind == ValueKind::Void) return {};
  // A parameter whose limits exclude 0 starts at its minimum.
  double start = f.HasLimits() && (f.minimum > 0 || f.maximum < 0) ? f.minimum : 0;
  return NumberValue(f, start);
}

}  // namespace vesk::sim
