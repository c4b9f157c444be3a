// The exchange thread: starting, stopping, refusing tasks without it, the progress
// window's counters and lines, the linger, and the requests at the end of a task.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "engine_fixture.h"
#include "exchange/record_exchange.h"
#include "exchange/task_commands.h"
#include "link/exit_status.h"
#include "model/description_branch.h"
#include "platform/wait.h"

using namespace vesk;
using namespace vesk::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kDone = "Задание выполнено. Окно будет закрыто автоматически.";

class EngineThreads : public EngineTest {};

TEST_F(EngineThreads, TaskIsRefusedWithoutAnExchangeThread) {
  model::DescriptionBranch branch("Пусто");
  EXPECT_FALSE(engine->RunTask(&branch, exchange::kTaskReadAll));
  EXPECT_EQ(progress.runs, 0);
  EXPECT_FALSE(engine->RunTask(&branch, 2));  // no such task
  link::Parameter p("FiLt");
  EXPECT_FALSE(engine->RunSingleTask(&p, exchange::kTaskReadOne));
  EXPECT_EQ(progress.runs, 0);
}

TEST_F(EngineThreads, StopThreadsEndsTheIdleThreadAtOnceAndItCanStartAgain) {
  ASSERT_EQ(engine->StartTransmitThread(), 0);
  ASSERT_EQ(engine->StartTransmitThread(), 0);  // already running
  std::this_thread::sleep_for(20ms);
  const auto start = Clock::now();
  EXPECT_EQ(engine->StopThreads(), 1);
  EXPECT_LT(Clock::now() - start, 100ms);
  EXPECT_FALSE(engine->TransmitThreadRunning());
  EXPECT_FALSE(engine->StopEvent().IsSet());

  ASSERT_EQ(engine->StartTransmitThread(), 0);
  model::DescriptionBranch branch("Пусто");
  EXPECT_TRUE(engine->RunTask(&branch, exchange::kTaskReadAll));
}

TEST_F(EngineThreads, StopThreadsEndsThePollerThreadToo) {
  ASSERT_EQ(engine->StartTransmitThread(), 0);
  std::atomic<bool> ended{false};
  ASSERT_EQ(engine->StartPollerThread([&] {
    platform::WaitAny({platform::Signalled(engine->StopEvent())}, std::chrono::milliseconds(-1));
    ended = true;
  }),
            0);
  EXPECT_TRUE(engine->PollerThreadRunning());
  const auto start = Clock::now();
  engine->StopThreads();
  EXPECT_LT(Clock::now() - start, 100ms);
  EXPECT_TRUE(ended.load());
  EXPECT_FALSE(engine->PollerThreadRunning());
}

TEST_F(EngineThreads, EmptyBranchLogsItsNameAndTheEndOnly) {
  ASSERT_EQ(engine->StartTransmitThread(), 0);
  model::DescriptionBranch branch("Пусто");
  ASSERT_TRUE(engine->RunTask(&branch, exchange::kTaskReadAll));
  EXPECT_EQ(progress.Texts(), (std::vector<std::string>{"Читаем ветвь 'Пусто'", "", kDone}));
  EXPECT_EQ(progress.last_range, 0);
  EXPECT_TRUE(progress.lines().back().counter.empty());  // no count, no counter
  EXPECT_EQ(progress.lines().back().elapsed, "00:00:00");
  EXPECT_EQ(progress.closes, 1);

  // Writing changed values of it says nothing about the branch.
  progress.Clear();
  ASSERT_TRUE(engine->RunTask(&branch, exchange::kTaskWriteChanged));
  EXPECT_EQ(progress.Texts(), (std::vector<std::string>{"", kDone}));
}

TEST_F(EngineThreads, FinishedWindowLingersUnlessCancelled) {
  ASSERT_EQ(engine->StartTransmitThread(), 0);
  model::DescriptionBranch branch("Пусто");
  engine->SetLinger(300ms);
  auto start = Clock::now();
  ASSERT_TRUE(engine->RunTask(&branch, exchange::kTaskReadAll));
  EXPECT_GE(Clock::now() - start, 300ms);

  engine->SetLinger(5s);
  progress.on_line = [&](const exchange::ProgressLine& line) {
    if (line.text == kDone) engine->Cancel();
  };
  start = Clock::now();
  ASSERT_TRUE(engine->RunTask(&branch, exchange::kTaskReadAll));
  EXPECT_LT(Clock::now() - start, 1s);
  EXPECT_EQ(link::exit_status.load(), 0x20u);
}

