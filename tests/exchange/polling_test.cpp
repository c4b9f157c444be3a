#include "exchange/polling.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <condition_variable>
#include <map>
#include <thread>

#include "exchange/parameter_tasks.h"
#include "live_device.h"

using namespace vesk;
using namespace vesk::exchange;
using namespace std::chrono_literals;
using vesk::polling_test::LiveDevice;
using vesk::polling_test::RecordingPresenter;
using vesk::polling_test::TestEngine;

namespace {

constexpr const char* kTimeoutText = exchange::kTimeoutNote;

using Clock = std::chrono::steady_clock;

// Milliseconds until the timer descriptor becomes readable, or -1 within `limit`.
long long MsUntilExpiry(int fd, std::chrono::milliseconds limit) {
  const auto start = Clock::now();
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) return -1;
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The window's side: keeps every result; acknowledges at once unless told to hold them.
class Collector : public PollSink {
 public:
  void OnPollResult(std::unique_ptr<PollSample> sample) override {
    std::lock_guard lock(mutex_);
    if (!hold) sample->Acknowledge();
    samples_.push_back(std::move(sample));
    cv_.notify_all();
  }
  void OnPollingEnded() override {
    std::lock_guard lock(mutex_);
    ended_ = true;
    cv_.notify_all();
  }

  // Waits until `done` holds for the results so far.
  template <typename Pred>
  bool WaitFor(Pred done, std::chrono::milliseconds limit = 5000ms) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, limit, [&] { return done(samples_); });
  }
  size_t count() {
    std::lock_guard lock(mutex_);
    return samples_.size();
  }
  bool ended() {
    std::lock_guard lock(mutex_);
    return ended_;
  }
  void AcknowledgeFirst() {
    std::lock_guard lock(mutex_);
    samples_.front()->Acknowledge();
  }
  std::vector<std::pair<std::string, std::string>> Texts() {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::string, std::string>> out;
    for (auto& s : samples_) out.emplace_back(s->value_text, s->error_text);
    return out;
  }
  std::map<const link::Parameter*, int> PerParameter() {
    std::lock_guard lock(mutex_);
    std::map<const link::Parameter*, int> out;
    for (auto& s : samples_) ++out[s->parameter];
    return out;
  }

  // The first result's fields.
  struct Seen {
    PollSample::Clock::time_point start, end;
    const link::Parameter* parameter;
    int32_t poll_index;
    std::string value, error;
  };
  Seen First() {
    std::lock_guard lock(mutex_);
    const PollSample& s = *samples_.front();
    return {s.start_time, s.end_time, s.parameter, s.poll_index, s.value_text, s.error_text};
  }

  bool hold = false;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::unique_ptr<PollSample>> samples_;
  bool ended_ = false;
};

using Samples = std::vector<std::unique_ptr<PollSample>>;

link::Parameter* FirstNamed(model::DescriptionBranch* tree, const char* name) {
  for (link::Parameter* p : CollectPolled(tree))
    if (p->short_name == name) return p;
  return nullptr;
}

class PollingLive : public ::testing::Test {
 protected:
  void SetUp() override {
    trees = polling_test::LoadTrees();
    ASSERT_TRUE(trees && trees->pollers);
    ASSERT_EQ(PreparePolling(*trees->pollers), 0);
  }
  void Connect(const std::string& path) { ASSERT_EQ(engine.Open(path), link::kOpenOk); }

  RecordingPresenter presenter;
  std::unique_ptr<model::DescriptionTree> trees;
  TestEngine engine;
  Collector sink;
};

}  // namespace

TEST(PollPeriod, Parsing) {
  struct Case {
    const char* text;
    std::optional<int32_t> period;
  } cases[] = {
      {"99", std::nullopt},
      {"100", 100},
      {"150.7", 150},
      {" 250", 250},
      {"300ms", 300},
      {"abc", std::nullopt},
      {"", std::nullopt},
      {"-500", std::nullopt},
      {"99.99", std::nullopt},
      {"1e12", std::nullopt},
      {"2147483647", 2147483647},
  };
  for (const Case& c : cases) EXPECT_EQ(ParsePollPeriod(c.text), c.period) << c.text;
}

