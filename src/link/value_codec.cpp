#include "link/value_codec.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <string>

#include "link/frame_codec.h"
#include "link/network_settings.h"
#include "link/number_text.h"
#include "link/type_text.h"
#include "platform/language.h"
#include "platform/text.h"

namespace vesk::link {

namespace {

using platform::Iequals;

constexpr int kMaxChoiceItems = 127;
constexpr unsigned kHighestNameCode = 79;

// Names whose "int" value always travels in two bytes, whatever its size.
constexpr std::string_view kTwoByteInts[] = {kAddressName, "SoUr", "Alr.t", "tHP", "tP.H", "CLB.K"};
constexpr std::string_view kTwoByteClocks[] = {"Alr.t", "tHP", "tP.H"};

template <size_t N>
bool OneOf(std::string_view name, const std::string_view (&names)[N]) {
  return std::any_of(std::begin(names), std::end(names),
                     [&](std::string_view n) { return Iequals(name, n); });
}

std::string LengthError(int count) {
  return platform::Tr("Ошибка; (Непонятная длина ответа:") + std::to_string(count) + ")";
}

// The bytes as cp1251 text; a NUL ends the text, as it ended the device's C string.
std::string BytesAsText(const uint8_t* data, int count) {
  const size_t limit = std::min<size_t>(static_cast<size_t>(count), kMaxValueChars);
  const auto* chars = reinterpret_cast<const char*>(data);
  const size_t length = std::find(chars, chars + limit, '\0') - chars;
  return platform::Cp1251ToUtf8(std::string_view(chars, length));
}

// The text of the device's diagnostic reply ("exit"), exactly 3 bytes.
std::string DeviceDiagnostic(const uint8_t* data) {
  if (data[0] == 24) return "Адрес прибора: " + std::to_string(data[1] * 256 + data[2]);
  const int code = static_cast<int8_t>(data[2]);
  switch (code) {
    case 1:
    case 14:
      return "Нештатный вход в программу контроля";
    case 2:
      return "Сбой бегущей единицы на порту С";
    case 3:
      return "Сбой бегущей единицы на порту E";
    case 4:
      return "сбой бегущей единицы на порту B";
    case 5:
      return "переполнение одного из стеков (данных или адресов возврата)";
    case 6:
      return "внешний сброс";
    case 7:
      return "сброс по питанию";
    case 8:
      return "Самопроизвольный watchdog";
    case 9:
      return "Кто-то держит SDA линию магистрали в 0";
    case 10:
      return "Ошибки при чтения/записи еепром";
    case 11:
      return "ошибки при записи еепром";
    case 12:
      return "Не хватает времени до перезагрузки очереди";
    case 13:
      return "Ошибка зацикливания указателей pwmQueue";
    case 15:
      return "Повторная проверка обнаружила неисправимый код (Check_Segment)";
    case 95:
      return "Сбой регистра SREG";
    default:
      break;
  }
  if (code >= 32 && code <= 94)
    return "Ошибки регистров ввода/вывода. Номеру сбившегося регистра :  " + std::to_string(code);
  return "Не найдено значение ошибки ";
}

std::string BlanksForUnderscores(std::string_view item) {
  std::string out(item);
  std::replace(out.begin(), out.end(), '_', ' ');
  return out;
}

// A value of one or two bytes, most significant first; the longer counts carry a 2-byte
// index behind the value.
unsigned ShortValue(const uint8_t* data, int count) {
  return count % 2 == 0 ? data[0] * 256u + data[1] : data[0];
}

// The device's own code of a network setting, which differs from the program's port code.
int NetworkSettingText(const NetworkSetting& setting, const uint8_t* data, int count,
                       std::string& text) {
  if (Iequals(setting.type_text, "int")) {
    if (count > 2) return 0;
    text = std::to_string(ShortValue(data, count));
    return 1;
  }
  const std::vector<std::string_view> texts = TypeTextPieces(setting.type_text);
  if (data[0] >= texts.size()) return 0;
  text = texts[data[0]];
  return 1;
}

// Removes trailing blanks (and, with `controls`, control characters too).
std::string_view TrimRight(std::string_view text, bool controls) {
  while (!text.empty()) {
    const unsigned char c = static_cast<unsigned char>(text.back());
    if (!(c == ' ' || (controls && (c < 0x20 || c == 0x7F)))) break;
    text.remove_suffix(1);
  }
  return text;
}

// A value below 256 travels in one byte unless the name always takes two.
void PutOneOrTwoBytes(unsigned v, bool two_bytes, uint8_t data[4], int& count) {
  if (two_bytes || v >= 256) {
    data[0] = static_cast<uint8_t>(v >> 8);
    data[1] = static_cast<uint8_t>(v);
    count = 2;
  } else {
    data[0] = static_cast<uint8_t>(v);
    count = 1;
  }
}

// The encoders of ConvertToData, one a format, with its results.
int EncodeFloat(std::string_view short_name, std::string_view work, uint8_t data[4], int& count) {
  double number = 0;
  if (!ParseDecimal(TrimRight(work, true), number)) return 0;
  const float single = static_cast<float>(number);
  if (!std::isfinite(single)) return 0;
  const uint32_t bits = std::bit_cast<uint32_t>(single);
  // Only the name in exactly this case drops the lowest mantissa byte.
  const int n = short_name == "r.oe" ? 3 : 4;
  for (int i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(bits >> (24 - 8 * i));
  count = n;
  return 1;
}

int EncodeInt(std::string_view short_name, std::string_view work, uint8_t data[4], int& count) {
  uint32_t v = 0;
  if (!ParseIntegerPrefix(TrimRight(work, false), v)) return 0;
  PutOneOrTwoBytes(v & 0xFFFFu, OneOf(short_name, kTwoByteInts) || (v & 0xFF00u) != 0, data, count);
  return 1;
}

int EncodeClock(std::string_view short_name, std::string_view work, uint8_t data[4], int& count) {
  uint16_t v = 0;
  bool any_digit = false;
  char previous = '\0';
  for (char c : work) {
    if (c >= '0' && c <= '9') {
      const unsigned digit = static_cast<unsigned>(c - '0');
      v = static_cast<uint16_t>(v * (previous == ':' ? 6u : 10u) + digit);
      any_digit = true;
    } else if (c != ':') {
      return -1;
    }
    previous = c;
  }
  if (!any_digit) return 0;
  PutOneOrTwoBytes(v, OneOf(short_name, kTwoByteClocks), data, count);
  return 1;
}

// Returns the refusal, or nullptr when the name is encoded.
const char* EncodeName(std::string_view work, uint8_t data[4], int& count) {
  if (work.empty()) return platform::Tr("Сетевое имя пусто");
  if (platform::Utf8Length(work) >= 9) return platform::Tr("Сетевое имя слишком длинное");
  PackedName codes{};
  if (!PackNetworkName(platform::FoldUpper(work), codes))
    return platform::Tr("Недопустимый символ в сетевом имени");
  for (int i = 0; i < 4; ++i) data[i] = codes[3 - i];
  count = 4;
  return nullptr;
}

int EncodeChoice(const std::vector<std::string>& items, std::string_view work, uint8_t data[4],
                 int& count) {
  const std::string wanted = BlanksForUnderscores(work);
  const size_t searched = std::min<size_t>(items.size(), kMaxChoiceItems);
  for (size_t i = 0; i < searched; ++i) {
    if (Iequals(items[i], wanted)) {
      data[0] = static_cast<uint8_t>(i);
      count = 1;
      return 1;
    }
  }
  return 0;
}

}  // namespace

ValueCodec::ValueCodec(std::string short_name) : short_name(std::move(short_name)) {}

std::string_view ValueCodec::FormatWord() const {
  std::string_view type = type_text;
  return type.substr(0, type.find(':'));
}

std::vector<std::string> ValueCodec::ChoiceItems() const {
  std::vector<std::string> items;
  for (std::string_view piece : TypeTextPieces(type_text))
    items.push_back(BlanksForUnderscores(piece));
  return items;
}

int ValueCodec::ConvertFromData(const uint8_t* data, int count, std::string& text) const {
  text.clear();
  if (data == nullptr) count = 0;
  if (count <= 0) {
    if (Iequals(short_name, "APLY")) return 1;
    return Iequals(type_text, "void") ? 1 : 0;
  }

  if (Iequals(short_name, "APLY")) return 1;
  if (Iequals(short_name, "dev") || Iequals(short_name, "ver")) {
    text = BytesAsText(data, count);
    return 1;
  }
  if (Iequals(short_name, "exit")) {
    if (count != 3) return 0;
    text = DeviceDiagnostic(data);
    return 1;
  }
  if (const NetworkSetting* setting = FindNetworkSetting(short_name))
    return NetworkSettingText(*setting, data, count, text);

  const std::string_view word = FormatWord();
  if (Iequals(word, "float")) {
    const bool short_float = Iequals(short_name, "r.oe");
    const bool fits = short_float ? (count == 3 || count == 5) : (count == 4 || count == 6);
    if (!fits) return 0;
    const uint32_t bits = (uint32_t{data[0]} << 24) | (uint32_t{data[1]} << 16) |
                          (uint32_t{data[2]} << 8) | (short_float ? 0u : data[3]);
    text = FormatFixed3(std::bit_cast<float>(bits));
    return 1;
  }
  if (Iequals(word, "int") || Iequals(word, "CLK_frm")) {
    if (count > 4) {
      text = LengthError(count);
      return -1;
    }
    const unsigned v = ShortValue(data, count);
    if (Iequals(word, "int")) {
      text = std::to_string(v);
    } else {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "%02u:%02u", v / 60, v % 60);
      text = buffer;
    }
    return 1;
  }
  if (Iequals(type_text, "string") || Iequals(type_text, "ASCI")) {
    text = BytesAsText(data, count);
    return 1;
  }
  if (Iequals(type_text, "name")) {
    if (count != 4 && count != 6) {
      text = LengthError(count);
      return -1;
    }
    for (int i = 3; i >= 0; --i) {
      if (data[i] > kHighestNameCode) {
        text = platform::Tr("Недопустимый код символа в сетевом имени");
        return -1;
      }
      AppendPackedChar(text, data[i]);
    }
    return 1;
  }

  const std::vector<std::string> items = ChoiceItems();
  if (data[0] >= items.size()) return 0;
  text = items[data[0]];
  return 1;
}

int ValueCodec::ConvertToData(std::string_view text, uint8_t data[4], int& count,
                              std::string* message) const {
  count = 0;
  if (message) message->clear();
  if (Iequals(short_name, "dev") || Iequals(short_name, "ver") || Iequals(short_name, "exit"))
    return -1;
  if (Iequals(short_name, "APLY")) return 1;

  const std::string work = platform::Utf8Prefix(text, kMaxValueChars);
  const std::string_view word = FormatWord();
  if (Iequals(word, "float")) return EncodeFloat(short_name, work, data, count);
  if (Iequals(word, "int")) return EncodeInt(short_name, work, data, count);
  if (Iequals(word, "CLK_frm")) return EncodeClock(short_name, work, data, count);
  if (Iequals(type_text, "void")) return 1;
  if (Iequals(type_text, "name")) {
    const char* refusal = EncodeName(work, data, count);
    if (refusal && message) *message = refusal;
    return refusal ? -1 : 1;
  }
  return EncodeChoice(ChoiceItems(), work, data, count);
}

}  // namespace vesk::link