TEST_F(EngineThreads, ProgressRangeIsTakenModulo65536WhileTheCounterStaysExact) {
  ASSERT_EQ(engine->StartTransmitThread(), 0);
  model::ParameterNode node;
  for (int i = 0; i < 65537; ++i) {
    auto& p = node.AddParameter(std::make_unique<link::Parameter>("FiLt"));
    p.linear_index = -1;  // refused without an exchange
  }
  ASSERT_TRUE(engine->RunTask(&node, exchange::kTaskReadAll));
  EXPECT_EQ(progress.last_range, 1);
  EXPECT_EQ(progress.lines().back().counter, "65537 из 65537");
  EXPECT_EQ(progress.lines().back().position, 65537);
}

TEST_F(EngineThreads, EveryFifthLineScrollsToTheBottom) {
  ASSERT_EQ(engine->StartTransmitThread(), 0);
  model::DescriptionBranch root("a");
  root.children.push_back(std::make_unique<model::DescriptionBranch>("b"));
  root.children.push_back(std::make_unique<model::DescriptionBranch>("c"));
  ASSERT_TRUE(engine->RunTask(&root, exchange::kTaskReadAll));
  const auto lines = progress.lines();
  ASSERT_EQ(lines.size(), 5u);
  for (size_t i = 0; i < 4; ++i) EXPECT_FALSE(lines[i].scroll_to_bottom) << i;
  EXPECT_TRUE(lines[4].scroll_to_bottom);
}

TEST_F(EngineThreads, SaveRequestComesBeforeTheDoneSignal) {
  ASSERT_EQ(engine->StartTransmitThread(), 0);
  auto done = std::make_shared<platform::Event>(platform::Event::Reset::Auto);
  bool done_before_save = true;
  int saves = 0;
  exchange::EngineHooks hooks;
  hooks.save_request = [&] {
    ++saves;
    done_before_save = done->IsSet();
  };
  engine->set_hooks(hooks);
  engine->set_unattended({true, true, false, done});
  model::DescriptionBranch branch("Пусто");
  ASSERT_TRUE(engine->RunTask(&branch, exchange::kTaskReadAll));
  EXPECT_EQ(saves, 1);
  EXPECT_FALSE(done_before_save);
  EXPECT_TRUE(done->IsSet());

  // A write run saves nothing but still says it is done.
  engine->set_unattended({true, false, false, done});
  ASSERT_TRUE(engine->RunTask(&branch, exchange::kTaskWriteAll));
  EXPECT_EQ(saves, 1);
  EXPECT_TRUE(done->IsSet());
}

class EngineWithSim : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    StartSim();
    LoadTree();
  }
};

TEST_F(EngineWithSim, SingleReadCountsOneOfOne) {
  link::Parameter* p = Find("FiLt", 3);
  ASSERT_TRUE(exchange::RunParameterCommand(*engine, p, exchange::kTaskReadOne));
  EXPECT_EQ(progress.last_caption, "Идет чтение параметра из прибора");
  EXPECT_EQ(progress.last_range, 1);
  const auto lines = progress.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].text, "  Чтение: FiLt:3 = " + p->value);
  EXPECT_EQ(lines[0].counter, "1 из 1");
  EXPECT_NE(p->value, link::kNoData);
}

TEST_F(EngineWithSim, NothingSelectedIsReportedInsteadOfATask) {
  EXPECT_FALSE(exchange::RunParameterCommand(*engine, nullptr, exchange::kTaskWriteOne));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text, "Ничего не выбрано!");
  EXPECT_EQ(messages.messages()[0].caption, "Операция невозможна");
  EXPECT_FALSE(exchange::RunTreeCommand(*engine, nullptr, exchange::kTaskReadAll));
  EXPECT_EQ(messages.messages()[1].text, "Дерево не определено");
  model::ParameterNode plain;
  EXPECT_FALSE(exchange::RunBranchCommand(*engine, &plain, exchange::kTaskReadAll));
  EXPECT_EQ(messages.messages()[2].text, "Ветвь не определена");
  EXPECT_EQ(progress.runs, 0);
}

TEST_F(EngineWithSim, WritingTheAddressAsksForTheNetworkModeChangeOnce) {
  int applies = 0, updates = 0;
  exchange::EngineHooks hooks;
  hooks.apply_request = [&] { ++applies; };
  hooks.update_all_views = [&] { ++updates; };
  engine->set_hooks(hooks);
  link::Parameter* addr = Find("Addr");
  ASSERT_TRUE(exchange::RunParameterCommand(*engine, addr, exchange::kTaskReadOne));
  EXPECT_EQ(applies, 0);
  ASSERT_EQ(addr->value, "16");
  ASSERT_TRUE(exchange::RunParameterCommand(*engine, addr, exchange::kTaskWriteOne));
  EXPECT_EQ(progress.last_caption, "Идет запись параметра в прибор");
  EXPECT_EQ(applies, 1);
  EXPECT_EQ(updates, 2);
  EXPECT_FALSE(engine->net_params_written.load());
}