TEST(PollPeriod, RefusalKeepsTheOldPeriodAndSaysWhy) {
  RecordingPresenter presenter;
  link::Parameter p("r.cn");
  p.poll_period = 700;
  EXPECT_FALSE(SetPollPeriod(p, "99"));
  EXPECT_EQ(p.poll_period, 700);
  ASSERT_EQ(presenter.messages().size(), 1u);
  EXPECT_EQ(presenter.messages()[0].text, kPollPeriodRefused);
  EXPECT_EQ(presenter.messages()[0].caption, "Неудалось изменить период опроса");
  EXPECT_EQ(presenter.messages()[0].icon, link::MsgIcon::Error);
  EXPECT_TRUE(SetPollPeriod(p, "150.7"));
  EXPECT_EQ(p.poll_period, 150);
  EXPECT_EQ(presenter.messages().size(), 1u);
}

TEST(PollSwitch, StartAndStopReportWhetherTheyActed) {
  link::Parameter plain("r.cn");
  EXPECT_EQ(StartPolling(plain), kPollNoTimer);
  EXPECT_FALSE(PollingActive(plain));
  EXPECT_EQ(StopPolling(plain), kPollNothingToDo);

  link::Parameter p("r.cn");
  ASSERT_TRUE(PreparePolling(p));
  const int fd = PollTimer(p);
  ASSERT_TRUE(PreparePolling(p));  // a second set-up keeps the timer
  EXPECT_EQ(PollTimer(p), fd);
  EXPECT_EQ(StartPolling(p), kPollDone);
  EXPECT_TRUE(PollingActive(p));
  EXPECT_EQ(StartPolling(p), kPollNothingToDo);
  EXPECT_EQ(StopPolling(p), kPollDone);
  EXPECT_FALSE(PollingActive(p));
  EXPECT_EQ(StopPolling(p), kPollNothingToDo);
}

TEST(PollSwitch, ReleaseClosesTheTimerAndLeavesTheRecordUnpolled) {
  link::Parameter p("r.cn");
  ASSERT_TRUE(PreparePolling(p));
  ASSERT_EQ(StartPolling(p), kPollDone);
  const int fd = PollTimer(p);
  ASSERT_GE(fd, 0);
  ReleasePolling(p);
  EXPECT_FALSE(p.IsPolled());
  EXPECT_EQ(PollTimer(p), -1);
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  EXPECT_EQ(StartPolling(p), kPollNoTimer);
}

TEST(PollSwitch, FirstExpiryComesOnePeriodLater) {
  link::Parameter p("r.cn");
  ASSERT_TRUE(PreparePolling(p));
  p.poll_period = 200;
  ASSERT_EQ(StartPolling(p), kPollDone);
  const long long first = MsUntilExpiry(PollTimer(p), 1000ms);
  EXPECT_GE(first, 190);
  EXPECT_LE(first, 400);
  StopPolling(p);
  // Cancelled: nothing pending, nothing coming.
  EXPECT_EQ(MsUntilExpiry(PollTimer(p), 300ms), -1);
}

TEST(PollSwitch, ChangingThePeriodRestartsARunningPoll) {
  RecordingPresenter presenter;
  link::Parameter p("r.cn");
  ASSERT_TRUE(PreparePolling(p));
  p.poll_period = 100;
  ASSERT_EQ(StartPolling(p), kPollDone);
  ASSERT_TRUE(SetPollPeriod(p, "400"));
  EXPECT_TRUE(PollingActive(p));
  const long long first = MsUntilExpiry(PollTimer(p), 1000ms);
  EXPECT_GE(first, 390);
  StopPolling(p);
}

TEST(PollSwitch, StoredPeriodBelowTheFloorPollsAtTheFloor) {
  link::Parameter p("r.cn");
  ASSERT_TRUE(PreparePolling(p));
  p.poll_period = 0;
  ASSERT_EQ(StartPolling(p), kPollDone);
  const long long first = MsUntilExpiry(PollTimer(p), 1000ms);
  EXPECT_GE(first, kMinPollPeriodMs - 10);
  StopPolling(p);
}

