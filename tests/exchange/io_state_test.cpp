#include "exchange/io_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <map>

#include "exchange/parameter_tasks.h"
#include "exchange/polling.h"
#include "live_device.h"

using namespace vesk;
using namespace vesk::exchange;
using namespace std::chrono_literals;
using vesk::polling_test::LiveDevice;
using vesk::polling_test::RecordingPresenter;
using vesk::polling_test::TestEngine;

namespace {

// The device as a table of values: a read takes the value from `device`, a write stores it
// there unless `fail_writes` is set. Every exchange is counted by name and index.
class TableAccess : public IoAccess {
 public:
  int Read(link::Parameter& p) override {
    ++reads[Key(p)];
    auto it = device.find(Key(p));
    if (it == device.end()) {
      p.note = kTimeoutNote;
      return 1;
    }
    p.value = it->second;
    p.note.clear();
    return 0;
  }
  int Write(link::Parameter& p) override {
    ++writes[Key(p)];
    if (fail_writes) {
      p.note = "Редактирование параметра запрещено атрибутами доступа";
      return 1;
    }
    device[Key(p)] = p.value;
    p.value_changed = false;
    p.note.clear();
    return 0;
  }
  static std::string Key(const link::Parameter& p) {
    return p.short_name + ":" + std::to_string(p.linear_index);
  }

  std::map<std::string, std::string> device;
  std::map<std::string, int> reads, writes;
  bool fail_writes = false;
};

// A pollers tree made by hand: "r.cn", counters and outputs at the given indexes.
std::unique_ptr<model::DescriptionBranch> MakeTree(std::vector<int32_t> counters,
                                                   std::vector<int32_t> outputs) {
  auto tree = std::make_unique<model::DescriptionBranch>("Оперативные");
  auto add = [&](const char* name, int32_t index) {
    auto p = std::make_unique<link::Parameter>(name);
    p->type_text = "int";
    p->linear_index = index;
    p->poll_index = index;
    tree->AddParameter(std::move(p));
  };
  add("r.cn", 0);
  for (int32_t i : counters) add("r.cou", i);
  for (int32_t i : outputs) add("r.oe", i);
  return tree;
}

std::vector<std::string> Values(const std::vector<IoRow>& rows) {
  std::vector<std::string> out;
  for (const IoRow& r : rows) out.push_back(r.value);
  return out;
}

std::vector<bool> Marks(const std::vector<IoRow>& rows) {
  std::vector<bool> out;
  for (const IoRow& r : rows) out.push_back(r.marked);
  return out;
}

// Collects the changes the worker reports.
class ChangeLog {
 public:
  IoChangeCallback Callback() {
    return [this](const IoChange& c) {
      std::lock_guard lock(mutex_);
      changes_.push_back(c);
      cv_.notify_all();
    };
  }
  bool WaitFor(IoChange::Kind kind, std::chrono::milliseconds limit = 5000ms) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, limit, [&] { return CountLocked(kind) > 0; });
  }
  int Count(IoChange::Kind kind) {
    std::lock_guard lock(mutex_);
    return CountLocked(kind);
  }

 private:
  int CountLocked(IoChange::Kind kind) {
    return static_cast<int>(std::count_if(changes_.begin(), changes_.end(),
                                          [&](const IoChange& c) { return c.kind == kind; }));
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<IoChange> changes_;
};

}  // namespace

TEST(IoIndicators, Looks) {
  struct Case {
    const char* state;
    IndicatorLook input, output;
  } cases[] = {
      {"1", IndicatorLook::InputOn, IndicatorLook::OutputFull},
      {"0", IndicatorLook::Plain, IndicatorLook::Plain},
      {"", IndicatorLook::Plain, IndicatorLook::Plain},
      {"1.000", IndicatorLook::Plain, IndicatorLook::OutputFull},
      {"0.9996", IndicatorLook::Plain, IndicatorLook::OutputFull},
      {"0.500", IndicatorLook::Plain, IndicatorLook::OutputPartial},
      {"0.001", IndicatorLook::Plain, IndicatorLook::OutputPartial},
      {"1.001", IndicatorLook::Plain, IndicatorLook::OutputPartial},
      {"0.0004", IndicatorLook::Plain, IndicatorLook::Plain},
      {"0.000", IndicatorLook::Plain, IndicatorLook::Plain},
      {"Нет данных", IndicatorLook::Plain, IndicatorLook::Plain},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InputLook(c.state), c.input) << c.state;
    EXPECT_EQ(OutputLook(c.state), c.output) << c.state;
  }
}

