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

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

TEST(TimerTest, UnarmedNeverFires) {
  Timer t;
  EXPECT_EQ(WaitAny({Signalled(t)}, 30ms), kWaitTimeout);
  EXPECT_EQ(t.Consume(), 0u);
}

TEST(TimerTest, FirstExpiryIsRelative) {
  Timer t;
  auto start = Clock::now();
  ASSERT_EQ(t.Arm(40ms), 0);
  EXPECT_EQ(WaitAny({Signalled(t)}, 1000ms), 0);
  EXPECT_GE(MsSince(start), 40);
  EXPECT_LT(MsSince(start), 40 + 60);
  EXPECT_EQ(t.Consume(), 1u);
  // Once only: no second expiry.
  EXPECT_EQ(WaitAny({Signalled(t)}, 60ms), kWaitTimeout);
}

TEST(TimerTest, ZeroFiresAtOnce) {
  Timer t;
  ASSERT_EQ(t.Arm(0ms), 0);
  EXPECT_EQ(WaitAny({Signalled(t)}, 100ms), 0);
  EXPECT_EQ(t.Consume(), 1u);
}

TEST(TimerTest, PeriodicExpirationsAreCounted) {
  Timer t;
  ASSERT_EQ(t.Arm(10ms, 10ms), 0);
  std::this_thread::sleep_for(55ms);
  uint64_t n = t.Consume();
  EXPECT_GE(n, 4u);
  EXPECT_LE(n, 6u);
  // After consuming, the next period makes it ready again.
  EXPECT_EQ(WaitAny({Signalled(t)}, 100ms), 0);
  EXPECT_GE(t.Consume(), 1u);
}

TEST(TimerTest, CancelDropsPendingAndFutureExpirations) {
  Timer t;
  ASSERT_EQ(t.Arm(5ms, 5ms), 0);
  std::this_thread::sleep_for(20ms);
  ASSERT_EQ(t.Cancel(), 0);
  EXPECT_EQ(WaitAny({Signalled(t)}, 40ms), kWaitTimeout);
  EXPECT_EQ(t.Consume(), 0u);
}

TEST(TimerTest, RearmingDropsPendingExpirations) {
  Timer t;
  ASSERT_EQ(t.Arm(1ms), 0);
  std::this_thread::sleep_for(10ms);
  ASSERT_EQ(t.Arm(1000ms), 0);
  EXPECT_EQ(WaitAny({Signalled(t)}, 30ms), kWaitTimeout);
}

TEST(TimerTest, NegativeDurationsAreRefused) {
  Timer t;
  EXPECT_EQ(t.Arm(-1ms), EINVAL);
  EXPECT_EQ(t.Arm(10ms, -5ms), EINVAL);
}

TEST(TimerTest, EventBeforeTimerWinsWhenBothAreReady) {
  Timer t;
  Event stop(Event::Reset::Manual);
  ASSERT_EQ(t.Arm(0ms), 0);
  std::this_thread::sleep_for(5ms);
  stop.Set();
  EXPECT_EQ(WaitAny({Signalled(stop), Signalled(t)}, 100ms), 0);
  stop.reset();
  EXPECT_EQ(WaitAny({Signalled(stop), Signalled(t)}, 100ms), 1);
}

}  // namespace
}  // namespace vesk::platform
