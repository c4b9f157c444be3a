// The link probe against vesk-sim on a pseudo-terminal: the device found by its name or by
// one of the foreign protocols, a device of another kind, nothing on the line, a port
// that cannot be opened, silent runs and an early stop; the exit status after each.

#include "exchange/link_probe.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "exchange/exchange_engine.h"
#include "link/exit_status.h"
#include "link/frame_codec.h"
#include "link/port_settings.h"
#include "link/presenter.h"
#include "link/serial_port.h"
#include "platform/event.h"
#include "platform/settings_store.h"
#include "sim_process.h"

namespace vesk::exchange {
namespace {

using namespace std::chrono_literals;

class Messages : public link::Presenter {
 public:
  link::MsgAnswer ShowMessage(std::string_view text, std::string_view caption, link::MsgIcon,
                              link::MsgButtons) override {
    std::lock_guard lock(mutex_);
    shown_.push_back(std::string(caption) + ": " + std::string(text));
    return link::MsgAnswer::No;
  }
  std::vector<std::string> shown() {
    std::lock_guard lock(mutex_);
    return shown_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> shown_;
};

class ProbeLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = test::MakeTempFolder();
    ASSERT_FALSE(folder.empty());
    store = std::make_unique<platform::SettingsStore>(folder + "/settings.ini");
    EngineOptions options;
    options.store = store.get();
    options.list_ports = [] { return std::string(); };
    engine = std::make_unique<ExchangeEngine>(options);
    link::SetPresenter(&messages);
    link::exit_status.store(0);
  }
  void TearDown() override {
    engine.reset();
    sim.reset();
    link::SetPresenter(nullptr);
    link::exit_status.store(0);
    test::RemoveFolder(folder);
  }

  // vesk-sim with `args`, the program's settings pointed at it at `baud`.
  void StartSim(std::vector<std::string> args, int baud) {
    sim = std::make_unique<test::SimProcess>(folder, std::move(args));
    ASSERT_TRUE(sim->Ok()) << sim->error();
    PointAt(sim->path(), baud);
  }
  void PointAt(const std::string& path, int baud) {
    link::PortSettings s;
    s.port_name = path;
    s.baud_rate = baud;
    engine->program_line().FromPortSettings(s);
  }