TEST(IoRows, FoundByIndexWhateverTheSpacing) {
  struct Case {
    std::vector<int32_t> indexes;
    std::vector<int32_t> rows;
  } cases[] = {
      {{3, 0, 2, 1}, {0, 1, 2, 3}},
      {{4, 0, 2}, {0, 2, 4}},
      {{5}, {5}},        // a single record: no spacing
      {{0, 0, 0}, {0}},  // all at index 0: no spacing
      {{}, {}},
  };
  for (const Case& c : cases) {
    auto tree = MakeTree(c.indexes, {});
    std::vector<int32_t> got;
    for (link::Parameter* p : FindRows(tree.get(), "R.COU")) got.push_back(p->linear_index);
    EXPECT_EQ(got, c.rows);
  }
  EXPECT_TRUE(FindRows(nullptr, "r.cou").empty());
}

TEST(IoRows, CaptionsAndNoDataAsZero) {
  auto tree = MakeTree({4, 0, 2}, {0, 1});
  tree->parameters[4]->value = "0.250";  // r.oe:0
  TableAccess access;
  IoState state(access, tree.get());
  const IoSnapshot s = state.Snapshot();
  ASSERT_EQ(s.counters.size(), 3u);
  EXPECT_EQ(s.counters[0].caption, "Счетчик 1");
  EXPECT_EQ(s.counters[1].caption, "Счетчик 3");
  EXPECT_EQ(s.counters[2].caption, "Счетчик 5");
  EXPECT_EQ(Values(s.counters), (std::vector<std::string>{"0", "0", "0"}));
  ASSERT_EQ(s.output_rows.size(), 2u);
  EXPECT_EQ(s.output_rows[1].caption, "ШИМ выход 2");
  EXPECT_EQ(Values(s.output_rows), (std::vector<std::string>{"0.250", "Нет данных"}));
  EXPECT_EQ(s.inputs[0], "");
  EXPECT_EQ(state.InputsParameter(), tree->parameters[0].get());
}

TEST(IoRefresh, InputBitsLightTheirIndicators) {
  auto tree = MakeTree({}, {});
  TableAccess access;
  access.device["r.cn:0"] = "5";
  IoState state(access, tree.get());
  state.RefreshOnce();
  const IoSnapshot s = state.Snapshot();
  for (int k = 0; k < kInputCount; ++k)
    EXPECT_EQ(s.inputs[k], k == 0 || k == 2 ? "1" : "0") << "input " << k + 1;

  // A failed read leaves the indicators as they were.
  access.device.erase("r.cn:0");
  state.RefreshOnce();
  EXPECT_EQ(state.Snapshot().inputs, s.inputs);
}

TEST(IoRefresh, OneRowOfEachListInTurn) {
  auto tree = MakeTree({0, 1, 2}, {0, 1});
  TableAccess access;
  for (int i = 0; i < 3; ++i) access.device["r.cou:" + std::to_string(i)] = std::to_string(10 + i);
  access.device["r.oe:0"] = "0.500";
  access.device["r.oe:1"] = "1.000";
  access.device["r.cn:0"] = "0";
  IoState state(access, tree.get());
  EXPECT_EQ(Marks(state.Snapshot().counters), (std::vector<bool>{true, false, false}));

  state.RefreshOnce();  // counter 1
  IoSnapshot s = state.Snapshot();
  EXPECT_EQ(Values(s.counters), (std::vector<std::string>{"10", "0", "0"}));
  EXPECT_EQ(Marks(s.counters), (std::vector<bool>{false, true, false}));

  state.RefreshOnce();  // output 1
  s = state.Snapshot();
  EXPECT_EQ(Values(s.output_rows), (std::vector<std::string>{"0.500", "Нет данных"}));
  EXPECT_EQ(Marks(s.output_rows), (std::vector<bool>{true, false}));
  EXPECT_EQ(s.outputs[0], "0.500");

  state.RefreshOnce();  // counter 2
  state.RefreshOnce();  // output 2: the mark moves on
  s = state.Snapshot();
  EXPECT_EQ(Marks(s.output_rows), (std::vector<bool>{false, true}));
  EXPECT_EQ(s.outputs[1], "1.000");
  EXPECT_EQ(Values(s.counters), (std::vector<std::string>{"10", "11", "0"}));

  state.RefreshOnce();  // counter 3, then the list starts over
  EXPECT_EQ(Marks(state.Snapshot().counters), (std::vector<bool>{true, false, false}));
  EXPECT_EQ(access.reads["r.cn:0"], 5);
}

