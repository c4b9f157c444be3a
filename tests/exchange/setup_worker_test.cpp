// The connection set-up dialog's logic: its rows, status line and commands with a scripted
// probe (fast and exact about what was tried with which settings), then the real probe
// against vesk-sim for the rate sweep and the factory settings.

#include "exchange/setup_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "exchange/exchange_engine.h"
#include "exchange/polling.h"
#include "link/exit_status.h"
#include "link/port_settings.h"
#include "link/presenter.h"
#include "live_device.h"
#include "model/device_line_settings.h"
#include "platform/settings_store.h"
#include "platform/wait.h"
#include "ser2net_process.h"
#include "sim_process.h"

namespace vesk::exchange {
namespace {

using namespace std::chrono_literals;

// The status of the sweep at `rate`: kSweepRateText with the rate in its place.
std::string RateStatus(const std::string& rate) {
  std::string text = kSweepRateText;
  return text.replace(text.find("%s"), 2, rate);
}

struct Shown {
  std::string text;
  std::string caption;
  link::MsgIcon icon;
};

class Messages : public link::Presenter {
 public:
  link::MsgAnswer ShowMessage(std::string_view text, std::string_view caption, link::MsgIcon icon,
                              link::MsgButtons) override {
    std::lock_guard lock(mutex_);
    shown_.push_back({std::string(text), std::string(caption), icon});
    return link::MsgAnswer::No;
  }
  std::vector<Shown> shown() {
    std::lock_guard lock(mutex_);
    return shown_;
  }

 private:
  std::mutex mutex_;
  std::vector<Shown> shown_;
};

// The program's settings as a probe sees them: short name -> value.
using Settings = std::map<std::string, std::string>;

// Stands in for ProbeLink: records the settings of every attempt and answers as told.
class ScriptedProbe {
 public:
  // `answer` decides from the settings of the attempt; may wait on the cancel event.
  explicit ScriptedProbe(std::function<bool(const Settings&, platform::Event&)> answer)
      : answer_(std::move(answer)) {}

  SetupWorker::Prober prober() {
    return [this](ExchangeEngine& engine, platform::Event* cancel) {
      Settings s;
      for (const auto& p : engine.program_line().parameters) s[p->short_name] = p->value;
      {
        std::lock_guard lock(mutex_);
        attempts_.push_back(s);
      }
      return answer_(s, *cancel);
    };
  }
  std::vector<Settings> attempts() {
    std::lock_guard lock(mutex_);
    return attempts_;
  }
  std::vector<std::string> Rates() {
    std::vector<std::string> r;
    for (const Settings& s : attempts()) r.push_back(s.at("bPS"));
    return r;
  }

 private:
  std::function<bool(const Settings&, platform::Event&)> answer_;
  std::mutex mutex_;
  std::vector<Settings> attempts_;
};

// Answers only at this rate.
ScriptedProbe DeviceAt(std::string rate) {
  return ScriptedProbe([rate](const Settings& s, platform::Event&) { return s.at("bPS") == rate; });
}
// Takes until it is cancelled (or 10 s), then fails.
ScriptedProbe SlowNothing() {
  return ScriptedProbe([](const Settings&, platform::Event& cancel) {
    std::vector<platform::Waitable> w{platform::Signalled(cancel)};
    platform::WaitAny(w, 10s);
    return false;
  });
}

class SetupWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = test::MakeTempFolder();
    ASSERT_FALSE(folder.empty());
    store = std::make_unique<platform::SettingsStore>(folder + "/settings.ini");
    EngineOptions options;
    options.store = store.get();
    options.list_ports = [] { return std::string(); };
    engine = std::make_unique<ExchangeEngine>(options);
    // No real serial port is ever touched unless a test points the settings at vesk-sim.
    engine->program_line().SetValue("Port", folder + "/no-tty");
    link::SetPresenter(&messages);
    link::exit_status.store(0);
  }
  void TearDown() override {
    worker.reset();
    engine.reset();
    sim.reset();
    link::SetPresenter(nullptr);
    link::exit_status.store(0);
    test::RemoveFolder(folder);
  }

