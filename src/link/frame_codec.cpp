#include "link/frame_codec.h"

namespace vesk::link {

namespace {

constexpr uint16_t kPolynomial = 0x8F57;
constexpr uint8_t kBlankCode = 78;
constexpr size_t kNameCharacters = 8;

constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    uint16_t reg = static_cast<uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit)
      reg = (reg & 0x8000) ? static_cast<uint16_t>((reg << 1) ^ kPolynomial)
                           : static_cast<uint16_t>(reg << 1);
    table[byte] = reg;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

// One step of the checksum register for a single bit (the name hash runs 7 bits a code).
inline uint16_t CrcBit(uint16_t reg, unsigned bit) {
  return ((bit ^ (reg >> 15)) & 1) ? static_cast<uint16_t>((reg << 1) ^ kPolynomial)
                                   : static_cast<uint16_t>(reg << 1);
}

// Length of the UTF-8 character that starts at s[i], so that a Cyrillic letter counts as
// one character as it would in cp1251; a broken sequence counts byte by byte.
size_t Utf8Step(std::string_view s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
  if (i + len > s.size()) return 1;
  for (size_t k = 1; k < len; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  return len;
}

// The code of an alphabet character after upper-casing, or -1 for anything else
// (points are handled by the caller).
int AlphabetCode(std::string_view s, size_t i, size_t len) {
  if (len != 1) return -1;
  char c = s[i];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z') return 2 * (c - 55);
  if (c >= '0' && c <= '9') return 2 * (c - 48);
  if (c == ' ') return 78;
  if (c == '_') return 74;
  if (c == '-') return 72;
  return -1;
}

// The common walk of both packings. Position 4 exists so that a point right after the
// fourth character still reaches code 3 while a fifth character is dropped.
bool Pack(std::string_view name, bool strict, PackedName& result) {
  uint8_t codes[5] = {kBlankCode, kBlankCode, kBlankCode, kBlankCode, kBlankCode};
  size_t pos = 0;
  size_t characters = 0;
  for (size_t i = 0; i < name.size() && pos <= 4; ++characters) {
    if (!strict && characters == kNameCharacters) break;
    size_t len = Utf8Step(name, i);
    if (len == 1 && name[i] == '.') {
      // A point with no character before it has nothing to mark.
      if (pos == 0) {
        if (strict) return false;
      } else {
        ++codes[pos - 1];
      }
    } else if (int code = AlphabetCode(name, i, len); code >= 0) {
      codes[pos++] = static_cast<uint8_t>(code);
    } else if (strict) {
      return false;
    }
    i += len;
  }
  result = {codes[0], codes[1], codes[2], codes[3]};
  return true;
}

}  // namespace

uint16_t HashBuffer(const uint8_t* bytes, size_t count, uint16_t initial) {
  uint16_t reg = initial;
  for (size_t i = 0; i < count; ++i)
    reg = static_cast<uint16_t>((reg << 8) ^ kCrcTable[((reg >> 8) ^ bytes[i]) & 0xFF]);
  return reg;
}

bool EncodeBuffer(const uint8_t* bytes, size_t count, char* out, size_t capacity) {
  if (count > capacity / 2) return false;
  for (size_t i = 0; i < count; ++i) {
    out[2 * i] = static_cast<char>(kNibbleZero + (bytes[i] >> 4));
    out[2 * i + 1] = static_cast<char>(kNibbleZero + (bytes[i] & 0x0F));
  }
  return true;
}

size_t DecodeBuffer(const char* chars, size_t count, uint8_t* out, size_t capacity) {
  size_t n = count / 2;
  if (n > capacity) n = capacity;
  for (size_t i = 0; i < n; ++i) {
    unsigned hi = static_cast<unsigned char>(chars[2 * i]) - static_cast<unsigned>(kNibbleZero);
    unsigned lo = static_cast<unsigned char>(chars[2 * i + 1]) - static_cast<unsigned>(kNibbleZero);
    out[i] = static_cast<uint8_t>((hi << 4) + lo);
  }
  return n;
}

PackedName PackName(std::string_view name) {
  PackedName codes{};
  Pack(name, false, codes);
  return codes;
}

bool PackNetworkName(std::string_view name, PackedName& codes) {
  return Pack(name, true, codes);
}

void AppendPackedChar(std::string& out, unsigned code) {
  unsigned c = code / 2;
  char ch = c <= 9    ? static_cast<char>('0' + c)
            : c <= 35 ? static_cast<char>('A' + c - 10)
            : c == 36 ? '-'
            : c == 37 ? '_'
            : c == 38 ? '/'
                      : ' ';
  out += ch;
  if (code & 1) out += '.';
}

uint16_t NameHash(std::string_view name) {
  if (name.empty()) return 0;
  PackedName codes = PackName(name);
  uint16_t reg = 0;
  for (uint8_t code : codes)
    for (int bit = 6; bit >= 0; --bit) reg = CrcBit(reg, (code >> bit) & 1u);
  return reg;
}

bool BuildRequest(bool read, uint16_t hash, const uint8_t* data, int count,
                  const FrameAddress& address, RequestFrame& out) {
  out.byte_count = 0;
  out.length = 0;
  if (count < 0 || count > kMaxDataBytes || (count > 0 && data == nullptr)) return false;

  const bool eleven_bits = address.length_bits > 8;
  const int addr = address.offset == kFixedAddressOffset ? 255 : address.base + address.offset;
  const unsigned high =
      eleven_bits ? static_cast<unsigned>(addr) >> 3 : static_cast<unsigned>(addr);
  const unsigned low_bits = eleven_bits ? static_cast<unsigned>(addr) & 7u : 0u;

  uint8_t* b = out.bytes;
  b[0] = static_cast<uint8_t>(high);
  b[1] = static_cast<uint8_t>(((low_bits * 2 + (read ? 1u : 0u)) << 4) | (count & 0x0F));
  b[2] = static_cast<uint8_t>(hash >> 8);
  b[3] = static_cast<uint8_t>(hash);
  for (int i = 0; i < count; ++i) b[4 + i] = data[i];
  uint16_t crc = HashBuffer(b, static_cast<size_t>(4 + count));
  b[4 + count] = static_cast<uint8_t>(crc >> 8);
  b[5 + count] = static_cast<uint8_t>(crc);
  const int bytes = count + 6;

  out.line[0] = kFrameStart;
  EncodeBuffer(b, static_cast<size_t>(bytes), out.line + 1, sizeof out.line - 2);
  out.line[1 + 2 * bytes] = kFrameEnd;
  out.byte_count = bytes;
  out.length = 2 * bytes + 2;
  return true;
}

bool ParseReply(std::string_view chars, ReplyFrame& out) {
  out.count = 0;
  if (chars.size() < 2) return false;
  // A frame that announces at most 15 data bytes never needs more than this; a longer
  // reply cannot be a frame whose checksum holds.
  uint8_t bytes[kMaxFrameBytes];
  const size_t m = (chars.size() - 2) / 2;
  if (m < 6 || m > kMaxFrameBytes) return false;
  DecodeBuffer(chars.data() + 1, chars.size() - 2, bytes, sizeof bytes);

  const int n = bytes[1] & 0x0F;
  // The checksum must lie inside what arrived, never in bytes that were not received.
  if (static_cast<size_t>(n) + 6 > m) return false;
  out.head[0] = bytes[0];
  out.head[1] = bytes[1];
  out.hash = static_cast<uint16_t>(bytes[2] << 8 | bytes[3]);
  out.received_checksum = static_cast<uint16_t>(bytes[4 + n] << 8 | bytes[5 + n]);
  out.local_checksum = HashBuffer(bytes, m - 2);
  if (out.received_checksum != out.local_checksum) return false;
  for (int i = 0; i < n; ++i) out.data[i] = bytes[4 + i];
  out.count = n;
  return true;
}

}  // namespace vesk::link
