// Read all of the VESK tree from vesk-sim --line-timing, automatic converter, and compare
// the wall time with the time the frames take on the line. Counters:
//   line_ratio  wall time / line time of every frame exchanged (requests and replies,
//               10 bits a character as the line is set: 8 data bits, no parity, 1 stop)
//   pty_ratio   wall time / the time the simulator really spends: the replies' line time
//               and its turnaround per reply (a pseudo-terminal carries requests at once)
//   cpu_share   CPU time of this process (every thread) / wall time
//   frames      frames exchanged per read
// The second argument puts an observer on the line: 0 none, 1 a trace file (--trace),
// 2 a bounded queue emptied every 100 ms into a ring, as the window's traffic panel does.
//
// BM_ReadAllRudeLine reads the same against a rude line, the second argument naming it:
// 0 polite, 1 --echo, 2 --noise 0.2, 3 --stray 0.1. Its counter vs_polite is the wall
// time over that of the polite line at the same speed in the same run (run first).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/line_trace_file.h"
#include "exchange/exchange_engine.h"
#include "link/line_event_queue.h"
#include "link/line_stats.h"
#include "link/serial_port.h"
#include "model/description_loader.h"
#include "platform/settings_store.h"

extern char** environ;

namespace {

using namespace vesk;

constexpr double kBitsPerChar = 10;
constexpr double kTurnaroundMs = 1;  // vesk-sim's default

std::string TreePath() {
  if (const char* env = std::getenv("VESK_TREE_DAT"); env && *env) return env;
  return std::string(VESK_BIN_DIR) + "/vesk.tree.dat";
}

// vesk-sim on a pseudo-terminal, ended with SIGTERM.
struct Sim {
  pid_t pid = -1;
  int out = -1;
  std::string path;

  Sim(int baud, const std::string& trace, const std::vector<std::string>& extra = {}) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<std::string> args{std::string(VESK_BIN_DIR) + "/vesk-sim",
                                  "--line-timing",
                                  "--bps",
                                  std::to_string(baud),
                                  "--input-ms",
                                  "0",
                                  "--trace",
                                  trace,
                                  "--tree",
                                  TreePath()};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out = fds[0];
    for (char c; pid > 0;) {
      pollfd p{out, POLLIN, 0};
      if (::poll(&p, 1, 10000) <= 0 || ::read(out, &c, 1) != 1 || c == '\n') break;
      path += c;
    }
  }
  ~Sim() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
    if (out >= 0) ::close(out);
  }
};

// Characters of the frames in the trace: all of them, and those the simulator sent.
struct TraceCount {
  long frames = 0;
  long chars = 0;
  long reply_frames = 0;
  long reply_chars = 0;
};

long QuotedLength(const std::string& line) {
  const size_t open = line.find('"');
  if (open == std::string::npos) return 0;
  long n = 0;
  for (size_t i = open + 1; i < line.size() && line[i] != '"'; ++i, ++n) {
    if (line[i] != '\\' || i + 1 >= line.size()) continue;
    i += line[i + 1] == 'x' ? 3 : 1;  // \xHH, or \r \n \\ \"
  }
  return n;
}

