// The device link's line events through a real pseudo-terminal: what an observer sees of
// retries and time-outs, and the queue that keeps a stalled observer from the exchange.

#include <gtest/gtest.h>

#include <vector>

#include "link/device_link.h"
#include "link/exit_status.h"
#include "link/line_event_queue.h"
#include "link/line_stats.h"
#include "scripted_peer.h"

using namespace vesk::link;
using namespace vesk::test;

namespace {

class Recorder : public LineObserver {
 public:
  void OnLineEvent(const LineEvent& e) override { events.push_back(e); }
  std::vector<LineEvent> events;
};

class LineEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    exit_status = 0;
    link.port().settings().port_name = peer.slave_path();
    link.port().settings().baud_rate = 115200;
    link.port().set_converter_mode(kConverterAuto);
    ASSERT_EQ(link.OpenPort(false), kOpenOk);
    counter.type_text = "int";
  }
  void TearDown() override { peer.Stop(); }

  ScriptedPeer peer;
  DeviceLink link;
  Parameter counter{"Cnt"};
};

}  // namespace

TEST_F(LineEvents, RetryAfterTimeoutIsReportedWithItsAttempt) {
  peer.Script({Silent()});
  peer.set_fallback(Answer({0x2A}));
  peer.Start();
  Recorder recorder;
  LineStats stats;
  link.AddObserver(&recorder);
  link.AddObserver(&stats);
  ASSERT_EQ(link.Exchange(kOpRead, &counter), kExchangeOk);
  link.RemoveObserver(&recorder);
  ASSERT_EQ(link.Exchange(kOpRead, &counter), kExchangeOk);  // unseen by the recorder

  const std::vector<LineEvent>& e = recorder.events;
  ASSERT_EQ(e.size(), 4u);
  const LineEventKind kinds[] = {LineEventKind::kSent, LineEventKind::kTimeout,
                                 LineEventKind::kRetry, LineEventKind::kReceived};
  for (size_t i = 0; i < e.size(); ++i) {
    EXPECT_EQ(e[i].kind, kinds[i]) << i;
    EXPECT_EQ(e[i].attempt, i < 2 ? 1 : 2) << i;
    EXPECT_EQ(e[i].name, "Cnt");
    EXPECT_EQ(e[i].address, 16);
    EXPECT_LE(i ? e[i - 1].time_ns : 0, e[i].time_ns);
  }
  EXPECT_EQ(e[0].Direction(), '>');
  EXPECT_EQ(e[0].chars, peer.requests()[0].substr(0, peer.requests()[0].size() - 1));
  EXPECT_EQ(e[1].Direction(), '!');
  EXPECT_EQ(e[3].Direction(), '<');
  EXPECT_EQ(e[3].text, "42");
  EXPECT_EQ(DescribeLineEvent(e[3]), "Cnt = 42, попытка 2");

  const LineCounters c = stats.Snapshot();
  EXPECT_EQ(c.requests, 3u);
  EXPECT_EQ(c.replies, 2u);
  EXPECT_EQ(c.timeouts, 1u);
  EXPECT_EQ(c.retries, 1u);
  EXPECT_GT(c.max_ms, 0.0);
}

TEST_F(LineEvents, StalledObserverLosesTheOldestAndCountsThem) {
  peer.set_fallback(Answer({0x05}));
  peer.Start();
  LineEventQueue queue(8);  // nobody takes from it
  link.AddObserver(&queue);
  constexpr int kReads = 20;
  counter.indexed = true;  // the index tells the exchanges apart
  for (int i = 0; i < kReads; ++i) {
    counter.linear_index = i;
    ASSERT_EQ(link.Exchange(kOpRead, &counter), kExchangeOk);
  }
  EXPECT_EQ(queue.size(), 8u);
  EXPECT_EQ(queue.dropped(), 2u * kReads - 8);
  std::vector<LineEvent> kept;
  queue.TakeAll(kept);
  ASSERT_EQ(kept.size(), 8u);
  EXPECT_EQ(kept.front().index, kReads - 4);
  EXPECT_EQ(kept.back().index, kReads - 1);
  EXPECT_EQ(kept.back().kind, LineEventKind::kReceived);
  EXPECT_EQ(queue.size(), 0u);
}
