#include "platform/timer.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/event.h"
#include "platform/wait.h"

namespace vesk::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

TEST(TimerTest, UnarmedNeverFires) {
  Timer t;
  EXPECT_EQ(wait_any({waitable(t)}, 30ms), kWaitTimeout);
  EXPECT_EQ(t.consume(), 0u);
}

TEST(TimerTest, FirstExpiryIsRelative) {
  Timer t;
  auto start = Clock::now();
  ASSERT_EQ(t.arm(40ms), 0);
  EXPECT_EQ(wait_any({waitable(t)}, 1000ms), 0);
  EXPECT_GE(ms_since(start), 40);
  EXPECT_LT(ms_since(start), 40 + 60);
  EXPECT_EQ(t.consume(), 1u);
  // Once only: no second expiry.
  EXPECT_EQ(wait_any({waitable(t)}, 60ms), kWaitTimeout);
}

TEST(TimerTest, ZeroFiresAtOnce) {
  Timer t;
  ASSERT_EQ(t.arm(0ms), 0);
  EXPECT_EQ(wait_any({waitable(t)}, 100ms), 0);
  EXPECT_EQ(t.consume(), 1u);
}

TEST(TimerTest, PeriodicExpirationsAreCounted) {
  Timer t;
  ASSERT_EQ(t.arm(10ms, 10ms), 0);
  std::this_thread::sleep_for(55ms);
  uint64_t n = t.consume();
  EXPECT_GE(n, 4u);
  EXPECT_LE(n, 6u);
  // After consuming, the next period makes it ready again.
  EXPECT_EQ(wait_any({waitable(t)}, 100ms), 0);
  EXPECT_GE(t.consume(), 1u);
}

TEST(TimerTest, CancelDropsPendingAndFutureExpirations) {
  Timer t;
  ASSERT_EQ(t.arm(5ms, 5ms), 0);
  std::this_thread::sleep_for(20ms);
  ASSERT_EQ(t.cancel(), 0);
  EXPECT_EQ(wait_any({waitable(t)}, 40ms), kWaitTimeout);
  EXPECT_EQ(t.consume(), 0u);
}

TEST(TimerTest, RearmingDropsPendingExpirations) {
  Timer t;
  ASSERT_EQ(t.arm(1ms), 0);
  std::this_thread::sleep_for(10ms);
  ASSERT_EQ(t.arm(1000ms), 0);
  EXPECT_EQ(wait_any({waitable(t)}, 30ms), kWaitTimeout);
}

TEST(TimerTest, NegativeDurationsAreRefused) {
  Timer t;
  EXPECT_EQ(t.arm(-1ms), EINVAL);
  EXPECT_EQ(t.arm(10ms, -5ms), EINVAL);
}

TEST(TimerTest, EventBeforeTimerWinsWhenBothAreReady) {
  Timer t;
  Event stop(Event::Reset::Manual);
  ASSERT_EQ(t.arm(0ms), 0);
  std::this_thread::sleep_for(5ms);
  stop.set();
  EXPECT_EQ(wait_any({waitable(stop), waitable(t)}, 100ms), 0);
  stop.reset();
  EXPECT_EQ(wait_any({waitable(stop), waitable(t)}, 100ms), 1);
}

}  // namespace
}  // namespace vesk::platform