TraceCount CountTrace(const std::string& path) {
  TraceCount c;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const bool rx = line.find(" RX ") != std::string::npos;
    const bool tx = line.find(" TX ") != std::string::npos;
    if (!rx && !tx) continue;
    const long n = QuotedLength(line);
    if (n == 0) continue;
    ++c.frames;
    c.chars += n;
    if (tx) {
      ++c.reply_frames;
      c.reply_chars += n;
    }
  }
  return c;
}

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_ReadAll(benchmark::State& state) {
  const int baud = static_cast<int>(state.range(0));
  const int observer = static_cast<int>(state.range(1));
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("vesk-bench-" + std::to_string(::getpid())))
          .string();
  std::filesystem::create_directories(folder);
  const std::string trace = folder + "/trace.txt";
  double wall = 0, cpu = 0;
  int reads = 0;
  {
    Sim sim(baud, trace);
    if (sim.path.empty()) {
      state.SkipWithError("vesk-sim did not start");
      return;
    }
    platform::SettingsStore store(folder + "/settings.ini");
    exchange::EngineOptions options;
    options.store = &store;
    options.list_ports = [] { return std::string(); };
    exchange::ExchangeEngine engine(options);
    engine.SetLinger(std::chrono::milliseconds(0));
    engine.program_line().SetValue("Port", sim.path);
    engine.program_line().SetValue("bPS", std::to_string(baud));
    engine.port().set_converter_mode(link::kConverterAuto);
    if (engine.OpenPort(false) != link::kOpenOk || engine.StartTransmitThread() != 0) {
      state.SkipWithError("no port or no exchange thread");
      return;
    }
    app::LineTraceFile trace_file;
    link::LineEventQueue queue(10000);
    std::atomic<bool> draining{true};
    std::thread drainer;
    if (observer == 1) {
      std::string error;
      trace_file.Open(folder + "/line.trace", error);
      engine.AddObserver(&trace_file);
    } else if (observer == 2) {
      engine.AddObserver(&queue);
      drainer = std::thread([&] {
        std::deque<link::LineEvent> ring;
        std::vector<link::LineEvent> taken;
        while (draining.load()) {
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
          taken.clear();
          queue.TakeAll(taken);
          for (auto& e : taken) {
            ring.push_back(std::move(e));
            if (ring.size() > 100000) ring.pop_front();
          }
        }
      });
    }
    model::DescriptionTree tree;
    if (model::LoadDescriptionFrom(TreePath(), 3, tree) != model::DescriptionStatus::Built) {
      state.SkipWithError("no description");
      return;
    }
    for (auto _ : state) {
      state.PauseTiming();
      tree.root->ResetValues();
      state.ResumeTiming();
      const double cpu0 = CpuSeconds();
      const auto t0 = std::chrono::steady_clock::now();
      engine.RunTask(tree.root.get(), exchange::kTaskReadAll);
      wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      cpu += CpuSeconds() - cpu0;
      ++reads;
    }
    engine.StopThreads();
    draining.store(false);
    if (drainer.joinable()) drainer.join();
    engine.RemoveObserver(&trace_file);
    engine.RemoveObserver(&queue);
  }  // the simulator ends here and its trace is complete
  const TraceCount c = CountTrace(trace);
  std::filesystem::remove_all(folder);
  if (reads == 0 || c.frames == 0) return;
  const double line = c.chars * kBitsPerChar / baud;
  const double device = c.reply_chars * kBitsPerChar / baud + c.reply_frames * kTurnaroundMs / 1000;
  state.counters["frames"] = static_cast<double>(c.frames) / reads;
  state.counters["line_s"] = line / reads;
  state.counters["wall_s"] = wall / reads;
  state.counters["line_ratio"] = wall / line;
  state.counters["pty_ratio"] = wall / device;
  state.counters["cpu_share"] = cpu / wall;
}

const std::vector<std::vector<std::string>> kRudeLines = {
    {}, {"--echo"}, {"--noise", "0.2", "--seed", "7"}, {"--stray", "0.1", "--seed", "7"}};

void BM_ReadAllRudeLine(benchmark::State& state) {
  static std::map<int, double> polite_wall_s;
  const int baud = static_cast<int>(state.range(0));
  const auto line = static_cast<size_t>(state.range(1));
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("vesk-bench-rude-" + std::to_string(::getpid())))
          .string();
  std::filesystem::create_directories(folder);
  double wall = 0;
  int reads = 0;
  uint64_t requests = 0, noise = 0, stray = 0, retries = 0;
  {
    Sim sim(baud, folder + "/trace.txt", kRudeLines.at(line));
    if (sim.path.empty()) {
      state.SkipWithError("vesk-sim did not start");
      return;
    }
    platform::SettingsStore store(folder + "/settings.ini");
    exchange::EngineOptions options;
    options.store = &store;
    options.list_ports = [] { return std::string(); };
    exchange::ExchangeEngine engine(options);
    engine.SetLinger(std::chrono::milliseconds(0));
    engine.program_line().SetValue("Port", sim.path);
    engine.program_line().SetValue("bPS", std::to_string(baud));
    engine.port().set_converter_mode(link::kConverterAuto);
    link::LineStats stats;
    engine.AddObserver(&stats);
    model::DescriptionTree tree;
    if (engine.OpenPort(false) != link::kOpenOk || engine.StartTransmitThread() != 0 ||
        model::LoadDescriptionFrom(TreePath(), 3, tree) != model::DescriptionStatus::Built) {
      state.SkipWithError("no port, exchange thread or description");
      return;
    }
    for (auto _ : state) {
      state.PauseTiming();
      tree.root->ResetValues();
      state.ResumeTiming();
      const auto t0 = std::chrono::steady_clock::now();
      engine.RunTask(tree.root.get(), exchange::kTaskReadAll);
      wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      ++reads;
    }
    engine.StopThreads();
    engine.RemoveObserver(&stats);
    const link::LineCounters c = stats.Snapshot();
    requests = c.requests;
    noise = c.noise;
    stray = c.stray_replies;
    retries = c.retries;
  }
  std::filesystem::remove_all(folder);
  if (reads == 0) return;
  const double per_read = wall / reads;
  if (line == 0) polite_wall_s[baud] = per_read;
  state.counters["wall_s"] = per_read;
  if (polite_wall_s.count(baud)) state.counters["vs_polite"] = per_read / polite_wall_s[baud];
  state.counters["requests"] = static_cast<double>(requests) / reads;
  state.counters["retries"] = static_cast<double>(retries) / reads;
  state.counters["noise"] = static_cast<double>(noise) / reads;
  state.counters["stray"] = static_cast<double>(stray) / reads;
}

BENCHMARK(BM_ReadAllRudeLine)
    ->ArgsProduct({{9600, 115200}, {0, 1, 2, 3}})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(BM_ReadAll)
    ->ArgsProduct({{9600, 115200}, {0, 1, 2}})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
