// The device commands against the simulator: the link check, INIT, the network-mode
// change moving the device and the program together, and the initialisation's questions.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "engine_fixture.h"
#include "exchange/device_commands.h"
#include "exchange/task_commands.h"
#include "link/frame_codec.h"
#include "model/description_branch.h"

using namespace vesk;
using namespace vesk::test;
using Clock = std::chrono::steady_clock;

namespace {

std::string HashText(const char* name) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", link::NameHash(name));
  return buf;
}

class DeviceCommands : public EngineTest {};

struct CheckCase {
  const char* dev;  // --dev of the simulator
  int result;
};

TEST_F(DeviceCommands, CheckLinkTellsThisDeviceFromAnother) {
  for (const CheckCase& c : {CheckCase{"VESK", 3}, CheckCase{"ve-SK", 3}, CheckCase{"TRB-6", 2}}) {
    SCOPED_TRACE(c.dev);
    StartSim({"--dev", c.dev, "--ver", "2.10"});
    const size_t before = messages.messages().size();
    EXPECT_EQ(exchange::CheckLink(*engine, true), c.result);
    const auto shown = messages.messages();
    ASSERT_EQ(shown.size(), before + 1);
    EXPECT_EQ(shown.back().text, std::string("Прибор: ") + c.dev + "\nВерсия ПО: 2.10\n");
    EXPECT_EQ(shown.back().caption, "Общие параметры прибора");
    EXPECT_EQ(exchange::CheckLink(*engine, false), c.result);
    EXPECT_EQ(messages.messages().size(), before + 1);
    engine->StopThreads();
    sim.reset();
  }
}

TEST_F(DeviceCommands, CheckLinkWithoutAnAnswerShowsOnlyTheErrorAndNeverAsksVer) {
  StartSim({"--mute-after", "0"});
  EXPECT_EQ(exchange::CheckLink(*engine, true), exchange::kLinkNone);
  const auto shown = messages.messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Ошибка команды 'dev':\nТаймаут при передаче данных (нет связи)\n");
  EXPECT_EQ(shown[0].caption, "Ошибка");
  EXPECT_EQ(shown[0].icon, link::MsgIcon::Error);
  ASSERT_EQ(sim->Stop(), 0);
  EXPECT_EQ(sim->CountReceived(HashText("dev")), 3);
  EXPECT_EQ(sim->CountReceived(HashText("ver")), 0);
}

// The INIT command as the window runs it, its steps on one thread.
int SendInitCommand(exchange::ExchangeEngine& engine) {
  if (!exchange::AskInit()) return -1;
  std::string failure;
  const int result = exchange::SendInit(engine, failure);
  if (result != 0) exchange::ShowInitFailure(failure);
  return result;
}

TEST_F(DeviceCommands, InitIsSentOnlyAfterYesAndWaitsForTheRestart) {
  StartSim();
  EXPECT_EQ(SendInitCommand(*engine), -1);  // the default answer is No
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text, exchange::kInitQuestion);
  EXPECT_EQ(messages.messages()[0].icon, link::MsgIcon::Question);

  messages.QueueAnswers({link::MsgAnswer::Yes});
  const auto start = Clock::now();
  EXPECT_EQ(SendInitCommand(*engine), 0);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1000));

  // Stop during the restart's wait ends it at once.
  std::string failure;
  std::thread stop([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    engine->Cancel();
  });
  const auto again = Clock::now();
  EXPECT_EQ(exchange::SendInit(*engine, failure), 0);
  EXPECT_LT(Clock::now() - again, std::chrono::milliseconds(700));
  stop.join();
  ASSERT_EQ(sim->Stop(), 0);
  EXPECT_EQ(sim->CountReceived(HashText("INIT")), 2);
}

TEST_F(DeviceCommands, InitFailureIsShownWithTheNote) {
  StartSim({"--mute-after", "0"});
  messages.QueueAnswers({link::MsgAnswer::Yes});
  EXPECT_EQ(SendInitCommand(*engine), link::kExchangeFailed);
  ASSERT_EQ(messages.messages().size(), 2u);
  EXPECT_EQ(messages.messages()[1].text,
            "Комманда INIT вернула ошибку:\nТаймаут при передаче данных (нет связи)");
}

TEST_F(DeviceCommands, InitialiseAsksFirstAndSendsNothingOnNo) {
  StartSim();
  LoadTree();
  EXPECT_FALSE(
      exchange::InitialiseDevice(*engine, tree.root.get(), [&] { SendInitCommand(*engine); }));
  EXPECT_EQ(progress.runs, 0);
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].icon, link::MsgIcon::Warning);
  ASSERT_EQ(sim->Stop(), 0);
  EXPECT_EQ(sim->CountReceived(""), 0);
}

TEST_F(DeviceCommands, InitialiseWithNoToInitWritesButSendsNoInit) {
  StartSim();
  LoadTree();
  messages.QueueAnswers({link::MsgAnswer::Yes, link::MsgAnswer::No});
  EXPECT_TRUE(
      exchange::InitialiseDevice(*engine, tree.root.get(), [&] { SendInitCommand(*engine); }));
  EXPECT_EQ(messages.messages().size(), 2u);
  ASSERT_EQ(sim->Stop(), 0);
  EXPECT_GT(sim->CountReceived(""), 0);
  EXPECT_EQ(sim->CountReceived(HashText("INIT")), 0);
}