TEST(IoRefresh, AnEmptyListGivesItsTurnsAway) {
  auto tree = MakeTree({}, {0, 1});
  TableAccess access;
  IoState state(access, tree.get());
  state.RefreshOnce();
  state.RefreshOnce();
  EXPECT_EQ(access.reads["r.oe:0"], 1);
  EXPECT_EQ(access.reads["r.oe:1"], 1);

  // Nothing at all: still nothing to trip over.
  IoState none(access, nullptr);
  none.RefreshOnce();
  EXPECT_TRUE(none.Snapshot().counters.empty());
  EXPECT_FALSE(none.BeginEdit(IoList::Counters, 0));
  EXPECT_FALSE(none.WriteEdited(IoList::Outputs, 3, "1"));
  EXPECT_EQ(none.ToggleAllOutputs(), 0);
}

TEST(IoRefresh, MoreOutputRowsThanIndicators) {
  auto tree = MakeTree({}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  TableAccess access;
  for (int i = 0; i < 10; ++i) access.device["r.oe:" + std::to_string(i)] = "1";
  IoState state(access, tree.get());
  for (int i = 0; i < 10; ++i) state.RefreshOnce();
  const IoSnapshot s = state.Snapshot();
  EXPECT_EQ(s.output_rows[9].value, "1");
  EXPECT_EQ(s.outputs[7], "1");
}

TEST(IoRefresh, ARowBeingEditedIsNotRead) {
  auto tree = MakeTree({0, 1}, {});
  TableAccess access;
  access.device["r.cou:0"] = "7";
  access.device["r.cou:1"] = "8";
  IoState state(access, tree.get());
  ASSERT_TRUE(state.BeginEdit(IoList::Counters, 0));
  state.RefreshOnce();
  EXPECT_EQ(access.reads["r.cou:0"], 0);
  EXPECT_EQ(state.Snapshot().counters[0].value, "0");
  state.RefreshOnce();
  state.CancelEdit(IoList::Counters, 0);
  state.RefreshOnce();
  EXPECT_EQ(access.reads["r.cou:0"], 1);
  EXPECT_EQ(state.Snapshot().counters[0].value, "7");
}

TEST(IoWrites, QueuedUntilTheWorkerRunsThem) {
  RecordingPresenter presenter;
  auto tree = MakeTree({0, 1}, {0});
  TableAccess access;
  access.device["r.cou:1"] = "42";
  access.device["r.oe:0"] = "0.100";
  IoState state(access, tree.get());
  ASSERT_TRUE(state.BeginEdit(IoList::Outputs, 0));
  EXPECT_TRUE(state.WriteEdited(IoList::Outputs, 0, "0.750"));
  EXPECT_TRUE(state.ResetCounter(1));
  EXPECT_FALSE(state.ResetCounter(2));
  // Nothing on the wire yet; the rows show the texts, and a refresh leaves them alone.
  EXPECT_TRUE(access.writes.empty());
  for (int i = 0; i < 4; ++i) state.RefreshOnce();
  EXPECT_EQ(access.reads["r.oe:0"] + access.reads["r.cou:1"], 0);
  IoSnapshot s = state.Snapshot();
  EXPECT_EQ(s.output_rows[0].value, "0.750");
  EXPECT_EQ(s.counters[1].value, "0");
  EXPECT_FALSE(state.WaitForWrites(0ms));

  state.RunQueuedWrites();
  EXPECT_TRUE(state.WaitForWrites(0ms));
  EXPECT_EQ(access.device["r.oe:0"], "0.750");
  EXPECT_EQ(access.device["r.cou:1"], "0");
  s = state.Snapshot();
  EXPECT_EQ(s.output_rows[0].value, "0.750");
  EXPECT_EQ(s.outputs[0], "0.750");
  EXPECT_FALSE(tree->parameters[3]->value_changed);
  EXPECT_FALSE(tree->parameters[2]->value_changed);
  EXPECT_TRUE(state.TakeWriteFailures().empty());
  EXPECT_TRUE(presenter.messages().empty());
}

TEST(IoWrites, AFailedWriteIsReportedToTheWindowAndKeepsTheText) {
  RecordingPresenter presenter;
  auto tree = MakeTree({0}, {0});
  TableAccess access;
  access.fail_writes = true;
  ChangeLog log;
  IoState state(access, tree.get(), log.Callback());
  state.BeginEdit(IoList::Outputs, 0);
  EXPECT_TRUE(state.WriteEdited(IoList::Outputs, 0, "0.3"));
  EXPECT_TRUE(state.ResetCounter(0));
  // Switching all outputs says nothing.
  EXPECT_EQ(state.ToggleAllOutputs(), 1);
  state.RunQueuedWrites();
  // The switch went by the text the row showed when pressed: "0.3", so all off.
  EXPECT_EQ(state.Snapshot().output_rows[0].value, "0");
  EXPECT_FALSE(tree->parameters[2]->value_changed);
  EXPECT_EQ(log.Count(IoChange::Kind::WriteFailed), 2);
  // The model shows no box itself: the window fetches the failures and shows them.
  EXPECT_TRUE(presenter.messages().empty());
  const std::vector<IoWriteFailure> failures = state.TakeWriteFailures();
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0].list, IoList::Outputs);
  EXPECT_EQ(failures[0].note, "Редактирование параметра запрещено атрибутами доступа");
  EXPECT_EQ(failures[0].caption, "Ошибка записи \"r.oe\"");
  EXPECT_EQ(failures[1].list, IoList::Counters);
  EXPECT_EQ(failures[1].caption, "Ошибка записи \"r.cou\"");
  EXPECT_TRUE(state.TakeWriteFailures().empty());
}

