// vesk_soak: the configurator's exchange engine kept busy against one device for a long
// time, as the window keeps it busy: every operative parameter polled on its timer while
// read-all tasks follow one another. It reports its own memory and what it exchanged, one
// line per report interval, and ends with a summary line; scripts/soak.sh reads them.
//
//   vesk_soak --port PATH [--seconds N] [--report-seconds N] [--period-ms N]
//
// Exit codes: 0 done; 1 bad arguments; 2 the engine could not be set up; 3 a task did not
// end within the hang limit (the process then ends without waiting for its threads).

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "exchange/exchange_engine.h"
#include "exchange/headless_progress.h"
#include "exchange/polling.h"
#include "exchange/task_codes.h"
#include "link/port_settings.h"
#include "link/presenter.h"
#include "link/serial_port.h"
#include "model/description_container.h"
#include "model/description_loader.h"
#include "platform/settings_store.h"

namespace {

using Clock = std::chrono::steady_clock;

// A task that has not ended after this long is a hang: a read of the whole tree needs a
// few seconds even when every request runs out of attempts before the streak stops it.
constexpr auto kHangLimit = std::chrono::seconds(120);

struct Options {
  std::string port;
  int seconds = 60;
  int report_seconds = 10;
  int period_ms = 200;
};

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

// Counts the lines of the tasks; the engine's headless window does the rest.
class CountingProgress : public vesk::exchange::ProgressSink {
 public:
  bool Run(int code, std::string_view caption, int range,
           const std::function<void()>& opened) override {
    return inner_.Run(code, caption, range, opened);
  }
  void Log(const vesk::exchange::ProgressLine& line) override {
    if (line.text.rfind("  Чтение: ", 0) == 0) reads.fetch_add(1);
    inner_.Log(line);
  }
  void ScrollToBottom() override {}
  bool Close() override { return inner_.Close(); }
  void TaskEnded() override { inner_.TaskEnded(); }

  std::atomic<long> reads{0};

 private:
  vesk::exchange::HeadlessProgress inner_;
};

class CountingSink : public vesk::exchange::PollSink {
 public:
  void OnPollResult(std::unique_ptr<vesk::exchange::PollSample> sample) override {
    (sample->error_text.empty() ? values : errors).fetch_add(1);
  }
  std::atomic<long> values{0};
  std::atomic<long> errors{0};
};

// Messages (the five-failures notice among them) are counted, not shown.
class CountingPresenter : public vesk::link::Presenter {
 public:
  vesk::link::MsgAnswer ShowMessage(std::string_view, std::string_view, vesk::link::MsgIcon,
                                    vesk::link::MsgButtons) override {
    shown.fetch_add(1);
    return vesk::link::MsgAnswer::No;
  }
  std::atomic<int> shown{0};
};

bool Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!value) return false;
    if (a == "--port")
      o.port = value;
    else if (a == "--seconds")
      o.seconds = std::atoi(value);
    else if (a == "--report-seconds")
      o.report_seconds = std::atoi(value);
    else if (a == "--period-ms")
      o.period_ms = std::atoi(value);
    else
      return false;
    ++i;
  }
  return !o.port.empty() && o.seconds > 0 && o.report_seconds > 0 &&
         o.period_ms >= vesk::exchange::kMinPollPeriodMs;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vesk;
  Options o;
  if (!Parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: vesk_soak --port PATH [--seconds N] [--report-seconds N] "
                 "[--period-ms N]\n");
    return 1;
  }
  CountingPresenter presenter;
  link::SetPresenter(&presenter);

  model::DescriptionTree tree;
  if (model::LoadDescription(model::kVeskDeviceKind, tree) != model::DescriptionStatus::Built ||
      !tree.root || !tree.pollers) {
    std::fprintf(stderr, "vesk_soak: the description builds no tree\n");
    return 2;
  }
  // The program's settings in a file of this run, not the user's.
  char settings_path[] = "/tmp/vesk-soak-XXXXXX";
  const int settings_fd = ::mkstemp(settings_path);
  if (settings_fd >= 0) ::close(settings_fd);
  platform::SettingsStore store(settings_path);
  CountingProgress progress;
  CountingSink sink;
  long tasks = 0;
  long refused = 0;  // tasks the engine would not start
  {
    exchange::EngineOptions options;
    options.store = &store;
    options.list_ports = [] { return std::string(); };
    exchange::ExchangeEngine engine(options);
    link::PortSettings settings;
    settings.port_name = o.port;
    settings.baud_rate = 115200;
    engine.program_line().FromPortSettings(settings);
    engine.port().set_converter_mode(link::kConverterAuto);
    engine.SetProgressSink(&progress);
    engine.SetLinger(std::chrono::milliseconds(0));
    if (engine.OpenPort(false) != link::kOpenOk) {
      std::fprintf(stderr, "vesk_soak: cannot open %s: %s\n", o.port.c_str(),
                   std::strerror(engine.port().last_errno()));
      ::unlink(settings_path);
      return 2;
    }
    if (engine.StartTransmitThread() != 0) {
      std::fprintf(stderr, "vesk_soak: the exchange thread does not start\n");
      ::unlink(settings_path);
      return 2;
    }
    exchange::Poller poller(engine);
    poller.SetSink(&sink);
    for (link::Parameter* p : exchange::CollectPolled(tree.pollers.get())) {
      p->poll_period = o.period_ms;
    }
    if (poller.StartPollerThread(tree.pollers.get()) != 0) {
      ::unlink(settings_path);
      return 2;
    }
    for (link::Parameter* p : exchange::CollectPolled(tree.pollers.get()))
      exchange::StartPolling(*p);

    // Ends the process when a task stops coming back.
    std::atomic<int64_t> last_task_end{Clock::now().time_since_epoch().count()};
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
      while (!done.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const Clock::time_point last{Clock::duration(last_task_end.load())};
        if (!done.load() && Clock::now() - last > kHangLimit) {
          std::printf("soak hang: no task ended for %lld s\n",
                      static_cast<long long>(kHangLimit.count()));
          std::fflush(stdout);
          ::unlink(settings_path);
          std::_Exit(3);
        }
      }
    });

    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::seconds(o.seconds);
    Clock::time_point next_report = start;
    auto report = [&](const char* what) {
      const double t = std::chrono::duration<double>(Clock::now() - start).count();
      std::printf(
          "soak %s t=%.0f rss_kb=%ld tasks=%ld refused=%ld task_reads=%ld polls=%ld "
          "poll_errors=%ld messages=%d\n",
          what, t, ResidentKilobytes(), tasks, refused, progress.reads.load(), sink.values.load(),
          sink.errors.load(), presenter.shown.load());
      std::fflush(stdout);
    };
    while (Clock::now() < end) {
      if (Clock::now() >= next_report) {
        report("at");
        next_report += std::chrono::seconds(o.report_seconds);
      }
      if (!engine.RunTask(tree.root.get(), exchange::kTaskReadAll)) {
        ++refused;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        continue;
      }
      ++tasks;
      last_task_end.store(Clock::now().time_since_epoch().count());
    }
    engine.StopThreads();
    report("end");
    done.store(true);
    watchdog.join();
  }
  link::SetPresenter(nullptr);
  ::unlink(settings_path);
  return 0;
}