  std::string folder;
  std::unique_ptr<platform::SettingsStore> store;
  std::unique_ptr<ExchangeEngine> engine;
  std::unique_ptr<test::SimProcess> sim;
  Messages messages;
};

TEST_F(ProbeLinkTest, FindsTheDeviceByNameAndClearsItsOwnStatusBits) {
  StartSim({"--bps", "115200"}, 115200);
  link::exit_status.store(0x4A);
  EXPECT_TRUE(ProbeLink(*engine));
  // The port opened (0x02 gone) and "dev" answered (0x08, 0x40 gone).
  EXPECT_EQ(link::exit_status.load(), 0u);
  EXPECT_EQ(engine->port().converter_mode(), link::kConverterAuto);
  EXPECT_EQ(engine->port().settings().port_name, sim->path());
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(ProbeLinkTest, SuccessLeavesBitsOfOtherFailuresAlone) {
  // Only 0x08 and 0x40 are the check's to clear; an error reply recorded before stays.
  StartSim({"--bps", "115200"}, 115200);
  link::exit_status.store(0x10);
  EXPECT_TRUE(ProbeLink(*engine));
  EXPECT_EQ(link::exit_status.load(), 0x10u);
}

class ProbeProtocolTest : public ProbeLinkTest,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(ProbeProtocolTest, DeviceAnsweringOnlyAProbeProtocolCountsAsFound) {
  StartSim({"--bps", "115200", "--protocol", GetParam()}, 115200);
  link::exit_status.store(0x40);
  EXPECT_TRUE(ProbeLink(*engine));
  // "dev" timed out (0x04), the probe answered: both bits and 0x40 are cleared.
  EXPECT_EQ(link::exit_status.load(), 0u);
  EXPECT_EQ(engine->line_state().condition(), LineCondition::kConnected);
  // The first try of the answering protocol went through the automatic converter.
  EXPECT_EQ(engine->port().converter_mode(), link::kConverterAuto);
}

INSTANTIATE_TEST_SUITE_P(Protocols, ProbeProtocolTest,
                         ::testing::Values("modbus-rtu", "modbus-ascii", "dcon"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

TEST_F(ProbeLinkTest, DeviceOfAnotherKindIsNotFoundAndLeavesStatus0x40) {
  StartSim({"--bps", "115200", "--dev", "TRM-12"}, 115200);
  link::exit_status.store(0x10);
  EXPECT_FALSE(ProbeLink(*engine));
  EXPECT_EQ(link::exit_status.load(), 0x40u);
  EXPECT_EQ(engine->port().converter_mode(), link::kConverterSemiAuto);
  // Two rounds, each asking "dev" through both converter modes.
  EXPECT_EQ(sim->CountReceived([] {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", link::NameHash("dev"));
    return std::string(hex);
  }()),
            4);
}

TEST_F(ProbeLinkTest, NothingAnsweringFailsWithTheTimeOutRecorded) {
  // The device runs at another rate, so it stays silent.
  StartSim({"--bps", "9600"}, 115200);
  EXPECT_FALSE(ProbeLink(*engine));
  EXPECT_EQ(link::exit_status.load(), 0x04u);
  EXPECT_EQ(engine->port().converter_mode(), link::kConverterSemiAuto);
  // The status bar tells what the probe found: no answer, not a link.
  EXPECT_EQ(engine->line_state().condition(), LineCondition::kNoAnswer);
  EXPECT_EQ(engine->line_state().failures(), engine->line_state().requests());
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(ProbeLinkTest, ReadsOfAnotherThreadWaitForTheProbeAndNeverTakeItsAnswer) {
  // The device speaks only Modbus RTU: no LORN read may succeed, whenever it is made.
  StartSim({"--bps", "115200", "--protocol", "modbus-rtu"}, 115200);
  ASSERT_EQ(engine->OpenPort(false), link::kOpenOk);
  std::atomic<bool> probing{true};
  std::atomic<int> reads{0}, answered{0};
  std::thread poller([&] {
    link::Parameter dev("dev");
    while (probing.load()) {
      ++reads;
      if (engine->Exchange(link::kOpRead, &dev) == link::kExchangeOk) ++answered;
    }
  });
  // A few probes, so that the reads meet each of their steps.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(ProbeLink(*engine));
  probing.store(false);
  poller.join();
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(answered.load(), 0);
}

TEST_F(ProbeLinkTest, PortThatCannotBeOpenedFailsWithItsMessageAtEveryAttempt) {
  PointAt(folder + "/no-such-tty", 9600);
  engine->port().set_converter_mode(link::kConverterAuto);
  EXPECT_FALSE(ProbeLink(*engine));
  EXPECT_FALSE(ProbeLink(*engine));
  EXPECT_EQ(link::exit_status.load(), 0x02u);
  EXPECT_EQ(messages.shown().size(), 2u);
  EXPECT_EQ(engine->port().converter_mode(), link::kConverterSemiAuto);
}

TEST_F(ProbeLinkTest, SilentRunOpensNothingAndFailsAtOnce) {
  StartSim({"--bps", "115200"}, 115200);
  engine->set_silent(true);
  EXPECT_FALSE(ProbeLink(*engine));
  EXPECT_FALSE(engine->port().IsOpen());
  EXPECT_EQ(link::exit_status.load(), 0u);
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(ProbeLinkTest, CancelDuringASlowProbeStopsWithinOneExchange) {
  // At 2400 Bd a whole probe that finds nothing takes many seconds.
  StartSim({"--bps", "9600"}, 2400);
  platform::Event cancel;
  std::thread canceller([&] {
    std::this_thread::sleep_for(300ms);
    cancel.Set();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ProbeLink(*engine, &cancel));
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(engine->port().converter_mode(), link::kConverterSemiAuto);
}

// A line that answers "dev" as another device but echoes the Modbus RTU probe: the status
// 0x40 of the first step is cleared by the later success.
class TwoFacedPeer {
 public:
  TwoFacedPeer() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    path_ = ::ptsname(master_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TwoFacedPeer() {
    stop_.Set();
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) ::close(master_);
  }
  const std::string& path() const { return path_; }
  int lorn_answers() const { return lorn_answers_.load(); }

 private:
  void Serve() {
    std::string buffer;
    for (;;) {
      pollfd fds[2] = {{master_, POLLIN, 0}, {stop_.fd(), POLLIN, 0}};
      if (::poll(fds, 2, 20) < 0 || (fds[1].revents & POLLIN)) return;
      // No terminal side open (the link re-opens the port): nothing to read yet.
      if (fds[0].revents & (POLLHUP | POLLERR)) {
        std::this_thread::sleep_for(5ms);
        continue;
      }
      if (fds[0].revents & POLLIN) {
        char chunk[64];
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n > 0) buffer.append(chunk, static_cast<size_t>(n));
        continue;
      }
      // A pause: the request is complete.
      if (buffer.empty()) continue;
      std::string reply;
      if (buffer[0] == '#') {
        const std::string name = "TRM-12";
        link::RequestFrame f;
        // As a device does, with the request flag of the reads it answers.
        link::BuildRequest(true, link::NameHash("dev"),
                           reinterpret_cast<const uint8_t*>(name.data()),
                           static_cast<int>(name.size()), {16, 8, 0}, f);
        reply = std::string(f.Text());
        ++lorn_answers_;
      } else if (static_cast<uint8_t>(buffer[0]) == 16 && buffer.size() == 8) {
        reply = buffer;  // Modbus RTU: the device echoes the request
      }
      buffer.clear();
      if (!reply.empty()) (void)::write(master_, reply.data(), reply.size());
    }
  }

  int master_ = -1;
  std::string path_;
  platform::Event stop_;
  std::atomic<int> lorn_answers_{0};
  std::thread thread_;
};

TEST_F(ProbeLinkTest, LaterProbeProtocolSuccessClearsTheOtherDeviceStatus) {
  TwoFacedPeer peer;
  ASSERT_FALSE(peer.path().empty());
  PointAt(peer.path(), 115200);
  EXPECT_TRUE(ProbeLink(*engine));
  // "dev" and "ver" through both converter modes met the other device.
  EXPECT_EQ(peer.lorn_answers(), 4);
  EXPECT_EQ(link::exit_status.load(), 0u);
}

}  // namespace
}  // namespace vesk::exchange