TEST(IoWrites, AllOutputsOnThenOff) {
  auto tree = MakeTree({}, {0, 1, 2, 3, 4, 5, 6, 7});
  TableAccess access;
  for (int i = 0; i < 8; ++i) access.device["r.oe:" + std::to_string(i)] = i == 5 ? "0" : "1";
  IoState state(access, tree.get());
  for (int i = 0; i < 8; ++i) state.RefreshOnce();
  EXPECT_EQ(state.ToggleAllOutputs(), 8);
  state.RunQueuedWrites();
  for (int i = 0; i < 8; ++i) EXPECT_EQ(access.device["r.oe:" + std::to_string(i)], "1");
  EXPECT_EQ(state.ToggleAllOutputs(), 8);
  state.RunQueuedWrites();
  for (int i = 0; i < 8; ++i) EXPECT_EQ(access.device["r.oe:" + std::to_string(i)], "0");
  EXPECT_EQ(Values(state.Snapshot().output_rows), std::vector<std::string>(8, "0"));
}

TEST(IoWorker, CloseWaitsForTheWorker) {
  auto tree = MakeTree({0}, {0});
  TableAccess access;
  ChangeLog log;
  IoState state(access, tree.get(), log.Callback());
  ASSERT_TRUE(state.Start());
  ASSERT_TRUE(log.WaitFor(IoChange::Kind::CounterRow));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(state.RequestClose());
  ASSERT_TRUE(log.WaitFor(IoChange::Kind::Ended, 1000ms));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
  EXPECT_TRUE(state.WorkerEnded());
  EXPECT_TRUE(state.RequestClose());
}

// Against the simulator, through the engine's procedures.
class IoLive : public ::testing::Test {
 protected:
  void SetUp() override {
    trees = polling_test::LoadTrees();
    ASSERT_TRUE(trees && trees->pollers);
  }
  void Connect(const std::string& path) { ASSERT_EQ(engine.Open(path), link::kOpenOk); }