  // Opens the dialog; every status the worker or the window shows is kept.
  void Open(bool offline_allowed, SetupWorker::Prober prober = {}) {
    worker = std::make_unique<SetupWorker>(*engine, offline_allowed, std::move(prober));
    SetupWorker* w = worker.get();  // alive until its worker has been joined
    worker->set_on_change([this, w](unsigned changes) {
      std::lock_guard lock(mutex);
      if (changes & kStatusChanged) {
        SetupState s = w->State();
        statuses.push_back(s.alarm ? "!" + s.status : s.status);
      }
      if (changes & kAlarmBeep) ++beeps;
    });
    ASSERT_TRUE(worker->Open());
  }

  std::vector<std::string> Statuses() {
    std::lock_guard lock(mutex);
    return statuses;
  }
  int Beeps() {
    std::lock_guard lock(mutex);
    return beeps;
  }
  // Waits until the dialog has shown `status` (as recorded: "!" first for an alarm) `times`
  // times.
  bool WaitForStatus(const std::string& status, std::chrono::milliseconds limit = 5s,
                     int times = 1) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      int seen = 0;
      for (const std::string& s : Statuses()) seen += s == status;
      if (seen >= times) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }
  std::string Row(const std::string& short_name) {
    for (const SetupRow& r : worker->State().rows)
      if (r.short_name == short_name) return r.value;
    return "<no row>";
  }
  std::string Value(const std::string& short_name) {
    return engine->program_line().GetValue(short_name);
  }

  std::string folder;
  std::unique_ptr<platform::SettingsStore> store;
  std::unique_ptr<ExchangeEngine> engine;
  std::unique_ptr<test::SimProcess> sim;
  std::unique_ptr<SetupWorker> worker;
  Messages messages;
  std::mutex mutex;
  std::vector<std::string> statuses;
  int beeps = 0;
};

// ---------------------------------------------------------------- opening

TEST_F(SetupWorkerTest, OpensWithTheProgramSettingsInTheNodeOrder) {
  engine->program_line().SetValue("bPS", "57600");
  engine->cancel_event.Set();  // left over by an earlier task: the dialog starts afresh
  auto probe = DeviceAt("none");
  Open(false, probe.prober());

  const SetupState s = worker->State();
  std::vector<std::string> names, captions;
  for (const SetupRow& r : s.rows) {
    names.push_back(r.short_name);
    captions.push_back(r.caption);
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{"bPS", "LEn", "PrtY", "Sbit", "A.Len", "Addr", "Port"}));
  EXPECT_EQ(captions.front(), "Скорость обмена");
  EXPECT_EQ(captions.back(), "Порт компьютера");
  EXPECT_EQ(Row("bPS"), "57600");
  EXPECT_TRUE(s.list_enabled);
  EXPECT_FALSE(s.offline_enabled);  // opened from the menu
  EXPECT_EQ(s.outcome, SetupOutcome::Open);
  EXPECT_FALSE(engine->cancel_event.IsSet());
  EXPECT_FALSE(worker->IdleEvent().IsSet());
  EXPECT_FALSE(worker->Open());  // one worker per dialog

  worker->Command(kSetupExit);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Exit);
  EXPECT_TRUE(worker->IdleEvent().IsSet());
  EXPECT_TRUE(probe.attempts().empty());
}

// ---------------------------------------------------------------- connect

TEST_F(SetupWorkerTest, ConnectThatFindsTheDeviceClosesWithOkAfterItsMessage) {
  auto probe = DeviceAt("9600");
  Open(true, probe.prober());
  worker->Command(kSetupConnect);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Connected);

  EXPECT_EQ(Statuses(), (std::vector<std::string>{kConnectingText, kLinkUpText}));
  ASSERT_EQ(messages.shown().size(), 1u);
  EXPECT_EQ(messages.shown()[0].text, kLinkEstablishedText);
  EXPECT_EQ(messages.shown()[0].icon, link::MsgIcon::Information);
  EXPECT_EQ(Beeps(), 0);
  EXPECT_TRUE(engine->modes().auto_read.load());
}

