#pragma once
// Conversion of a parameter's value between its display text and the device's data
// bytes. Text is UTF-8 inside the program; "string"/"ASCI" bytes are cp1251 on the wire.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::link {

// Longest value text, in characters (the fixed text buffers of the device software).
inline constexpr size_t kMaxValueChars = 511;

class ValueCodec {
 public:
  explicit ValueCodec(std::string short_name = {});
  virtual ~ValueCodec() = default;

  // Reply data -> value text. Returns 1 converted, 0 not convertible (text unused),
  // -1 the text holds an error message instead of a value. count may be <= 0; no more
  // than count bytes are read, and a null `data` counts as no data.
  int ConvertFromData(const uint8_t* data, int count, std::string& text) const;

  // Value text -> at most 4 data bytes. Returns 1 encoded, 0 the text does not fit the
  // format, -1 the parameter cannot be written or the text is refused (message in
  // `message` where the rules give one, else it is left empty). count is 0 unless the
  // result is 1.
  int ConvertToData(std::string_view text, uint8_t data[4], int& count,
                    std::string* message = nullptr) const;

  // The type text up to its first ':' (the format word).
  std::string_view FormatWord() const;
  // The type text's items, split at ':', with '_' shown as a blank; empty for an empty
  // type text.
  std::vector<std::string> ChoiceItems() const;

  std::string short_name;  // the device's mnemonic, e.g. "bPS"
  std::string value = "Нет данных";
  std::string type_text;  // format word or choice items joined by ':'
  int32_t decimals = 0;
  double maximum = 0;
  double minimum = 0;
};

}  // namespace vesk::link
