// A device that does not answer: the failure streak of reads and writes, its message and
// cancel, the error log, and the compare of unknown values.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

#include "engine_fixture.h"
#include "exchange/node_walks.h"
#include "exchange/parameter_tasks.h"
#include "exchange/task_commands.h"
#include "link/device_link.h"
#include "link/exit_status.h"
#include "model/description_branch.h"

using namespace vesk;
using namespace vesk::test;

namespace {

constexpr const char* kTimeout = exchange::kTimeoutNote;
// An address offset at which nothing answers: the request times out.
constexpr int32_t kSilentOffset = 100;

std::unique_ptr<link::Parameter> Timer(const char* value, bool answered) {
  auto p = std::make_unique<link::Parameter>("Alr.t");
  p->type_text = "CLK_frm";
  p->value = value;
  p->has_attributes = 0;
  p->poll_index = answered ? 0 : kSilentOffset;
  return p;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class SilentDevice : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    StartSim({"--mute-after", "0"});
    LoadTree();
  }
};

TEST_F(SilentDevice, FiveReadTimeoutsCancelTheTaskAndSwitchAutomaticReadOff) {
  engine->set_log_path(folder + "/errors.log");
  ASSERT_TRUE(engine->modes().auto_read.load());
  ASSERT_TRUE(engine->RunTask(tree.root.get(), exchange::kTaskReadAll));

  const auto reads = progress.TextsStarting("  Чтение: ");
  ASSERT_EQ(reads.size(), 5u);
  EXPECT_EQ(reads[0], "  Чтение: dev = Нет данных");
  EXPECT_EQ(engine->fail_streak.load(), 0);
  EXPECT_FALSE(engine->modes().auto_read.load());
  EXPECT_FALSE(engine->cancel_event.IsSet());  // reset at the end of the task

  const auto shown = messages.messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Конфигуратор ВЕСК");
  EXPECT_EQ(shown[0].icon, link::MsgIcon::Error);
  EXPECT_EQ(shown[0].text,
            "Так как прошло 5 неудачных попыток чтения параметров подряд,\n"
            "похоже что прибор ВЕСК не подключен к компьютеру\n"
            "(или связь стабильно отсутствует по какой-либо другой причине). \n"
            "Ради избежания бессмысленных задержек и торможения компьютера\n"
            "режим автоматического чтения параметров был отключен.\n"
            "Вы можете заново включить этот режим в меню 'Режимы программы'.\n\n"
            "Операции обмена приостановлены.");

  // The five carry the reason; everything after them is untouched.
  EXPECT_EQ(Find("dev")->note, kTimeout);
  EXPECT_EQ(Find("LEn")->note, kTimeout);
  EXPECT_TRUE(Find("PrtY")->note.empty());
  EXPECT_EQ(Find("PrtY")->value, link::kNoData);
  EXPECT_EQ(link::exit_status.load(), 0x04u);

  EXPECT_EQ(ReadFile(folder + "/errors.log"),
            "dev - Таймаут при передаче данных (нет связи)\n"
            "ver - Таймаут при передаче данных (нет связи)\n"
            "exit - Таймаут при передаче данных (нет связи)\n"
            "bPS - Таймаут при передаче данных (нет связи)\n"
            "LEn - Таймаут при передаче данных (нет связи)\n");
  EXPECT_TRUE(engine->log_error().empty());
}

TEST_F(SilentDevice, WithAutomaticReadOffTheMessageSaysNothingAboutIt) {
  engine->modes().auto_read = false;
  ASSERT_TRUE(engine->RunTask(tree.root.get(), exchange::kTaskReadAll));
  const auto shown = messages.messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text.find("режим автоматического чтения"), std::string::npos);
  EXPECT_NE(shown[0].text.find("Операции обмена приостановлены."), std::string::npos);
}

TEST_F(SilentDevice, CommandLineRunStopsWithoutAMessage) {
  engine->set_unattended({true, true, false, nullptr});
  ASSERT_TRUE(engine->RunTask(tree.root.get(), exchange::kTaskReadAll));
  EXPECT_EQ(progress.TextsStarting("  Чтение: ").size(), 5u);
  EXPECT_TRUE(messages.messages().empty());
}

// "Прервать!" pressed while a read is on the wire: the read's time-out, recorded after the
// cancel, must not make the cancelled read pass for a finished one.
class CancelOnSend : public link::LineObserver {
 public:
  explicit CancelOnSend(exchange::ExchangeEngine& engine) : engine_(engine) {}
  void OnLineEvent(const link::LineEvent& event) override {
    if (event.kind == link::LineEventKind::kSent && !cancelled_.exchange(true)) engine_.Cancel();
  }

 private:
  exchange::ExchangeEngine& engine_;
  std::atomic<bool> cancelled_{false};
};

