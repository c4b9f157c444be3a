#pragma once
// The LORN frame without a port: the frame checksum, the nibble letters of the line
// form, the parameter name hash, request assembly and reply parsing. Everything works
// in fixed buffers; nothing here allocates.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vesk::link {

inline constexpr uint16_t kErrorReplyHash = 0x0233;  // "n.Err"
inline constexpr uint16_t kApplyHash = 0x8403;       // "APLY"
inline constexpr uint16_t kAttributeHash = 0x5EA0;   // "M.s.t.r."

inline constexpr int kMaxDataBytes = 15;
inline constexpr int kMaxFrameBytes = kMaxDataBytes + 6;
inline constexpr int kMaxFrameChars = 2 * kMaxFrameBytes + 2;
inline constexpr char kFrameStart = '#';
inline constexpr char kFrameEnd = '\r';
inline constexpr char kNibbleZero = 'G';  // 'G' ... 'V' carry the nibbles 0 ... 15

// The address offset that names the fixed address 255 instead of base + offset.
inline constexpr int kFixedAddressOffset = -1;

// CRC-16, polynomial 0x8F57, most significant bit first, no reflection, no final XOR.
// Returns the register after `count` bytes; it cannot fail.
uint16_t HashBuffer(const uint8_t* bytes, size_t count, uint16_t initial = 0);

// Writes 2*count nibble letters (high nibble first) into `out`. Returns false, writing
// nothing, when `capacity` is too small.
bool EncodeBuffer(const uint8_t* bytes, size_t count, char* out, size_t capacity);

// Turns pairs of letters into bytes (first letter high nibble) without checking the
// alphabet. Returns the number of bytes written: count/2, at most `capacity`.
size_t DecodeBuffer(const char* chars, size_t count, uint8_t* out, size_t capacity);

// The four 7-bit codes of a name: 2*c + points, c being the index in
// "0-9 A-Z - _ / blank"; unfilled places hold 78 (blank).
using PackedName = std::array<uint8_t, 4>;

// Packs the first 8 characters of a UTF-8 name; characters outside the alphabet
// (Cyrillic ones included) and a point with nothing before it are skipped.
PackedName PackName(std::string_view name);

// The stricter packing of a network name: returns false when a character lies outside
// the alphabet ("/" included) or a point comes first; `codes` is then unspecified.
bool PackNetworkName(std::string_view name, PackedName& codes);

// Appends the character that a packed code stands for, and a point when the code is odd.
void AppendPackedChar(std::string& out, unsigned code);

// 16-bit identity of a parameter on the wire; the empty name hashes to 0.
uint16_t NameHash(std::string_view name);

// Where a request goes: the base address and address length (8 or 11 bits) of the
// port settings, and the caller's offset (kFixedAddressOffset for address 255).
struct FrameAddress {
  int base = 16;
  int length_bits = 8;
  int offset = 0;
};

struct RequestFrame {
  uint8_t bytes[kMaxFrameBytes];
  int byte_count = 0;
  char line[kMaxFrameChars];
  int length = 0;

  std::string_view Text() const { return {line, static_cast<size_t>(length)}; }
};

// Builds the byte form and line form of a request. Returns false, leaving `out` empty,
// when count is outside 0 ... 15 or data is missing for a non-zero count.
bool BuildRequest(bool read, uint16_t hash, const uint8_t* data, int count,
                  const FrameAddress& address, RequestFrame& out);

struct ReplyFrame {
  // Bytes 0 and 1 as they came: the address, the request flag and the length.
  uint8_t head[2] = {};
  uint16_t hash = 0;
  int count = 0;  // data bytes, 0 ... 15
  uint8_t data[kMaxDataBytes] = {};
  uint16_t received_checksum = 0;
  uint16_t local_checksum = 0;
};

// Parses a received reply whose first character is the start character. Returns true
// when the frame holds all the bytes its length field announces and the checksums
// agree; false otherwise (too short, truncated, wrong checksum), with count 0.
bool ParseReply(std::string_view chars, ReplyFrame& out);

}  // namespace vesk::link