TEST_F(SetupWorkerTest, ConnectThatFailsRaisesTheAlarmAndKeepsTheDialogOpen) {
  auto probe = DeviceAt("none");
  Open(true, probe.prober());
  worker->Command(kSetupConnect);
  ASSERT_TRUE(WaitForStatus(std::string("!") + kLinkFailedText));

  const SetupState s = worker->State();
  EXPECT_TRUE(s.alarm);
  EXPECT_EQ(s.StatusColour(), kStatusAlarmColour);
  EXPECT_TRUE(s.list_enabled);
  EXPECT_EQ(s.outcome, SetupOutcome::Open);
  EXPECT_EQ(Beeps(), 1);

  // A second try with the same result, then leave.
  worker->Command(kSetupConnect);
  ASSERT_TRUE(WaitForStatus(std::string("!") + kLinkFailedText, 5s, 2));
  worker->Command(kSetupExit);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Exit);
  EXPECT_EQ(probe.attempts().size(), 2u);
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(SetupWorkerTest, EnterWithoutALinkClaimsNothing) {
  auto probe = DeviceAt("none");
  Open(true, probe.prober());
  worker->Command(kSetupOk);
  std::this_thread::sleep_for(50ms);
  worker->ServePosted();
  EXPECT_EQ(worker->outcome(), SetupOutcome::Open);
  EXPECT_FALSE(engine->cancel_event.IsSet());
  worker->Command(kSetupExit);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Exit);
  EXPECT_TRUE(messages.shown().empty());
}

// ---------------------------------------------------------------- rate sweep

struct SweepCase {
  const char* name;
  const char* type_text;  // of "bPS"
  const char* before;     // value of "bPS" when the rate sweep starts
  const char* device;     // the rate the device answers at
  std::vector<std::string> tried;
  const char* after;  // value of "bPS" afterwards
  SetupOutcome outcome;
};

class SweepTest : public SetupWorkerTest, public ::testing::WithParamInterface<SweepCase> {};

TEST_P(SweepTest, TriesTheRatesInOrderAndKeepsTheOneThatWorked) {
  const SweepCase& c = GetParam();
  model::ProgramLineSettings& net = engine->program_line();
  net.FindParameter("bPS")->type_text = c.type_text;
  net.SetValue("bPS", c.before);
  auto probe = DeviceAt(c.device);
  Open(true, probe.prober());

  worker->Command(kSetupSweepRates);
  if (c.outcome == SetupOutcome::Connected) {
    EXPECT_EQ(worker->RunModal(), SetupOutcome::Connected);
  } else {
    ASSERT_TRUE(WaitForStatus(std::string("!") + kLinkFailedText));
    // The list is given back just after the status says how the sweep ended.
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (!worker->State().list_enabled && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(worker->State().list_enabled);
  }
  EXPECT_EQ(probe.Rates(), c.tried);
  EXPECT_EQ(Row("bPS"), c.after);
  EXPECT_EQ(Value("bPS"), c.after);

  std::vector<std::string> expected;
  for (const std::string& rate : c.tried) expected.push_back(RateStatus(rate));
  expected.push_back(c.outcome == SetupOutcome::Connected ? kLinkUpText
                                                          : std::string("!") + kLinkFailedText);
  EXPECT_EQ(Statuses(), expected);
}

const std::vector<std::string> kAllRates{"2400",  "4800",  "9600",  "14400", "19200",
                                         "28800", "38400", "57600", "115200"};

INSTANTIATE_TEST_SUITE_P(
    Rates, SweepTest,
    ::testing::Values(
        SweepCase{"FoundAt19200",
                  model::kBaudTypeText,
                  "57600",
                  "19200",
                  {"2400", "4800", "9600", "14400", "19200"},
                  "19200",
                  SetupOutcome::Connected},
        SweepCase{"NothingRestoresTheOldRate", model::kBaudTypeText, "57600", "none", kAllRates,
                  "57600", SetupOutcome::Open},
        SweepCase{"EmptyPieceIsNoRate",
                  "2400::9600",
                  "4800",
                  "9600",
                  {"2400", "9600"},
                  "9600",
                  SetupOutcome::Connected},
        SweepCase{"EmptyListTriesNothing", "", "4800", "4800", {}, "4800", SetupOutcome::Open}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupWorkerTest, SweepOverRawTcpSaysWhyAndTriesNoRate) {
  // Raw TCP leaves the rate to the server: the first rate tried would "answer" and be kept.
  engine->program_line().SetValue("Port", "tcp://127.0.0.1:4001");
  engine->program_line().SetValue("bPS", "57600");
  auto probe = DeviceAt("2400");
  Open(true, probe.prober());
  worker->Command(kSetupSweepRates);
  ASSERT_TRUE(WaitForStatus(std::string("!") + kSweepNoRateText));
  EXPECT_TRUE(probe.Rates().empty());
  EXPECT_EQ(Row("bPS"), "57600");
  EXPECT_EQ(Value("bPS"), "57600");
  EXPECT_TRUE(worker->State().list_enabled);
  worker->Command(kSetupExit);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Exit);
}

TEST_F(SetupWorkerTest, ExitDuringARateSweepStopsAfterTheCurrentProbeAndClosesWithCancel) {
  engine->program_line().SetValue("bPS", "38400");
  auto probe = SlowNothing();
  Open(true, probe.prober());
  worker->Command(kSetupSweepRates);
  ASSERT_TRUE(WaitForStatus(RateStatus("2400")));
  EXPECT_FALSE(worker->State().list_enabled);

  worker->Command(kSetupExit);
  EXPECT_EQ(worker->State().status, kStoppingText);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Exit);

  EXPECT_EQ(probe.Rates(), std::vector<std::string>{"2400"});
  EXPECT_EQ(Value("bPS"), "38400");
  // Stopped by the user: no alarm afterwards.
  EXPECT_EQ(worker->State().status, kStoppingText);
  EXPECT_EQ(Beeps(), 0);
  // The cancel event stays signalled until the next task or dialog resets it.
  EXPECT_TRUE(engine->cancel_event.IsSet());
}

