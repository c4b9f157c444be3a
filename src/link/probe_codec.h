#pragma once
// Frames of the three foreign protocols with which the link check recognises a device
// that is set to something other than LORN: 1 Modbus RTU, 2 Modbus ASCII, 3 the "%" frame.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vesk::link {

inline constexpr int kProbeModbusRtu = 1;
inline constexpr int kProbeModbusAscii = 2;
inline constexpr int kProbePercent = 3;

inline constexpr int kProbeMaxPayload = 16;

// What one probe exchange found. Its own type: a probe says whether a device of another
// protocol is on the line, which no exchange result of LORN means.
enum class ProbeResult {
  Answered,   // a valid frame of the probed protocol from the address asked
  Refused,    // nothing sent: not a probe protocol, an address above 8 bits, port closed, stop
  Timeout,    // nothing came back
  LineError,  // break, framing, parity or overrun on every attempt
  Checksum,
  Address,    // a valid frame from another address
  Malformed,  // not a frame of the protocol, or not the echo a Modbus device gives
};

// Modbus RTU CRC: polynomial 0xA001 reflected, initial 0xFFFF; sent low byte first.
uint16_t ModbusCrc16(const uint8_t* bytes, size_t count);
// Modbus ASCII LRC: two's complement of the byte sum.
uint8_t ModbusLrc(const uint8_t* bytes, size_t count);

struct ProbeFrame {
  char line[2 * (kProbeMaxPayload + 2) + 4];
  int length = 0;
  std::string_view Text() const { return {line, static_cast<size_t>(length)}; }
};

// Builds the request of a probe mode for an 8-bit address. Returns false for an unknown
// mode or a payload of more than kProbeMaxPayload bytes.
bool BuildProbeRequest(int mode, uint8_t address, const uint8_t* payload, int count,
                       ProbeFrame& out);

// Checks a reply of a probe mode and copies the data that follows the address into
// `data` (room for `capacity` bytes). Returns Answered, Checksum, Address or Malformed;
// `count` is 0 unless the reply was answered.
ProbeResult CheckProbeReply(int mode, uint8_t address, std::string_view reply, uint8_t* data,
                            size_t capacity, int& count);

}  // namespace vesk::link
