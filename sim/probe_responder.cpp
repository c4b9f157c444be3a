#include "probe_responder.h"

#include <cstdio>
#include <vector>

#include "link/probe_codec.h"

namespace vesk::sim {

namespace {

constexpr size_t kRtuProbeLength = 8;  // address, function, coil, value, CRC

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Two hexadecimal characters at s[i]; -1 when they are not.
int HexPair(std::string_view s, size_t i) {
  if (i + 1 >= s.size()) return -1;
  int hi = HexValue(s[i]), lo = HexValue(s[i + 1]);
  return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

std::string Hex2(unsigned v) {
  char buf[3];
  std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
  return buf;
}

}  // namespace

ProbeResponder::ProbeResponder(Protocol protocol) : protocol_(protocol) {}

void ProbeResponder::clear() {
  window_.clear();
  ascii_reader_.clear();
  dcon_reader_.clear();
}

std::optional<ProbeResponder::Frame> ProbeResponder::Feed(char c, int32_t address) {
  switch (protocol_) {
    case Protocol::ModbusRtu:
      return Rtu(c, address);
    case Protocol::ModbusAscii:
      if (auto f = ascii_reader_.Feed(c)) return Ascii(*f, address);
      return std::nullopt;
    case Protocol::Dcon:
      if (auto f = dcon_reader_.Feed(c)) return Dcon(*f, address);
      return std::nullopt;
    case Protocol::Lorn:
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<ProbeResponder::Frame> ProbeResponder::Rtu(char c, int32_t address) {
  window_.push_back(static_cast<uint8_t>(c));
  if (window_.size() > kRtuProbeLength) window_.pop_front();
  if (window_.size() < kRtuProbeLength) return std::nullopt;
  uint8_t b[kRtuProbeLength];
  for (size_t i = 0; i < kRtuProbeLength; ++i) b[i] = window_[i];
  uint16_t crc = link::ModbusCrc16(b, kRtuProbeLength - 2);
  if (b[1] != kModbusWriteCoil || b[6] != (crc & 0xFF) || b[7] != (crc >> 8)) return std::nullopt;
  window_.clear();
  Frame f;
  f.request.assign(reinterpret_cast<const char*>(b), kRtuProbeLength);
  if (b[0] == address) f.reply = f.request;
  return f;
}

std::optional<ProbeResponder::Frame> ProbeResponder::Ascii(const std::string& frame,
                                                           int32_t address) {
  Frame f;
  f.request = frame;
  // ":" pairs... LRC CR LF
  if (frame.size() < 1 + 2 * 3 + 2 || frame[frame.size() - 2] != '\r') return f;
  std::string_view hex(frame.data() + 1, frame.size() - 3);
  if (hex.size() % 2 != 0) return f;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int v = HexPair(hex, i);
    if (v < 0) return f;
    bytes.push_back(static_cast<uint8_t>(v));
  }
  if (link::ModbusLrc(bytes.data(), bytes.size() - 1) != bytes.back()) return f;
  if (bytes[0] != address || bytes[1] != kModbusWriteCoil) return f;
  f.reply.assign(1, ':');
  for (uint8_t b : bytes) f.reply.append(Hex2(b));
  f.reply += "\r\n";
  return f;
}

std::optional<ProbeResponder::Frame> ProbeResponder::Dcon(const std::string& frame,
                                                          int32_t address) {
  Frame f;
  f.request = frame;
  // "%" AA payload CS CR
  if (frame.size() < 1 + 2 + 2 + 1) return f;
  size_t cs_at = frame.size() - 3;
  int sent = HexPair(frame, cs_at);
  unsigned sum = 0;
  for (size_t i = 0; i < cs_at; ++i) sum += static_cast<unsigned char>(frame[i]);
  if (sent < 0 || (sum & 0xFF) != static_cast<unsigned>(sent)) return f;
  if (HexPair(frame, 1) != address) return f;
  std::string head(1, '!');
  head.append(Hex2(static_cast<unsigned>(address)));
  unsigned reply_sum = 0;
  for (char ch : head) reply_sum += static_cast<unsigned char>(ch);
  f.reply = head + Hex2(reply_sum) + "\r";
  return f;
}

}  // namespace vesk::sim
