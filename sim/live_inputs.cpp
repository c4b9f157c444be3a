#include "live_inputs.h"

namespace vesk::sim {

int64_t LiveInputs::ElapsedMs(Clock::time_point t) const {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - start_).count();
  return ms < 0 ? 0 : ms;
}

uint32_t LiveInputs::States(Clock::time_point now) const {
  if (half_period_ms_ == 0) return 0;
  int64_t t = ElapsedMs(now);
  uint32_t bits = 0;
  for (int k = 0; k < kInputCount; ++k) {
    int64_t half = static_cast<int64_t>(half_period_ms_) * (k + 1);
    if ((t / half) % 2 == 1) bits |= 1u << k;
  }
  return bits;
}

uint64_t LiveInputs::RisingEdges(int input, Clock::time_point from, Clock::time_point to) const {
  if (half_period_ms_ == 0 || input < 0 || input >= kInputCount || to <= from) return 0;
  int64_t half = static_cast<int64_t>(half_period_ms_) * (input + 1);
  // Half period n (from 0) is on when n is odd; a rising edge opens every odd one.
  int64_t a = ElapsedMs(from) / half;
  int64_t b = ElapsedMs(to) / half;
  auto odd_up_to = [](int64_t n) { return (n + 1) / 2; };  // odd numbers in 1 ... n
  return b > a ? static_cast<uint64_t>(odd_up_to(b) - odd_up_to(a)) : 0;
}

}  // namespace vesk::sim
