#include "platform/text.h"

#include <cstdint>

namespace vesk::platform {

namespace {

// Unicode code points of cp1251 bytes 0x80 ... 0xFF. The one byte without a letter, 0x98,
// stands for the control character U+0098, so that every byte survives a round trip.
constexpr uint16_t kHigh[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// Decodes one code point; returns false on invalid UTF-8 (consumes one byte).
bool NextCodePoint(std::string_view s, size_t& i, uint32_t& cp) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > s.size()) {
    ++i;
    return false;
  }
  cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
  for (int k = 1; k < len; ++k) {
    unsigned char cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  // Overlong forms and surrogates would let one character hide behind another.
  const uint32_t least = len == 2 ? 0x80 : len == 3 ? 0x800 : len == 4 ? 0x10000 : 0;
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return false;
  }
  i += len;
  return true;
}

// Writes the UTF-8 form of a valid code point into `out`; returns its length.
int EncodeUtf8(uint32_t cp, unsigned char out[4]) {
  if (cp < 0x80) {
    out[0] = static_cast<unsigned char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
  return 4;
}

void PutUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
    return;
  }
  unsigned char bytes[4];
  out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(EncodeUtf8(cp, bytes)));
}

int ToCp1251(uint32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  // The Cyrillic alphabet proper is one contiguous block; only the rest needs a search.
  if (cp >= 0x410 && cp <= 0x44F) return static_cast<int>(cp - 0x410 + 0xC0);
  for (int k = 0; k < 64; ++k)
    if (kHigh[k] == cp) return 0x80 + k;
  return -1;
}

uint32_t FoldCp(uint32_t cp, bool upper) {
  if (upper) {
    if (cp >= 'a' && cp <= 'z') return cp - 32;
    if (cp >= 0x430 && cp <= 0x44F) return cp - 0x20;
    if (cp >= 0x450 && cp <= 0x45F) return cp - 0x50;
  } else {
    if (cp >= 'A' && cp <= 'Z') return cp + 32;
    if (cp >= 0x410 && cp <= 0x42F) return cp + 0x20;
    if (cp >= 0x400 && cp <= 0x40F) return cp + 0x50;
  }
  return cp;
}

std::string Fold(std::string_view s, bool upper) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    size_t start = i;
    uint32_t cp;
    if (NextCodePoint(s, i, cp))
      PutUtf8(out, FoldCp(cp, upper));
    else
      out.append(s.substr(start, i - start));
  }
  return out;
}

}  // namespace

std::string Utf8ToCp1251(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t cp;
    if (!NextCodePoint(utf8, i, cp)) {
      out += '?';
      continue;
    }
    int b = ToCp1251(cp);
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

bool TryUtf8ToCp1251(std::string_view utf8, std::string& out) {
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t cp;
    if (!NextCodePoint(utf8, i, cp)) return false;
    int b = ToCp1251(cp);
    if (b < 0) return false;
    out += static_cast<char>(b);
  }
  return true;
}

std::u32string Utf8ToCodePoints(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t cp;
    out += NextCodePoint(utf8, i, cp) ? static_cast<char32_t>(cp) : U'\uFFFD';
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  PutUtf8(out, cp);
}

std::string Cp1251ToUtf8(std::string_view cp1251) {
  std::string out;
  out.reserve(cp1251.size() * 2);
  for (char ch : cp1251) {
    unsigned char c = static_cast<unsigned char>(ch);
    PutUtf8(out, c < 0x80 ? c : kHigh[c - 0x80]);
  }
  return out;
}

size_t Utf8Length(std::string_view utf8) {
  size_t n = 0, i = 0;
  uint32_t cp;
  while (i < utf8.size()) {
    NextCodePoint(utf8, i, cp);
    ++n;
  }
  return n;
}

std::string Utf8Prefix(std::string_view utf8, size_t n) {
  size_t i = 0;
  uint32_t cp;
  while (n > 0 && i < utf8.size()) {
    NextCodePoint(utf8, i, cp);
    --n;
  }
  return std::string(utf8.substr(0, i));
}

std::string FoldLower(std::string_view utf8) {
  return Fold(utf8, false);
}
std::string FoldUpper(std::string_view utf8) {
  return Fold(utf8, true);
}

namespace {

// Yields the bytes of FoldLower(s) one at a time, so that names are compared without
// building folded copies: the description and the tree compare names in every lookup.
class FoldedBytes {
 public:
  explicit FoldedBytes(std::string_view s) : s_(s) {}
  bool Next(unsigned char& out) {
    if (at_ == held_) {
      if (i_ >= s_.size()) return false;
      const size_t start = i_;
      uint32_t cp;
      held_ = 0;
      at_ = 0;
      if (NextCodePoint(s_, i_, cp)) {
        held_ = EncodeUtf8(FoldCp(cp, false), buf_);
      } else {
        buf_[held_++] = static_cast<unsigned char>(s_[start]);
      }
    }
    out = buf_[at_++];
    return true;
  }

 private:
  std::string_view s_;
  size_t i_ = 0;
  unsigned char buf_[4] = {};
  int held_ = 0, at_ = 0;
};

}  // namespace

int Icompare(std::string_view a, std::string_view b) {
  FoldedBytes fa(a), fb(b);
  for (;;) {
    unsigned char x = 0, y = 0;
    const bool more_a = fa.Next(x), more_b = fb.Next(y);
    if (!more_a || !more_b) return more_a ? 1 : more_b ? -1 : 0;
    if (x != y) return x < y ? -1 : 1;
  }
}

bool Iequals(std::string_view a, std::string_view b) {
  if (a == b) return true;
  return Icompare(a, b) == 0;
}

}  // namespace vesk::platform
