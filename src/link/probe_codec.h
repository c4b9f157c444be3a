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

// Probe results beside 0 (success) and -1 (refused, stopped or port closed).
inline constexpr int kProbeTimeout = 2;
inline constexpr int kProbeLineError = 3;
inline constexpr int kProbeChecksum = 4;
inline constexpr int kProbeAddress = 5;
inline constexpr int kProbeMalformed = 6;

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
// `data` (room for `capacity` bytes). Returns 0, kProbeChecksum, kProbeAddress or
// kProbeMalformed; `count` is 0 unless the result is 0.
int CheckProbeReply(int mode, uint8_t address, std::string_view reply, uint8_t* data,
                    size_t capacity, int& count);

}  // namespace vesk::link