TEST_F(SilentDevice, CancelledUnattendedReadIsNeverSavedWhateverFailsAfterIt) {
  int saves = 0;
  exchange::EngineHooks hooks;
  hooks.save_request = [&] { ++saves; };
  engine->set_hooks(hooks);
  engine->set_unattended({true, true, false, nullptr});
  CancelOnSend canceller(*engine);
  engine->AddObserver(&canceller);
  ASSERT_TRUE(engine->RunTask(tree.root.get(), exchange::kTaskReadAll));
  engine->RemoveObserver(&canceller);

  EXPECT_EQ(Find("dev")->note, kTimeout);  // the read in flight failed after the cancel
  EXPECT_NE(link::exit_status.load() & exchange::kStatusCancelled, exchange::kStatusCancelled);
  EXPECT_EQ(saves, 0);
  EXPECT_TRUE(engine->TaskCancelled());
  EXPECT_TRUE(engine->UnattendedRunCancelled());
}

TEST_F(SilentDevice, UncountedReadsNeverCancel) {
  for (int i = 0; i < 5; ++i) {
    link::Parameter dev("dev");
    EXPECT_EQ(exchange::ReadParameter(*engine, dev, false), link::kExchangeFailed);
  }
  EXPECT_EQ(engine->fail_streak.load(), 0);
  EXPECT_FALSE(engine->cancel_event.IsSet());
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(SilentDevice, CompareWithoutAnswersFailsAndFindsNoDifferences) {
  ASSERT_TRUE(exchange::CompareCommand(*engine, tree.root.get()));
  EXPECT_EQ(progress.TextsStarting("  Сравниваем: ").size(), 5u);
  EXPECT_EQ(engine->diff_count.load(), 0);
  EXPECT_EQ(Find("dev")->note, kTimeout);
  EXPECT_EQ(Find("LEn")->note, kTimeout);
  EXPECT_TRUE(Find("PrtY")->note.empty());
  EXPECT_FALSE(progress.TextsStarting("Задание не выполнено для 5 из ").empty());

  const auto shown = messages.messages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_NE(shown[0].text.find("Операции обмена приостановлены."), std::string::npos);
  EXPECT_EQ(shown[1].caption, exchange::kCompareCaption);
  EXPECT_EQ(shown[1].text, exchange::kNothingComparedText);
}

class WriteStreak : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    StartSim();
  }
};

TEST_F(WriteStreak, FourTimeoutsASuccessAndFourMoreDoNotCancel) {
  model::ParameterNode node;
  for (int i = 0; i < 4; ++i) node.AddParameter(Timer("00:05", false));
  node.AddParameter(Timer("00:20", true));
  for (int i = 0; i < 4; ++i) node.AddParameter(Timer("00:05", false));

  ASSERT_TRUE(engine->RunTask(&node, exchange::kTaskWriteAll));
  EXPECT_EQ(progress.TextsStarting("  Запись: ").size(), 9u);
  EXPECT_TRUE(progress.TextsStarting("Прошло 5").empty());
  EXPECT_EQ(engine->fail_streak.load(), 4);
  EXPECT_EQ(node.parameters[4]->value, "00:20");
  EXPECT_TRUE(node.parameters[4]->note.empty());
  EXPECT_EQ(node.parameters[8]->note, kTimeout);
  EXPECT_NE(link::exit_status.load(), exchange::kStatusTimeoutOrWrites);
}

TEST_F(WriteStreak, FifthTimeoutInARowCancelsWithExitStatusFour) {
  model::ParameterNode node;
  for (int i = 0; i < 6; ++i) node.AddParameter(Timer("00:05", false));
  ASSERT_TRUE(engine->RunTask(&node, exchange::kTaskWriteAll));
  const auto texts = progress.Texts();
  EXPECT_EQ(progress.TextsStarting("  Запись: ").size(), 5u);
  ASSERT_EQ(progress.TextsStarting("Прошло 5").size(), 1u);
  EXPECT_EQ(texts[texts.size() - 3], exchange::kWriteStreakText);
  EXPECT_EQ(engine->fail_streak.load(), 0);
  EXPECT_EQ(link::exit_status.load(), 0x04u);
  EXPECT_TRUE(node.parameters[5]->note.empty());
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(WriteStreak, WritesOutsideATaskCancelNothing) {
  // Nothing but a task's start would take such a cancel back.
  for (int i = 0; i < 6; ++i) exchange::WriteParameter(*engine, *Timer("00:05", false), 1);
  EXPECT_FALSE(engine->cancel_event.IsSet());
}

TEST_F(WriteStreak, ClosedPortCountsLikeATimeout) {
  model::ParameterNode node;
  for (int i = 0; i < 6; ++i) node.AddParameter(Timer("00:05", true));
  engine->set_silent(true);  // the thread's own attempt to open stays closed
  engine->ClosePort();
  ASSERT_TRUE(engine->RunTask(&node, exchange::kTaskWriteAll));
  EXPECT_EQ(progress.TextsStarting("  Запись: ").size(), 5u);
  EXPECT_EQ(node.parameters[0]->note, link::kTextPortNotOpen);
  EXPECT_EQ(link::exit_status.load(), 0x04u);
}

TEST_F(WriteStreak, EachCompareReplacesTheNoteOfTheLast) {
  model::ParameterNode node;
  link::Parameter& timer = node.AddParameter(Timer("99:00", true));
  auto device = timer.Clone();
  ASSERT_EQ(exchange::ReadParameter(*engine, *device, true), 0);
  const std::string noted =
      std::string(link::kCompareNotePrefix) + " '" + device->value + "',Ред-ый,польз.";
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(exchange::CompareCommand(*engine, &node));
    EXPECT_EQ(timer.note, noted);
  }
  timer.value = device->value;
  ASSERT_TRUE(exchange::CompareCommand(*engine, &node));
  EXPECT_TRUE(timer.note.empty());
  EXPECT_EQ(messages.messages().back().text, "Отличий не обнаружено");
}