TEST(PollCollect, TreeOrderAndTimersOnly) {
  auto trees = polling_test::LoadTrees();
  ASSERT_TRUE(trees && trees->pollers);
  EXPECT_TRUE(CollectPolled(trees->pollers.get()).empty());  // no timers yet
  ASSERT_EQ(PreparePolling(*trees->pollers), 0);
  const auto polled = CollectPolled(trees->pollers.get());
  // "r.cn", twelve counters, eight outputs.
  ASSERT_EQ(polled.size(), 21u);
  EXPECT_EQ(polled[0]->short_name, "r.cn");
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(polled[1 + i]->short_name, "r.cou");
    EXPECT_EQ(polled[1 + i]->poll_index, i);
  }
  for (int i = 0; i < 8; ++i) EXPECT_EQ(polled[13 + i]->short_name, "r.oe");
  EXPECT_TRUE(CollectPolled(nullptr).empty());
}

TEST_F(PollingLive, FirstResultComesOnePeriodAfterTheStart) {
  LiveDevice device;
  ASSERT_TRUE(device.Ok());
  Connect(device.Path());
  Poller poller(*engine);
  poller.SetSink(&sink);
  ASSERT_EQ(poller.StartPollerThread(trees->pollers.get()), 0);

  link::Parameter* inputs = FirstNamed(trees->pollers.get(), "r.cn");
  ASSERT_NE(inputs, nullptr);
  inputs->poll_period = 300;
  const auto started = PollSample::Clock::now();
  ASSERT_EQ(StartPolling(*inputs), kPollDone);
  ASSERT_TRUE(sink.WaitFor([](const Samples& s) { return !s.empty(); }));
  engine->StopThreads();
  const Collector::Seen first = sink.First();
  EXPECT_GE(first.start - started, 290ms);
  EXPECT_LT(first.start - started, 600ms);
  EXPECT_LE(first.start, first.end);
  EXPECT_EQ(first.parameter, inputs);
  EXPECT_EQ(first.poll_index, 0);
  EXPECT_EQ(first.error, "");
  EXPECT_NE(first.value, "");
}

TEST_F(PollingLive, EveryPolledParameterGetsItsTurn) {
  LiveDevice device;
  ASSERT_TRUE(device.Ok());
  Connect(device.Path());
  Poller poller(*engine);
  poller.SetSink(&sink);
  const auto polled = CollectPolled(trees->pollers.get());
  for (link::Parameter* p : polled) {
    p->poll_period = 100;
    ASSERT_EQ(StartPolling(*p), kPollDone);
  }
  ASSERT_EQ(poller.StartPollerThread(trees->pollers.get()), 0);
  std::this_thread::sleep_for(1000ms);
  engine->StopThreads();
  const auto counts = sink.PerParameter();
  for (link::Parameter* p : polled) {
    const auto it = counts.find(p);
    ASSERT_NE(it, counts.end()) << p->short_name << ":" << p->poll_index;
    EXPECT_GE(it->second, 2) << p->short_name << ":" << p->poll_index;
  }
}

TEST_F(PollingLive, SilenceTurnsResultsIntoErrorsAndAnswersBackIntoValues) {
  // Most answers are lost: some polls run out of attempts, the others get through.
  LiveDevice device({"--drop", "0.75", "--seed", "7"});
  ASSERT_TRUE(device.Ok());
  Connect(device.Path());
  Poller poller(*engine);
  poller.SetSink(&sink);
  link::Parameter* inputs = FirstNamed(trees->pollers.get(), "r.cn");
  inputs->poll_period = 100;
  ASSERT_EQ(StartPolling(*inputs), kPollDone);
  ASSERT_EQ(poller.StartPollerThread(trees->pollers.get()), 0);

  // value, then error, then value again
  auto recovered = [](const Samples& s) {
    int stage = 0;
    for (auto& x : s) {
      const bool value = !x->value_text.empty();
      if (stage == 0 && value) stage = 1;
      if (stage == 1 && !value) stage = 2;
      if (stage == 2 && value) return true;
    }
    return false;
  };
  ASSERT_TRUE(sink.WaitFor(recovered, 15000ms));
  engine->StopThreads();
  for (const auto& [value, error] : sink.Texts()) {
    // Exactly one of the two, and a failure says why.
    EXPECT_NE(value.empty(), error.empty());
    if (!error.empty()) {
      EXPECT_EQ(error, kTimeoutText);
    }
  }
}

