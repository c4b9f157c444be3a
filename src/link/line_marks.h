#pragma once
// Reading a line configured with PARMRK: the driver marks a character received with a
// framing or parity error as \377 \0 c, a break as \377 \0 \0, and doubles a real \377.
// The marks may be split across reads, so the decoder keeps its state between bytes.

#include <cstdint>

namespace vesk::link {

class LineMarkDecoder {
 public:
  enum class Out { Data, None, LineError };

  // Feeds one byte from the driver. Data: `data` holds a received character. None: part
  // of a mark, nothing yet. LineError: a break or a character with a line error.
  Out Feed(uint8_t byte, uint8_t& data);

  void reset() { state_ = State::Normal; }

 private:
  enum class State { Normal, Escape, Marked };
  State state_ = State::Normal;
};

}  // namespace vesk::link