// ---------------------------------------------------------------- offline, exit, cancel

TEST_F(SetupWorkerTest, OfflineIsRefusedWhenOpenedFromTheMenu) {
  auto probe = DeviceAt("none");
  Open(false, probe.prober());
  worker->Command(kSetupOffline);
  EXPECT_FALSE(engine->cancel_event.IsSet());
  EXPECT_EQ(worker->outcome(), SetupOutcome::Open);
  worker->Command(kSetupExit);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Exit);
  EXPECT_TRUE(engine->modes().auto_read.load());
}

TEST_F(SetupWorkerTest, OfflineStopsTheWorkerAndSwitchesAutomaticReadOff) {
  auto probe = SlowNothing();
  Open(true, probe.prober());
  worker->Command(kSetupConnect);
  ASSERT_TRUE(WaitForStatus(kConnectingText));
  worker->Command(kSetupOffline);
  EXPECT_EQ(worker->State().status, kStoppingText);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Offline);
  EXPECT_FALSE(engine->modes().auto_read.load());
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(SetupWorkerTest, CancelFromOutsideEndsTheDialogAsExit) {
  auto probe = DeviceAt("none");
  Open(true, probe.prober());
  engine->cancel_event.Set();
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Exit);
}

TEST_F(SetupWorkerTest, CommandsAfterTheDialogClosedAreIgnored) {
  auto probe = DeviceAt("9600");
  Open(true, probe.prober());
  worker->Command(kSetupExit);
  ASSERT_EQ(worker->RunModal(), SetupOutcome::Exit);
  for (int c : {kSetupConnect, kSetupSweepRates, kSetupFactory, kSetupOffline, kSetupOk})
    worker->Command(c);
  EXPECT_EQ(worker->outcome(), SetupOutcome::Exit);
  EXPECT_TRUE(probe.attempts().empty());
}

