#include "live_inputs.h"

namespace vesk::sim {

int64_t LiveInputs::elapsed_ms(Clock::time_point t) const {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - start_).count();
  return ms < 0 ? 0 : ms;
}

uint32_t LiveInputs::states(Clock::time_point now) const {
  if (halfPeriodMs_ == 0) return 0;
  int64_t t = elapsed_ms(now);
  uint32_t bits = 0;
  for (int k = 0; k < kInputCount; ++k) {
    int64_t half = static_cast<int64_t>(halfPeriodMs_) * (k + 1);
    if ((t / half) % 2 == 1) bits |= 1u << k;
  }
  return bits;
}

uint64_t LiveInputs::rising_edges(int input, Clock::time_point from, Clock::time_point to) const {
  if (halfPeriodMs_ == 0 || input < 0 || input >= kInputCount || to <= from) return 0;
  int64_t half = static_cast<int64_t>(halfPeriodMs_) * (input + 1);
  // Half period n (from 0) is on when n is odd; a rising edge opens every odd one.
  int64_t a = elapsed_ms(from) / half;
  int64_t b = elapsed_ms(to) / half;
  auto odd_up_to = [](int64_t n) { return (n + 1) / 2; };  // odd numbers in 1 ... n
  return b > a ? static_cast<uint64_t>(odd_up_to(b) - odd_up_to(a)) : 0;
}

}  // namespace vesk::sim