TEST_F(PollingLive, AtMostNineResultsOfOneParameterInFlight) {
  LiveDevice device;
  ASSERT_TRUE(device.Ok());
  Connect(device.Path());
  Poller poller(*engine);
  link::Parameter* inputs = FirstNamed(trees->pollers.get(), "r.cn");
  inputs->poll_period = 100000;  // the timer plays no part here
  EXPECT_EQ(poller.PollOnce(*inputs), kPollNothingToDo);
  ASSERT_EQ(StartPolling(*inputs), kPollDone);

  // Without a sink a result is read and dropped; it holds no place.
  for (int i = 0; i < kMaxResultsInFlight + 1; ++i)
    EXPECT_EQ(poller.PollOnce(*inputs), kPollUndelivered);

  sink.hold = true;
  poller.SetSink(&sink);
  for (int i = 0; i < kMaxResultsInFlight; ++i) EXPECT_EQ(poller.PollOnce(*inputs), kPollDone);
  EXPECT_EQ(poller.PollOnce(*inputs), kPollSkipped);
  EXPECT_EQ(sink.count(), size_t(kMaxResultsInFlight));

  // Another parameter has places of its own.
  link::Parameter* counter = FirstNamed(trees->pollers.get(), "r.cou");
  counter->poll_period = 100000;
  ASSERT_EQ(StartPolling(*counter), kPollDone);
  EXPECT_EQ(poller.PollOnce(*counter), kPollDone);

  sink.AcknowledgeFirst();
  sink.AcknowledgeFirst();  // twice gives back one place only
  EXPECT_EQ(poller.PollOnce(*inputs), kPollDone);
  EXPECT_EQ(poller.PollOnce(*inputs), kPollSkipped);
  // A read that the stop event cut short is not a result.
  const size_t held = sink.count();
  engine->StopEvent().Set();
  EXPECT_EQ(poller.PollOnce(*counter), kPollStopped);
  engine->StopEvent().reset();
  EXPECT_EQ(sink.count(), held);

  StopPolling(*inputs);
  StopPolling(*counter);
  poller.SetSink(nullptr);
}

TEST_F(PollingLive, StopEndsBothThreadsPromptlyAndSwitchesPollingOff) {
  LiveDevice device;
  ASSERT_TRUE(device.Ok());
  Connect(device.Path());
  ASSERT_EQ(engine->StartTransmitThread(), 0);
  Poller poller(*engine);
  poller.SetSink(&sink);
  const auto polled = CollectPolled(trees->pollers.get());
  for (link::Parameter* p : polled) {
    p->poll_period = 100;
    StartPolling(*p);
  }
  ASSERT_EQ(poller.StartPollerThread(trees->pollers.get()), 0);
  EXPECT_EQ(poller.StartPollerThread(trees->pollers.get()), 0);  // once only
  ASSERT_TRUE(sink.WaitFor([](const Samples& s) { return s.size() >= 10; }));

  const auto start = Clock::now();
  engine->StopThreads();
  EXPECT_LT(Clock::now() - start, 100ms);
  EXPECT_FALSE(engine->PollerThreadRunning());
  EXPECT_FALSE(engine->TransmitThreadRunning());
  EXPECT_TRUE(sink.ended());
  for (link::Parameter* p : polled) EXPECT_FALSE(PollingActive(*p)) << p->short_name;

  // A new thread serves the same tree again.
  const size_t before = sink.count();
  ASSERT_EQ(poller.StartPollerThread(trees->pollers.get()), 0);
  ASSERT_EQ(StartPolling(*polled[0]), kPollDone);
  EXPECT_TRUE(sink.WaitFor([&](const Samples& s) { return s.size() > before; }));
  engine->StopThreads();
}