TEST_F(SetupWorkerTest, DestroyingTheDialogStopsARunningProbe) {
  auto probe = SlowNothing();
  Open(true, probe.prober());
  worker->Command(kSetupConnect);
  ASSERT_TRUE(WaitForStatus(kConnectingText));
  const auto start = std::chrono::steady_clock::now();
  worker.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

// ---------------------------------------------------------------- factory settings, editing

void SetOddSettings(model::ProgramLineSettings& net) {
  net.SetValue("bPS", "115200");
  net.SetValue("LEn", "7");
  net.SetValue("PrtY", "Четность");
  net.SetValue("Sbit", "2");
  net.SetValue("A.Len", "11");
  net.SetValue("Addr", "300");
  net.SetValue("Port", "/nonexistent/ttyUSB3");
  net.ClearChanges();
}

const Settings kFactory{
    {"bPS", "9600"}, {"LEn", "8"},   {"PrtY", "Отсутствует"},         {"Sbit", "1"},
    {"A.Len", "8"},  {"Addr", "16"}, {"Port", "/nonexistent/ttyUSB3"}};

TEST_F(SetupWorkerTest, FactorySettingsLeaveThePortAloneAndTryTheLinkAtOnce) {
  SetOddSettings(engine->program_line());
  auto probe = DeviceAt("9600");
  Open(true, probe.prober());
  worker->Command(kSetupFactory);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Connected);

  ASSERT_EQ(probe.attempts().size(), 1u);
  EXPECT_EQ(probe.attempts()[0], kFactory);
  for (const SetupRow& r : worker->State().rows) EXPECT_EQ(r.value, kFactory.at(r.short_name));
  for (const auto& p : engine->program_line().parameters)
    EXPECT_FALSE(p->AnyChanged()) << p->short_name;
}

TEST_F(SetupWorkerTest, FactorySettingsDuringARateSweepAreTakenBeforeTheNextTry) {
  SetOddSettings(engine->program_line());
  platform::Event release;
  ScriptedProbe probe([&release](const Settings& s, platform::Event&) {
    if (s.at("LEn") == "7") {  // still the rate sweep with the old settings
      std::vector<platform::Waitable> w{platform::Signalled(release)};
      platform::WaitAny(w, 10s);
      return false;
    }
    return true;
  });
  Open(true, probe.prober());
  worker->Command(kSetupSweepRates);
  ASSERT_TRUE(WaitForStatus(RateStatus("2400")));
  worker->Command(kSetupFactory);
  EXPECT_EQ(Row("LEn"), "7");  // the worker has the list now
  release.Set();
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Connected);

  const std::vector<Settings> attempts = probe.attempts();
  ASSERT_EQ(attempts.size(), 10u);  // nine rates, then the link with the factory values
  EXPECT_EQ(attempts.back(), kFactory);
}

TEST_F(SetupWorkerTest, EditingARowIsValidatedAndRefusedWhileTheWorkerHasTheList) {
  auto probe = SlowNothing();
  Open(true, probe.prober());
  EXPECT_TRUE(worker->EditRow(0, "19200"));
  EXPECT_EQ(Row("bPS"), "19200");
  EXPECT_EQ(Value("bPS"), "19200");
  EXPECT_TRUE(engine->program_line().FindParameter("bPS")->value_changed);
  EXPECT_FALSE(worker->EditRow(5, "sixteen"));  // "Addr" holds a number
  EXPECT_EQ(Row("Addr"), "16");
  EXPECT_FALSE(worker->EditRow(99, "1"));
  // A list row takes one of its items only; the port's row takes any path as well.
  const struct {
    size_t row;
    const char* text;
    bool taken;
  } edits[] = {{0, "abc", false},
               {0, "12345", false},
               {2, "Четность", true},
               {2, "Even", false},
               {6, "/dev/ttyUSB7", true}};
  for (const auto& e : edits) EXPECT_EQ(worker->EditRow(e.row, e.text), e.taken) << e.text;
  EXPECT_EQ(Row("bPS"), "19200");
  const SetupState state = worker->State();
  EXPECT_EQ(state.rows[0].choices.size(), 9u);
  EXPECT_FALSE(state.rows[0].free_text);
  EXPECT_TRUE(state.rows[5].free_text);
  EXPECT_TRUE(state.rows[6].free_text);

  worker->Command(kSetupConnect);
  ASSERT_TRUE(WaitForStatus(kConnectingText));
  for (int i = 0; i < 1000 && worker->State().list_enabled; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_FALSE(worker->EditRow(0, "9600"));
  EXPECT_EQ(Value("bPS"), "19200");
  worker->Command(kSetupExit);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Exit);
}

