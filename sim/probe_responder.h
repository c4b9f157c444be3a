#pragma once
// A device set to another protocol than LORN answers only the configurator's probe of
// that protocol: Modbus RTU and Modbus ASCII echo a write of one coil addressed to it,
// the "%" protocol answers "!", its address and the checksum.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "frame_reader.h"
#include "sim_options.h"

namespace vesk::sim {

// The Modbus function a probe uses: write one coil, which a device echoes.
inline constexpr uint8_t kModbusWriteCoil = 0x05;

class ProbeResponder {
 public:
  explicit ProbeResponder(Protocol protocol);

  Protocol protocol() const { return protocol_; }

  struct Frame {
    std::string request;  // the characters of the request
    std::string reply;    // the answer; empty when the frame was not for the device
  };

  // Takes one received character. Returns a complete request when this character ends
  // one, with the answer of a device at `address` (only 0 ... 255: these protocols have
  // 8-bit addresses).
  std::optional<Frame> Feed(char c, int32_t address);

  // Forgets a partial request.
  void clear();

 private:
  std::optional<Frame> Rtu(char c, int32_t address);
  std::optional<Frame> Ascii(const std::string& frame, int32_t address);
  std::optional<Frame> Dcon(const std::string& frame, int32_t address);

  Protocol protocol_;
  // Modbus RTU frames have no end character: the last 8 bytes are looked at after each.
  std::deque<uint8_t> window_;
  FrameReader ascii_reader_{':', '\n', 2 * 256 + 5};
  FrameReader dcon_reader_{'%', '\r', 64};
};

}  // namespace vesk::sim
