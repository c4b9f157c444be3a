#pragma once
// How the device itself holds a value: which data sizes it takes on a write, which
// values it refuses, and the bytes it answers with. The text form belongs to the
// configurator's converter; the simulator uses that only at its edges (initial values,
// the state file, the dump).

#include <cstdint>
#include <string>
#include <string_view>

namespace vesk::sim {

// The device's error codes that a write of a value can earn.
inline constexpr uint8_t kErrWrongSize = 49;    // data of the wrong size
inline constexpr uint8_t kErrOutOfLimits = 6;   // value outside the limits
inline constexpr uint8_t kErrUnknownCode = 55;  // choice number outside the list

// Strings are kept short enough that a reply, index included, still fits the
// configurator's 31-character reply buffer (8 data bytes).
inline constexpr size_t kMaxReplyBytes = 8;

enum class ValueKind { Float, Int, Clock, Text, Name, Choice, Void };

struct ValueFormat {
  ValueKind kind = ValueKind::Void;
  int float_bytes = 4;               // Float: 4, or 3 for "r.oe"
  bool fixed_two = false;            // Int: always answered in 2 bytes ("Addr", "SoUr", ...)
  int choice_count = 0;              // Choice: number of items
  size_t max_text = kMaxReplyBytes;  // Text: longest value (less for an indexed one)
  double minimum = 0;                // limits; both 0 means none
  double maximum = 0;

  bool HasLimits() const { return minimum != 0 || maximum != 0; }
};

// The device's format of a parameter from its short name and type text: the reserved
// network names first ("bPS", "LEn", "PrtY", "Sbit", "A.Len" are choices of their device
// codes, "Addr" a 2-byte number), then the format word, else a choice list.
ValueFormat FormatOf(std::string_view name, std::string_view type_text, double minimum,
                     double maximum);

// Checks the value bytes of a write (index already stripped). Returns 0 and the bytes the
// device then holds, in the form it answers with; or the device's error code: 49 for a
// size the format does not take, 6 for a value outside the limits (or not a number), 55
// for a choice outside the list.
uint8_t AcceptValue(const ValueFormat& format, const uint8_t* data, int count, std::string& stored);

// The number a value stands for (choice number, integer, seconds, float); 0 for text.
double ValueNumber(const ValueFormat& format, std::string_view stored);

// The bytes of a number in the device's form for a numeric kind (rounded, clamped to
// 0 ... 65535 for integers); for Text and Void, empty.
std::string NumberValue(const ValueFormat& format, double number);

// The value a parameter starts with when the description gives none: 0, the first
// choice, four blanks for a name, an empty text.
std::string DefaultValue(const ValueFormat& format);

}  // namespace vesk::sim