TEST_F(DeviceCommands, InitialiseWithoutATreeSaysSo) {
  EXPECT_FALSE(exchange::InitialiseDevice(*engine, nullptr, {}));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text, "Дерево не определено");
}

class NetworkChange : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    StartSim();
    LoadTree();
    ASSERT_NE(tree.network, nullptr);
    ASSERT_TRUE(engine->RunTask(tree.network, exchange::kTaskReadAll));
    ASSERT_EQ(tree.network->GetValue("bPS"), "115200");
  }
};

TEST_F(NetworkChange, CommandLineAplyMovesDeviceAndProgramTogether) {
  engine->set_unattended({true, false, true, nullptr});
  exchange::EngineHooks hooks;
  hooks.apply_request = [this] { exchange::NetworkModeChange(*engine, tree.network, {}); };
  engine->set_hooks(hooks);

  ASSERT_TRUE(tree.network->FindParameter("bPS")->SetValueFromText("57600"));
  ASSERT_TRUE(engine->RunTask(tree.network, exchange::kTaskWriteChanged));
  EXPECT_TRUE(messages.messages().empty());
  EXPECT_EQ(engine->program_line().GetValue("bPS"), "57600");
  EXPECT_EQ(engine->port().settings().baud_rate, 57600);
  EXPECT_TRUE(engine->port().IsOpen());
  EXPECT_EQ(exchange::CheckLink(*engine, false), exchange::kLinkThisDevice);
  ASSERT_EQ(sim->Stop(), 0);
  EXPECT_EQ(sim->CountReceived(HashText("APLY")), 1);
  EXPECT_EQ((sim->ReadDump().at({"bPS", "-"}).value), "57600");
}

TEST_F(NetworkChange, CommandLineWithoutAplySendsNothing) {
  engine->set_unattended({true, false, false, nullptr});
  exchange::NetworkModeChange(*engine, tree.network, {});
  EXPECT_EQ(engine->program_line().GetValue("bPS"), "115200");
  ASSERT_EQ(sim->Stop(), 0);
  EXPECT_EQ(sim->CountReceived(HashText("APLY")), 0);
}

TEST_F(NetworkChange, DialogOkMovesTheProgramAndRepeatsAplyThreeTimes) {
  ASSERT_TRUE(tree.network->FindParameter("bPS")->SetValueFromText("38400"));
  ASSERT_TRUE(engine->RunTask(tree.network, exchange::kTaskWriteChanged));

  bool shown = false;
  exchange::NetworkModeChange(*engine, tree.network, [&](exchange::ApplyDialog& dialog) {
    shown = true;
    EXPECT_TRUE(dialog.change_program_settings);
    EXPECT_FALSE(dialog.repeat_aply);
    EXPECT_TRUE(dialog.three_times);
    EXPECT_EQ(dialog.SettingsText(),
              "Скорость: 38400\nДлина слова данных: 8\nЧетность: Отсутствует\n"
              "Кол-во стоп-бит: 1\nДлина адреса: 8\nАдрес: 16\n");
    dialog.repeat_aply = true;
    return true;
  });
  EXPECT_TRUE(shown);
  EXPECT_TRUE(messages.messages().empty()) << messages.messages()[0].text;
  EXPECT_EQ(engine->port().settings().baud_rate, 38400);
  EXPECT_EQ(exchange::CheckLink(*engine, false), exchange::kLinkThisDevice);
  ASSERT_EQ(sim->Stop(), 0);
  EXPECT_EQ(sim->CountReceived(HashText("APLY")), 4);
}

TEST_F(NetworkChange, DialogReportsALinkLostAtTheNewSettings) {
  // The program moves to a rate the device was never given: the check there fails.
  tree.network->SetValue("bPS", "19200");
  exchange::ApplyDialog dialog(engine.get(), tree.network);
  EXPECT_TRUE(dialog.Ok());
  EXPECT_EQ(dialog.error_text(),
            "Ошибка команды 'dev':\nТаймаут при передаче данных (нет связи)\n");
  // The exchanges show nothing themselves: the window reports when they have ended.
  EXPECT_TRUE(messages.messages().empty());
  dialog.ShowError();
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].caption, "Имела место ошибка");
}

TEST_F(NetworkChange, CopyingSkipsValuesTheDeviceDidNotGive) {
  engine->program_line().SetValue("Addr", "16");
  tree.network->SetValue("Addr", link::kNoData);
  tree.network->SetValue("A.Len", "11");
  EXPECT_EQ(exchange::CopyNetworkToProgram(*tree.network, engine->program_line()), 5);
  EXPECT_EQ(engine->program_line().GetValue("Addr"), "16");
  EXPECT_EQ(engine->program_line().GetValue("A.Len"), "11");
}

TEST(ApplyDialogTexts, SayWhatIsMissing) {
  exchange::ApplyDialog no_engine(nullptr, nullptr);
  EXPECT_EQ(no_engine.SettingsText(),
            "Нет данных - контекст устройства не получен диалогом APLY\n\nВнутренняя ошибка "
            "программы");
  EXPECT_FALSE(no_engine.Ok());
}

}  // namespace