TEST_F(SetupWorkerTest, NetworkPortsAreTakenWhenWellFormedAndOfferedAgainMostRecentFirst) {
  auto probe = SlowNothing();
  Open(true, probe.prober());
  const struct {
    const char* text;
    bool taken;
  } edits[] = {{"tcp://127.0.0.1:4001", true},   {"tcp://host", false},
               {"rfc2217://h:0", false},         {"tcp://h:70000", false},
               {"rfc2217://ser2net:2000", true}, {"tcp://127.0.0.1:4001", true}};
  for (const auto& e : edits) EXPECT_EQ(worker->EditRow(6, e.text), e.taken) << e.text;
  EXPECT_EQ(Value("Port"), "tcp://127.0.0.1:4001");
  const std::vector<std::string> recent = {"tcp://127.0.0.1:4001", "rfc2217://ser2net:2000"};
  EXPECT_EQ(worker->State().rows[6].choices, recent);
  worker->Command(kSetupExit);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Exit);

  // The next dialog offers them, and saving another network port puts it first; the list
  // keeps the five most recent.
  for (int i = 1; i <= 5; ++i) {
    engine->program_line().SetValue("Port", "tcp://plc" + std::to_string(i) + ":502");
    EXPECT_EQ(engine->program_line().SaveSettings(), 0);
  }
  EXPECT_EQ(store->ReadText(platform::kSettingsKey, "port_path"), "tcp://plc5:502");
  Open(true, probe.prober());
  EXPECT_EQ(worker->State().rows[6].choices,
            (std::vector<std::string>{"tcp://plc5:502", "tcp://plc4:502", "tcp://plc3:502",
                                      "tcp://plc2:502", "tcp://plc1:502"}));
  worker->Command(kSetupExit);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Exit);
}

// ---------------------------------------------------------------- the real probe

class SetupWithSimTest : public SetupWorkerTest {
 protected:
  void StartSim(std::vector<std::string> args) {
    sim = std::make_unique<test::SimProcess>(folder, std::move(args));
    ASSERT_TRUE(sim->Ok()) << sim->error();
    engine->program_line().SetValue("Port", sim->path());
  }
};

TEST_F(SetupWithSimTest, SweepFromTheSlowestRateFindsTheDeviceAt19200) {
  StartSim({"--bps", "19200"});
  engine->program_line().SetValue("bPS", "9600");
  // A whole probe that finds nothing costs about 15 s at 2400 Bd and 9 s at 4800; the order
  // of the full list is the scripted tests' business, the real line's is this.
  engine->program_line().FindParameter("bPS")->type_text = "2400:19200";
  Open(false);
  worker->Command(kSetupSweepRates);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Connected);
  EXPECT_EQ(Row("bPS"), "19200");
  EXPECT_EQ(Value("bPS"), "19200");
  EXPECT_EQ(engine->port().settings().baud_rate, 19200);
  EXPECT_TRUE(engine->port().IsOpen());
  EXPECT_EQ(link::exit_status.load() & 0x48u, 0u);
}

TEST_F(SetupWithSimTest, SweepOverRfc2217SetsEachRateOnTheRemoteLine) {
  if (test::Ser2netPath().empty())
    GTEST_SKIP() << "ser2net is not installed (Debian package ser2net)";
  sim = std::make_unique<test::SimProcess>(folder, std::vector<std::string>{"--bps", "115200"});
  ASSERT_TRUE(sim->Ok()) << sim->error();
  // The server's line starts at 9600; only the rates the sweep sets can reach the device.
  test::Ser2netProcess server(folder, sim->path(), "9600n81");
  ASSERT_TRUE(server.Ok()) << server.error();
  engine->program_line().SetValue("Port", server.Rfc2217Name());
  engine->program_line().SetValue("bPS", "57600");
  engine->program_line().FindParameter("bPS")->type_text = "57600:115200";
  Open(false);
  worker->Command(kSetupSweepRates);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Connected);
  EXPECT_EQ(Row("bPS"), "115200");
  EXPECT_EQ(engine->port().settings().baud_rate, 115200);
}

