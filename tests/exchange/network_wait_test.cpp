// A network line whose far end has gone quiet: every wait of a task on it (the connect, the
// RFC 2217 negotiation, the reply) ends when the stop event is set, a server that keeps
// dropping us costs a command one more connect, not one per parameter, and a poll waiting
// for its reply leaves the polled records to the window.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <thread>

#include "engine_fixture.h"
#include "exchange/polling.h"
#include "exchange/task_codes.h"
#include "loopback_listener.h"

using namespace vesk;
using namespace vesk::test;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

struct QuietCase {
  const char* name;
  const char* scheme;
  bool full;  // the connect itself is never answered
};

class NetworkWait : public EngineTest, public ::testing::WithParamInterface<QuietCase> {};

TEST_P(NetworkWait, StopEndsAReadAllWithin200Ms) {
  LoopbackListener server(0);
  if (GetParam().full) server.FillBacklog();
  engine->program_line().SetValue("Port", GetParam().scheme + server.Address());
  ASSERT_EQ(engine->StartTransmitThread(), 0);
  LoadTree();

  Clock::time_point stopped_at;
  std::thread stopper([&] {
    std::this_thread::sleep_for(300ms);
    stopped_at = Clock::now();
    engine->StopEvent().Set();
  });
  const auto started = Clock::now();
  ASSERT_TRUE(engine->RunTask(tree.root.get(), exchange::kTaskReadAll));
  const auto ended = Clock::now();
  stopper.join();
  ASSERT_GT(ended, started + 300ms) << "the task ended before the stop";
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(ended - stopped_at);
  std::cout << "[ stop ] " << GetParam().name << ": " << took.count() << " ms\n";
  EXPECT_LT(took, 200ms);
}

INSTANTIATE_TEST_SUITE_P(Quiet, NetworkWait,
                         ::testing::Values(QuietCase{"TcpNeverAnswers", "tcp://", false},
                                           QuietCase{"Rfc2217NeverNegotiates", "rfc2217://", false},
                                           QuietCase{"ConnectNeverAnswered", "tcp://", true}),
                         [](const auto& info) { return std::string(info.param.name); });

using DroppingServer = EngineTest;

TEST_F(DroppingServer, IsConnectedAgainOncePerCommand) {
  LoopbackListener server(0);
  std::atomic<int> accepts{0};
  std::atomic<bool> done{false};
  std::thread acceptor([&] {
    while (!done) {
      pollfd p{server.fd(), POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int c = ::accept(server.fd(), nullptr, nullptr);
      if (c < 0) continue;
      // The first connection is the command's own open; every later one is a retry.
      ++accepts;
      ::close(c);
    }
  });
  engine->program_line().SetValue("Port", "tcp://" + server.Address());
  ASSERT_EQ(engine->OpenPort(false), link::kOpenOk);
  ASSERT_EQ(engine->StartTransmitThread(), 0);
  LoadTree();
  ASSERT_TRUE(engine->RunTask(tree.root.get(), exchange::kTaskReadAll));
  done = true;
  acceptor.join();
  EXPECT_LE(accepts.load(), 2);
}

TEST_F(DroppingServer, APollWaitingForItsReplyLeavesTheRecordsFree) {
  LoopbackListener server(0);
  engine->program_line().SetValue("Port", "tcp://" + server.Address());
  ASSERT_EQ(engine->OpenPort(false), link::kOpenOk);
  LoadTree();
  ASSERT_EQ(exchange::PreparePolling(*tree.pollers), 0);
  link::Parameter* polled = exchange::CollectPolled(tree.pollers.get()).front();
  polled->poll_period = 100;
  ASSERT_EQ(exchange::StartPolling(*polled), exchange::kPollDone);
  exchange::Poller poller(*engine);
  ASSERT_EQ(poller.StartPollerThread(tree.pollers.get()), 0);

  // Each poll waits three reply waits of the 9600 Bd line for nothing.
  Clock::duration longest{};
  for (const auto end = Clock::now() + 1500ms; Clock::now() < end;) {
    const auto asked = Clock::now();
    { std::lock_guard values(exchange::PolledValuesLock()); }
    longest = std::max(longest, Clock::now() - asked);
    std::this_thread::sleep_for(5ms);
  }
  engine->StopThreads();
  EXPECT_LT(longest, 50ms);
}

}  // namespace
