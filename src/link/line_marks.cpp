#include "link/line_marks.h"

namespace vesk::link {

LineMarkDecoder::Out LineMarkDecoder::Feed(uint8_t byte, uint8_t& data) {
  switch (state_) {
    case State::Normal:
      if (byte == 0xFF) {
        state_ = State::Escape;
        return Out::None;
      }
      data = byte;
      return Out::Data;
    case State::Escape:
      if (byte == 0xFF) {
        state_ = State::Normal;
        data = 0xFF;
        return Out::Data;
      }
      if (byte == 0x00) {
        state_ = State::Marked;
        return Out::None;
      }
      // The driver never produces this; treat the stream as damaged.
      state_ = State::Normal;
      return Out::LineError;
    case State::Marked:
      state_ = State::Normal;
      return Out::LineError;
  }
  return Out::LineError;
}

}  // namespace vesk::link
