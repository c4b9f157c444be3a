// The bus scan as a task of the exchange thread, against simulated devices on a terminal:
// what it finds, what the line's observers see of it, and a stop in the middle.

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <vector>

#include "engine_fixture.h"
#include "exchange/bus_scan.h"
#include "link/line_event.h"

namespace vesk::test {
namespace {

class AddressesSeen : public link::LineObserver {
 public:
  void OnLineEvent(const link::LineEvent& e) override {
    std::lock_guard lock(mutex_);
    if (e.kind == link::LineEventKind::kSent) asked.insert(e.address);
    if (e.kind == link::LineEventKind::kReceived && e.name == "dev") answered.insert(e.address);
  }
  std::mutex mutex_;
  std::set<int> asked, answered;
};

class BusScanTaskTest : public EngineTest {};

TEST_F(BusScanTaskTest, FindsTheDevicesAndTheObserversSeeEveryQuestion) {
  StartSim({"--devices=16,17,40", "--line-timing"});
  AddressesSeen seen;
  engine->AddObserver(&seen);
  exchange::BusScanOutcome outcome;
  exchange::BusScanObserver observer;
  observer.finished = [&outcome](const exchange::BusScanOutcome& o) { outcome = o; };
  ASSERT_TRUE(exchange::RunBusScanTask(*engine, 10, 45, observer));
  engine->RemoveObserver(&seen);

  std::vector<int> found;
  for (const auto& d : outcome.devices) found.push_back(d.address);
  EXPECT_EQ(found, (std::vector<int>{16, 17, 40}));
  EXPECT_EQ(outcome.devices.front().name, "VESK");
  EXPECT_EQ(outcome.devices.front().version, "1.02");
  EXPECT_EQ(seen.asked.size(), 36u);
  EXPECT_EQ(seen.answered, (std::set<int>{16, 17, 40}));
  EXPECT_EQ(progress.last_code, exchange::kTaskBusScan);
  EXPECT_EQ(progress.last_range, 36);
}

TEST_F(BusScanTaskTest, CancelStopsItBetweenTwoQuestions) {
  StartSim({"--devices=3", "--line-timing"});
  exchange::BusScanOutcome outcome;
  int last_done = 0;
  exchange::BusScanObserver observer;
  observer.progress = [&](int32_t done, int32_t) {
    last_done = done;
    if (done == 8) engine->Cancel();
  };
  observer.finished = [&outcome](const exchange::BusScanOutcome& o) { outcome = o; };
  ASSERT_TRUE(exchange::RunBusScanTask(*engine, 0, 255, observer));
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_EQ(last_done, 8);
  // The engine takes the next task as usual.
  outcome = {};
  observer.progress = nullptr;
  ASSERT_TRUE(exchange::RunBusScanTask(*engine, 0, 5, observer));
  EXPECT_FALSE(outcome.cancelled);
  ASSERT_EQ(outcome.devices.size(), 1u);
  EXPECT_EQ(outcome.devices.front().address, 3);
}

TEST_F(BusScanTaskTest, LostPortEndsTheScanAndTheLineShowsIt) {
  StartSim({"--devices=3", "--line-timing"});
  exchange::BusScanOutcome outcome;
  int last_done = 0;
  exchange::BusScanObserver observer;
  observer.progress = [&](int32_t done, int32_t) {
    last_done = done;
    if (done == 8) sim->Kill();
  };
  observer.finished = [&outcome](const exchange::BusScanOutcome& o) { outcome = o; };
  ASSERT_TRUE(exchange::RunBusScanTask(*engine, 0, 255, observer));
  EXPECT_TRUE(outcome.port_lost);
  EXPECT_LT(last_done, 40);
  EXPECT_EQ(outcome.error.rfind("Порт ", 0), 0u) << outcome.error;
  EXPECT_EQ(engine->LostPortText(), outcome.error);
  EXPECT_EQ(engine->line_state().condition(), exchange::LineCondition::kPortClosed);
}

}  // namespace
}  // namespace vesk::test