  // Waits until every row of both lists has been read once.
  bool WaitAllRead(IoState& state, std::chrono::milliseconds limit = 8000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      const IoSnapshot s = state.Snapshot();
      bool all = !s.inputs[0].empty();
      for (const IoRow& r : s.output_rows) all = all && r.value != link::kNoData;
      if (all && access.reads >= 2 * (s.counters.size() + s.output_rows.size())) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  struct CountingAccess : EngineIoAccess {
    using EngineIoAccess::EngineIoAccess;
    int Read(link::Parameter& p) override {
      ++reads;
      return EngineIoAccess::Read(p);
    }
    std::atomic<size_t> reads{0};
  };

  RecordingPresenter presenter;
  std::unique_ptr<model::DescriptionTree> trees;
  TestEngine engine;
  CountingAccess access{*engine};
};

TEST_F(IoLive, ReadsInputsCountersAndOutputs) {
  LiveDevice device({"--input-ms", "40"});
  ASSERT_TRUE(device.Ok());
  Connect(device.Path());
  ChangeLog log;
  IoState state(access, trees->pollers.get(), log.Callback());
  EXPECT_EQ(state.Snapshot().counters.size(), 12u);
  EXPECT_EQ(state.Snapshot().output_rows.size(), 8u);
  ASSERT_TRUE(state.Start());
  ASSERT_TRUE(WaitAllRead(state));
  const IoSnapshot s = state.Snapshot();
  for (const std::string& in : s.inputs) EXPECT_TRUE(in == "0" || in == "1") << in;
  for (const IoRow& r : s.output_rows) EXPECT_EQ(r.value, "0.000") << r.caption;
  EXPECT_EQ(s.outputs[7], "0.000");
  // Input 1 toggles every 40 ms, so its counter has rising edges to count when its row
  // comes round again (one row of twelve every second expiry).
  const auto deadline = std::chrono::steady_clock::now() + 6s;
  while (state.Snapshot().counters[0].value == "0" && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(50ms);
  EXPECT_GT(std::stoi(state.Snapshot().counters[0].value), 0);
  EXPECT_TRUE(presenter.messages().empty());
}

TEST_F(IoLive, WritesResetAndSwitchAll) {
  LiveDevice device({"--input-ms", "0"});
  ASSERT_TRUE(device.Ok());
  Connect(device.Path());
  IoState state(access, trees->pollers.get());
  ASSERT_TRUE(state.Start());

  ASSERT_TRUE(state.BeginEdit(IoList::Counters, 3));
  ASSERT_TRUE(state.WriteEdited(IoList::Counters, 3, "17"));
  ASSERT_TRUE(state.WaitForWrites(5s));
  EXPECT_EQ(state.Snapshot().counters[3].value, "17");
  ASSERT_TRUE(state.ResetCounter(3));
  ASSERT_TRUE(state.WaitForWrites(5s));
  EXPECT_EQ(state.Snapshot().counters[3].value, "0");

  ASSERT_TRUE(state.WriteEdited(IoList::Outputs, 2, "0.5"));
  ASSERT_TRUE(state.WaitForWrites(5s));
  EXPECT_EQ(OutputLook(state.Snapshot().outputs[2]), IndicatorLook::OutputPartial);

  EXPECT_EQ(state.ToggleAllOutputs(), 8);
  ASSERT_TRUE(state.WaitForWrites(5s));
  for (const IoRow& r : state.Snapshot().output_rows)
    EXPECT_EQ(OutputLook(r.value), IndicatorLook::OutputFull) << r.value;
  EXPECT_EQ(state.ToggleAllOutputs(), 8);
  ASSERT_TRUE(state.WaitForWrites(5s));
  for (const IoRow& r : state.Snapshot().output_rows)
    EXPECT_EQ(OutputLook(r.value), IndicatorLook::Plain) << r.value;
  EXPECT_TRUE(state.TakeWriteFailures().empty());
  EXPECT_TRUE(presenter.messages().empty());

  // The worker reads back what was written.
  ASSERT_TRUE(WaitAllRead(state));
  EXPECT_EQ(state.Snapshot().counters[3].value, "0");
}

TEST_F(IoLive, CloseDuringAReadWaitsForTheWorker) {
  LiveDevice device({"--late-ms", "60"});
  ASSERT_TRUE(device.Ok());
  Connect(device.Path());
  ChangeLog log;
  IoState state(access, trees->pollers.get(), log.Callback());
  ASSERT_TRUE(state.Start());
  std::this_thread::sleep_for(150ms);
  EXPECT_FALSE(state.RequestClose());
  ASSERT_TRUE(log.WaitFor(IoChange::Kind::Ended, 2000ms));
  EXPECT_TRUE(state.RequestClose());
}

TEST_F(IoLive, CloseDropsTheWritesASilentDeviceHasNotTaken) {
  LiveDevice device({"--drop", "1"});
  ASSERT_TRUE(device.Ok());
  Connect(device.Path());
  ChangeLog log;
  IoState state(access, trees->pollers.get(), log.Callback());
  ASSERT_TRUE(state.Start());
  EXPECT_EQ(state.ToggleAllOutputs(), 8);
  std::this_thread::sleep_for(150ms);  // the first write is on the wire
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(state.RequestClose());
  ASSERT_TRUE(log.WaitFor(IoChange::Kind::Ended, 2000ms));
  // One reply time at most (the attempt on the wire is not tried again), not the eight
  // writes' retries.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
  EXPECT_TRUE(state.WaitForWrites(0ms));
  EXPECT_TRUE(state.TakeWriteFailures().empty());
  EXPECT_FALSE(engine->cancel_event.IsSet());
  for (const IoRow& r : state.Snapshot().output_rows) EXPECT_FALSE(r.parameter->value_changed);
}