TEST_F(EngineWithSim, AutomaticReadAndImmediateWriteFollowTheModes) {
  EXPECT_EQ(exchange::AutomaticRead(*engine, nullptr), -3);
  link::Parameter* p = Find("FiLt", 2);
  engine->modes().auto_read = false;
  EXPECT_EQ(exchange::AutomaticRead(*engine, p), -2);
  engine->modes().auto_read = true;
  EXPECT_EQ(exchange::AutomaticRead(*engine, p), 0);
  EXPECT_EQ(p->value, "10");
  EXPECT_EQ(exchange::AutomaticRead(*engine, p), -2);  // known already

  EXPECT_FALSE(exchange::WantsImmediateWrite(*engine, *p));  // not changed
  ASSERT_TRUE(p->SetValueFromText("40"));
  EXPECT_FALSE(exchange::WantsImmediateWrite(*engine, *p));  // mode off
  engine->modes().immediate_write = true;
  EXPECT_TRUE(exchange::WantsImmediateWrite(*engine, *p));

  // The write works on a copy; the record learns the outcome only when it is taken, and
  // not at all when the user has typed a newer value meanwhile.
  p->note = "старое";
  exchange::RecordOutcome written;
  auto keep = [&](exchange::RecordOutcome w) { written = std::move(w); };
  ASSERT_TRUE(exchange::StartRecordWrite(*engine, *p, keep, progress));
  EXPECT_TRUE(p->value_changed);
  EXPECT_FALSE(exchange::TakeWriteResult(written));
  EXPECT_TRUE(p->note.empty());
  EXPECT_FALSE(p->value_changed);
  ASSERT_TRUE(p->SetValueFromText("50"));
  ASSERT_TRUE(exchange::StartRecordWrite(*engine, *p, keep, progress));
  ASSERT_TRUE(p->SetValueFromText("60"));
  EXPECT_FALSE(exchange::TakeWriteResult(written));
  EXPECT_TRUE(p->value_changed);
  ASSERT_EQ(sim->Stop(), 0);
  EXPECT_EQ((sim->ReadDump().at({"FiLt", "2"}).value), "50");
}

TEST_F(EngineWithSim, ThreadOpensAClosedPortForTheTaskAndClosesItAfter) {
  engine->ClosePort();
  ASSERT_FALSE(engine->port().IsOpen());
  link::Parameter* p = Find("FiLt", 0);
  ASSERT_TRUE(engine->RunSingleTask(p, exchange::kTaskReadOne));
  EXPECT_EQ(p->value, "10");
  EXPECT_FALSE(engine->port().IsOpen());
}

TEST_F(EngineWithSim, StopDuringATaskEndsItPromptly) {
  engine->SetLinger(5s);
  progress.on_line = [&](const exchange::ProgressLine& line) {
    if (line.text.rfind("  Чтение: FiLt", 0) == 0) engine->StopEvent().Set();
  };
  const auto start = Clock::now();
  ASSERT_TRUE(engine->RunTask(tree.root.get(), exchange::kTaskReadAll));
  EXPECT_LT(Clock::now() - start, 1s);
  EXPECT_TRUE(progress.TextsStarting("Читаем ветвь 'Уставки").empty());
  engine->StopThreads();
  EXPECT_FALSE(engine->TransmitThreadRunning());
}

}  // namespace

namespace {

TEST_F(EngineThreads, HeadlessWindowBlocksUntilTheTaskEndedAndPrintsWhenVerbose) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  exchange::HeadlessProgress headless(true, out);
  engine->SetProgressSink(&headless);
  ASSERT_EQ(engine->StartTransmitThread(), 0);
  model::DescriptionBranch branch("Пусто");
  ASSERT_TRUE(engine->RunTask(&branch, exchange::kTaskReadAll));
  EXPECT_FALSE(engine->TaskWindowOpen());
  std::rewind(out);
  std::string printed;
  for (int c; (c = std::fgetc(out)) != EOF;) printed += static_cast<char>(c);
  std::fclose(out);
  EXPECT_EQ(printed,
            "Идет чтение параметров из прибора\n00:00:00 Читаем ветвь 'Пусто'\n00:00:00 \n"
            "00:00:00 Задание выполнено. Окно будет закрыто автоматически.\n");
}

}  // namespace
