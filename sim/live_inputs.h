#pragma once
// The device's twelve discrete inputs as a repeatable signal: input k (from 0) is a
// square wave that starts off and toggles every (k + 1) half periods, so input states
// change over time and the counters have rising edges to count, the same in every run.

#include <chrono>
#include <cstdint>

namespace vesk::sim {

inline constexpr int kInputCount = 12;

class LiveInputs {
 public:
  using Clock = std::chrono::steady_clock;

  // half_period_ms 0 keeps every input off.
  LiveInputs(Clock::time_point start, uint32_t half_period_ms)
      : start_(start), half_period_ms_(half_period_ms) {}

  // Bit k set while input k + 1 is on.
  uint32_t States(Clock::time_point now) const;

  // Rising edges of input `input` (from 0) after `from` up to and including `to`;
  // 0 for an input the device does not have or when `to` is not after `from`.
  uint64_t RisingEdges(int input, Clock::time_point from, Clock::time_point to) const;

 private:
  int64_t ElapsedMs(Clock::time_point t) const;

  Clock::time_point start_;
  uint32_t half_period_ms_;
};

}  // namespace vesk::sim
