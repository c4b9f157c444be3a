#include "link/parameter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "link/number_text.h"
#include "platform/language.h"
#include "platform/text.h"

namespace vesk::link {

namespace {

using platform::Iequals;

constexpr double kFloatTolerance = 0.0009;
constexpr double kWholeTolerance = 0.00001;
// Beyond 2^53 a double no longer tells whole numbers apart.
constexpr double kLargestWhole = 9007199254740992.0;
constexpr unsigned kLargestClock = 65535;  // the device counts clock values in 16 bits
constexpr size_t kNetworkNameChars = 4;

bool IsLatinOrDigit(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// At most four characters of the network-name alphabet, each optionally followed by one
// point that does not count as a character.
bool ValidNetworkName(std::string_view text) {
  size_t characters = 0;
  bool point_allowed = false;
  for (char c : text) {
    if (c == '.') {
      if (!point_allowed) return false;
      point_allowed = false;
      continue;
    }
    if (!(IsLatinOrDigit(c) || c == ' ' || c == '-' || c == '/' || c == '_')) return false;
    if (++characters > kNetworkNameChars) return false;
    point_allowed = true;
  }
  return characters > 0;
}

std::string ClockText(unsigned seconds) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02u:%02u", seconds / 60, seconds % 60);
  return buffer;
}

bool IsFormatWord(std::string_view word) {
  for (std::string_view w : {"float", "int", "CLK_frm", "string", "ASCI", "name"})
    if (Iequals(word, w)) return true;
  return false;
}

}  // namespace

Parameter::Parameter(std::string short_name) : ValueCodec(std::move(short_name)) {}

std::unique_ptr<Parameter> Parameter::Clone() const {
  std::unique_ptr<Parameter> copy(new Parameter(*this));
  copy->polled = false;
  return copy;
}

bool Parameter::SetValueFromText(std::string_view text) {
  if (platform::Utf8Length(text) > kMaxValueChars) return false;
  const bool limited = minimum != 0 || maximum != 0;
  const std::string_view word = FormatWord();
  std::string accepted;

  if (Iequals(short_name, kNetworkNameParameter)) {
    if (!ValidNetworkName(text)) return false;
    accepted = text;
  } else if (Iequals(word, "float")) {
    double number = 0;
    if (!ParseDecimal(text, number)) return false;
    const float single = static_cast<float>(number);
    if (!std::isfinite(single)) return false;
    const double stored = single;
    if (limited && (stored < minimum - kFloatTolerance || stored > maximum + kFloatTolerance))
      return false;
    accepted = FormatFixed3(stored);
  } else if (Iequals(word, "int")) {
    double number = 0;
    if (!ParseDecimal(text, number)) return false;
    const double whole = std::round(number);
    if (std::fabs(number - whole) > kWholeTolerance || std::fabs(whole) > kLargestWhole)
      return false;
    if (limited && (whole < minimum || whole > maximum)) return false;
    // The whole number is what the device gets, so that is what the value shows:
    // "1e3" or "2.0" would otherwise be written as 1 and 2.
    accepted = std::to_string(static_cast<long long>(whole));
  } else if (Iequals(word, "CLK_frm")) {
    unsigned seconds = 0;
    unsigned multiplier = 10;
    bool any_digit = false;
    for (size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c == ':') {
        multiplier = text.size() - i - 1 > 1 ? 6 : 60;
      } else if (c >= '0' && c <= '9') {
        seconds = seconds * multiplier + static_cast<unsigned>(c - '0');
        if (seconds > kLargestClock) return false;
        multiplier = 10;
        any_digit = true;
      } else {
        return false;
      }
    }
    if (!any_digit) return false;
    if (limited && (seconds < minimum || seconds > maximum)) return false;
    // Minutes and two-digit seconds are the form the write reads back exactly
    // ("1:5" means 65 seconds, but would be written as 1 * 6 + 5).
    accepted = ClockText(seconds);
  } else {
    accepted = text;
  }

  value = std::move(accepted);
  value_changed = true;
  return true;
}

bool Parameter::IsChoiceOf(std::string_view text) const {
  if (Iequals(short_name, kNetworkNameParameter) || IsFormatWord(FormatWord()) ||
      type_text.empty() || Iequals(type_text, "void"))
    return true;
  const std::vector<std::string> items = ChoiceItems();
  return std::find(items.begin(), items.end(), text) != items.end();
}

void Parameter::Reset() {
  value = kNoData;
  note.clear();
  editable = true;
  owned_by_firm = false;
  value_changed = edit_changed = owner_changed = false;
}

void Parameter::SetCompareNote(std::string_view prefix, std::string_view shown_value,
                               const Parameter& other) {
  note = std::string(platform::Tr(std::string(prefix))) + " '" + std::string(shown_value) + "'," +
         (other.editable ? platform::Tr("Ред-ый,") : platform::Tr("Не ред-ый,")) +
         (other.owned_by_firm ? platform::Tr("фирм.") : platform::Tr("польз."));
}

bool Parameter::HasCompareNote() const {
  return note.starts_with(platform::Tr(kCompareNotePrefix)) ||
         note.starts_with(platform::Tr(kFileCompareNotePrefix));
}

Rgb Parameter::DisplayColour() const {
  if (HasCompareNote()) return {64, 64, 255};
  if (!note.empty()) return {255, 0, 0};
  if (AnyChanged()) return {0, 200, 0};
  return {};
}

std::string Parameter::TreeText(bool show_indexes) const {
  if (!(show_indexes && IsPolled())) return caption;
  return caption + ", " + short_name + ":" + std::to_string(poll_index);
}

std::string Parameter::NameColumn(bool show_indexes) const {
  if (!(show_indexes && indexed)) return short_name;
  return short_name + ":" + std::to_string(linear_index);
}

std::string Parameter::EditableText() const {
  if (has_attributes == 0) return {};
  return editable ? platform::Tr("Редактируемый") : platform::Tr("Не редактируемый");
}

std::string Parameter::OwnerText() const {
  if (has_attributes == 0) return {};
  return owned_by_firm ? platform::Tr("Фирма") : platform::Tr("Пользователь");
}

int Parameter::Icon() const {
  if (!writable) return 30;
  return IsFormatWord(FormatWord()) ? 28 : 27;
}

uint8_t Parameter::AttributeByte() const {
  return static_cast<uint8_t>((editable ? 1u : 0u) | (owned_by_firm ? 0u : 2u));
}

void Parameter::SetAttributeByte(uint8_t attributes) {
  editable = (attributes & 1u) != 0;
  owned_by_firm = (attributes & 2u) == 0;
}

}  // namespace vesk::link