TEST_F(SetupWithSimTest, SweepThatFindsNothingReopensThePortAtTheOldRate) {
  // The device runs at the old rate but is looked for only at another one.
  StartSim({"--bps", "9600"});
  engine->program_line().SetValue("bPS", "9600");
  engine->program_line().FindParameter("bPS")->type_text = "115200";
  Open(false);
  worker->Command(kSetupSweepRates);
  ASSERT_TRUE(WaitForStatus(std::string("!") + kLinkFailedText, 30s));
  EXPECT_EQ(Row("bPS"), "9600");
  EXPECT_EQ(engine->port().settings().baud_rate, 9600);
  EXPECT_EQ(link::exit_status.load(), 0x04u);
  // Still usable at the rate the dialog shows.
  worker->Command(kSetupConnect);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Connected);
}

TEST_F(SetupWithSimTest, FactorySettingsReachADeviceAtTheFactoryNetwork) {
  StartSim({"--bps", "9600", "--addr", "16"});
  engine->program_line().SetValue("bPS", "115200");
  engine->program_line().SetValue("Addr", "20");
  Open(true);
  worker->Command(kSetupFactory);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Connected);
  EXPECT_EQ(engine->port().settings().baud_rate, 9600);
  EXPECT_EQ(engine->port().settings().device_address, 16);
  EXPECT_EQ(engine->port().settings().port_name, sim->path());
}

// The window's side of polling: keeps whether each poll brought a value.
class PollOutcomes : public PollSink {
 public:
  void OnPollResult(std::unique_ptr<PollSample> sample) override {
    std::lock_guard lock(mutex_);
    answered_.push_back(sample->error_text.empty());
  }
  // Whether a poll has brought a value since `after` polls.
  bool AnsweredAfter(size_t after) {
    std::lock_guard lock(mutex_);
    for (size_t i = after; i < answered_.size(); ++i)
      if (answered_[i]) return true;
    return false;
  }
  size_t count() {
    std::lock_guard lock(mutex_);
    return answered_.size();
  }

 private:
  std::mutex mutex_;
  std::vector<bool> answered_;
};

TEST_F(SetupWithSimTest, SweepBesidePollingAndTheStatusBarFindsTheDeviceAndPollingGoesOn) {
  StartSim({"--bps", "19200"});
  engine->program_line().SetValue("bPS", "9600");
  engine->program_line().FindParameter("bPS")->type_text = "9600:19200";
  engine->port().set_converter_mode(link::kConverterAuto);
  ASSERT_EQ(engine->OpenPort(false), link::kOpenOk);
  auto trees = polling_test::LoadTrees();
  ASSERT_TRUE(trees && trees->pollers);
  ASSERT_EQ(PreparePolling(*trees->pollers), 0);
  link::Parameter* polled = CollectPolled(trees->pollers.get()).front();
  polled->poll_period = 100;
  PollOutcomes polls;
  Poller poller(*engine);
  poller.SetSink(&polls);
  ASSERT_EQ(StartPolling(*polled), kPollDone);
  ASSERT_EQ(poller.StartPollerThread(trees->pollers.get()), 0);
  // The status bar reads the settings while the sweep writes them.
  std::atomic<bool> showing{true};
  std::thread status_bar([&] {
    while (showing.load()) {
      link::PortSettings line;
      engine->program_line().ToPortSettings(line);
      EXPECT_TRUE(line.baud_rate == 9600 || line.baud_rate == 19200) << line.baud_rate;
      std::this_thread::sleep_for(2ms);
    }
  });

  Open(false);
  worker->Command(kSetupSweepRates);
  EXPECT_EQ(worker->RunModal(), SetupOutcome::Connected);
  const size_t before = polls.count();
  const auto limit = std::chrono::steady_clock::now() + 5s;
  while (!polls.AnsweredAfter(before) && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(10ms);
  showing.store(false);
  status_bar.join();
  engine->StopThreads();
  EXPECT_TRUE(polls.AnsweredAfter(before));
  EXPECT_EQ(Value("bPS"), "19200");
}

}  // namespace
}  // namespace vesk::exchange