TEST_F(WriteStreak, FailureThatIsNoTimeoutLeavesTheStreak) {
  engine->fail_streak = 3;
  link::Parameter unknown("ZZZZ");  // the device has no such descriptor
  unknown.type_text = "int";
  unknown.value = "1";
  EXPECT_EQ(exchange::WriteParameter(*engine, unknown, 1), link::kExchangeFailed);
  EXPECT_EQ(engine->fail_streak.load(), 3);
  // A read failure that is no time-out starts the streak again.
  EXPECT_EQ(exchange::ReadParameter(*engine, unknown, true), link::kExchangeFailed);
  EXPECT_EQ(engine->fail_streak.load(), 0);
}

TEST_F(WriteStreak, NegativeIndexAndMissingValueAreRefusedBeforeTheLine) {
  link::Parameter p("FiLt");
  p.type_text = "int";
  p.value = "10";
  p.linear_index = -1;
  EXPECT_EQ(exchange::WriteParameter(*engine, p, 1), exchange::kResultNegativeIndex);
  EXPECT_EQ(exchange::ReadParameter(*engine, p, true), exchange::kResultNegativeIndex);
  EXPECT_EQ(exchange::CompareParameter(*engine, p), exchange::kResultNegativeIndex);
  p.value = link::kNoData;
  EXPECT_EQ(exchange::WriteParameter(*engine, p, 1), exchange::kResultNotInitialised);
  EXPECT_EQ(p.note, exchange::kNotInitialisedNote);
  // Initial values are what counts in mode -1.
  p.linear_index = 0;
  p.note.clear();
  p.initial_value = link::kNoData;
  p.value = "10";
  EXPECT_EQ(exchange::WriteParameter(*engine, p, -1), exchange::kResultNotInitialised);
  ASSERT_EQ(sim->Stop(), 0);
  EXPECT_EQ(sim->CountReceived(""), 0);
}

}  // namespace

namespace {

// A device that answers, but wrongly: every parameter keeps its value and gets the reason.
struct FaultCase {
  const char* option;
  const char* value;
  const char* note;  // nullptr: any reason (late answers may end in several ways)
};

class FaultyDevice : public EngineTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultyDevice, ReadKeepsValuesAndNotesTheReason) {
  const FaultCase& c = GetParam();
  StartSim({c.option, c.value});
  LoadTree();
  model::DescriptionBranch& net = *tree.network;
  for (auto& p : net.parameters) p->value = "прежнее";

  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(engine->RunTask(&net, exchange::kTaskReadAll));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

  for (auto& p : net.parameters) {
    if (p->short_name == "CHAr*") continue;  // a network name is rebuilt from the codes
    SCOPED_TRACE(p->short_name);
    if (c.note) {
      EXPECT_EQ(p->note, c.note);
      EXPECT_EQ(p->value, "прежнее");
    } else if (!p->note.empty()) {
      EXPECT_EQ(p->value, "прежнее");
    }
  }
  EXPECT_NE(link::exit_status.load(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultyDevice,
    // An answer without its "#" is noise and ends as a time-out, which soon stops the read.
    ::testing::Values(FaultCase{"--garbage", "1", nullptr},
                      FaultCase{"--corrupt", "1", link::kTextChecksum},
                      FaultCase{"--wrong-hash", "1",
                                "Пришла посылка с кодом команды, отличным от посланной и от "
                                "n.Err.\n"},
                      FaultCase{"--late-ms", "300", nullptr}),
    [](const auto& info) {
      std::string name = info.param.option + 2;
      for (char& ch : name)
        if (ch == '-') ch = '_';
      return name;
    });

}  // namespace
