#include "link/probe_codec.h"

namespace vesk::link {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void PutHex(char* out, uint8_t byte) {
  out[0] = kHex[byte >> 4];
  out[1] = kHex[byte & 0x0F];
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads two hexadecimal characters; false when either is not one.
bool GetHex(const char* in, uint8_t& byte) {
  int hi = HexDigit(in[0]), lo = HexDigit(in[1]);
  if (hi < 0 || lo < 0) return false;
  byte = static_cast<uint8_t>(hi << 4 | lo);
  return true;
}

uint8_t CharSum(std::string_view s) {
  unsigned sum = 0;
  for (char c : s) sum += static_cast<unsigned char>(c);
  return static_cast<uint8_t>(sum);
}

ProbeResult CopyData(const uint8_t* from, size_t n, uint8_t* data, size_t capacity, int& count) {
  if (n > capacity) return ProbeResult::Malformed;
  for (size_t i = 0; i < n; ++i) data[i] = from[i];
  count = static_cast<int>(n);
  return ProbeResult::Answered;
}

ProbeResult CheckRtu(uint8_t address, std::string_view reply, uint8_t* data, size_t capacity,
                     int& count) {
  // Address and checksum at least; anything shorter is no frame of this protocol.
  if (reply.size() < 3) return ProbeResult::Malformed;
  const auto* bytes = reinterpret_cast<const uint8_t*>(reply.data());
  const size_t body = reply.size() - 2;
  const uint16_t crc = ModbusCrc16(bytes, body);
  if (bytes[body] != (crc & 0xFF) || bytes[body + 1] != (crc >> 8)) return ProbeResult::Checksum;
  if (bytes[0] != address) return ProbeResult::Address;
  return CopyData(bytes + 1, body - 1, data, capacity, count);
}

ProbeResult CheckAscii(uint8_t address, std::string_view reply, uint8_t* data, size_t capacity,
                       int& count) {
  const size_t cr = reply.find('\r');
  if (cr == std::string_view::npos) return ProbeResult::Malformed;
  const size_t colon = reply.find(':');
  if (colon == std::string_view::npos || colon > cr) return ProbeResult::Malformed;
  std::string_view hex = reply.substr(colon + 1, cr - colon - 1);
  // Address and LRC at least, in whole pairs.
  if (hex.size() % 2 != 0 || hex.size() < 4) return ProbeResult::Malformed;
  uint8_t bytes[64];
  const size_t n = hex.size() / 2;
  if (n > sizeof bytes) return ProbeResult::Malformed;
  for (size_t i = 0; i < n; ++i)
    if (!GetHex(hex.data() + 2 * i, bytes[i])) return ProbeResult::Malformed;
  if (ModbusLrc(bytes, n - 1) != bytes[n - 1]) return ProbeResult::Checksum;
  if (bytes[0] != address) return ProbeResult::Address;
  return CopyData(bytes + 1, n - 2, data, capacity, count);
}

ProbeResult CheckPercent(uint8_t address, std::string_view reply, uint8_t* data, size_t capacity,
                         int& count) {
  // The frame ends with its carriage return; what follows it belongs to nothing.
  const size_t cr = reply.find('\r');
  if (cr != std::string_view::npos) reply = reply.substr(0, cr + 1);
  // Start, address, checksum and the end character at least.
  if (reply.size() < 6) return ProbeResult::Malformed;
  const size_t body = reply.size() - 3;
  uint8_t sum = 0;
  if (!GetHex(reply.data() + body, sum) || sum != CharSum(reply.substr(0, body)))
    return ProbeResult::Checksum;
  if (reply[0] != '!') return ProbeResult::Malformed;
  uint8_t from = 0;
  if (!GetHex(reply.data() + 1, from) || from != address) return ProbeResult::Address;
  return CopyData(reinterpret_cast<const uint8_t*>(reply.data()) + 3, body - 3, data, capacity,
                  count);
}

}  // namespace

uint16_t ModbusCrc16(const uint8_t* bytes, size_t count) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit)
      crc =
          (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
  }
  return crc;
}

uint8_t ModbusLrc(const uint8_t* bytes, size_t count) {
  unsigned sum = 0;
  for (size_t i = 0; i < count; ++i) sum += bytes[i];
  return static_cast<uint8_t>(-sum);
}

bool BuildProbeRequest(int mode, uint8_t address, const uint8_t* payload, int count,
                       ProbeFrame& out) {
  out.length = 0;
  if (count < 0 || count > kProbeMaxPayload || (count > 0 && payload == nullptr)) return false;
  uint8_t bytes[kProbeMaxPayload + 1];
  bytes[0] = address;
  for (int i = 0; i < count; ++i) bytes[1 + i] = payload[i];
  const size_t n = static_cast<size_t>(count) + 1;
  char* p = out.line;
  switch (mode) {
    case kProbeModbusRtu: {
      for (size_t i = 0; i < n; ++i) *p++ = static_cast<char>(bytes[i]);
      const uint16_t crc = ModbusCrc16(bytes, n);
      *p++ = static_cast<char>(crc & 0xFF);
      *p++ = static_cast<char>(crc >> 8);
      break;
    }
    case kProbeModbusAscii:
      *p++ = ':';
      for (size_t i = 0; i < n; ++i, p += 2) PutHex(p, bytes[i]);
      PutHex(p, ModbusLrc(bytes, n));
      p += 2;
      *p++ = '\r';
      *p++ = '\n';
      break;
    case kProbePercent: {
      *p++ = '%';
      PutHex(p, address);
      p += 2;
      for (int i = 0; i < count; ++i) *p++ = static_cast<char>(payload[i]);
      const uint8_t sum = CharSum(std::string_view(out.line, static_cast<size_t>(p - out.line)));
      PutHex(p, sum);
      p += 2;
      *p++ = '\r';
      break;
    }
    default:
      return false;
  }
  out.length = static_cast<int>(p - out.line);
  return true;
}

ProbeResult CheckProbeReply(int mode, uint8_t address, std::string_view reply, uint8_t* data,
                            size_t capacity, int& count) {
  count = 0;
  switch (mode) {
    case kProbeModbusRtu:
      return CheckRtu(address, reply, data, capacity, count);
    case kProbeModbusAscii:
      return CheckAscii(address, reply, data, capacity, count);
    case kProbePercent:
      return CheckPercent(address, reply, data, capacity, count);
    default:
      return ProbeResult::Malformed;
  }
}

}  // namespace vesk::link
