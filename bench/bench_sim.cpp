// The simulator as the configurator meets it: vesk-sim started as a process, DeviceLink
// on its pseudo-terminal at 115200 baud, automatic converter (one write per frame).
//   BM_SimFrames      frames per second without line timing (items_per_second)
//   BM_SimLineTiming  with --line-timing: measured time per exchange against the line
//                     time the simulator models (reply characters at 115200 baud plus
//                     the 1 ms turnaround), as the counter "ratio"

#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/device_link.h"
#include "link/frame_codec.h"

extern char** environ;

namespace {

using namespace vesk::link;

constexpr int kBaud = 115200;

class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string binary = VESK_BIN_DIR "/vesk-sim";
    std::vector<char*> argv{binary.data()};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (!std::getenv("VESK_TREE_DAT")) setenv("VESK_TREE_DAT", VESK_BIN_DIR "/vesk.tree.dat", 1);
    if (posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    FILE* f = fdopen(out[0], "r");
    char line[256] = {};
    if (f && fgets(line, sizeof line, f)) path_ = line;
    if (!path_.empty() && path_.back() == '\n') path_.pop_back();
    if (f) fclose(f);
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& path() const { return path_; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

bool open_link(DeviceLink& link, const std::string& path) {
  link.set_command_line_run(true);
  link.port().set_converter_mode(kConverterAuto);
  PortSettings& s = link.port().settings();
  s.port_name = path;
  s.baud_rate = kBaud;
  return link.OpenPort(false) == kOpenOk;
}

// One frame each way: a read of "dev".
bool read_dev(DeviceLink& link, int& reply_count) {
  static const uint16_t hash = NameHash("dev");
  ReplyData reply;
  std::string error;
  return link.Transact(true, hash, nullptr, 0, reply, reply_count, error, 0);
}

void run(benchmark::State& state, std::vector<std::string> args, bool line_timing) {
  SimProcess sim(std::move(args));
  DeviceLink link;
  if (sim.path().empty() || !open_link(link, sim.path())) {
    state.SkipWithError("cannot start vesk-sim");
    return;
  }
  int reply_count = 0;
  if (!read_dev(link, reply_count)) {
    state.SkipWithError("vesk-sim does not answer");
    return;
  }
  int64_t failures = 0;
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) failures += !read_dev(link, reply_count);
  double elapsed_ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  state.SetItemsProcessed(state.iterations());
  state.counters["failures"] = static_cast<double>(failures);
  if (line_timing) {
    const double char_ms = 10.0 * 1000.0 / kBaud;  // 8N1
    const int reply_chars = 2 * (reply_count + 6) + 2;
    const double modelled = reply_chars * char_ms + 1.0;
    const double with_request = (reply_chars + 14) * char_ms + 1.0;
    const double per_exchange = elapsed_ms / static_cast<double>(state.iterations());
    state.counters["ms_per_exchange"] = per_exchange;
    state.counters["line_ms"] = modelled;
    state.counters["ratio"] = per_exchange / modelled;
    state.counters["ratio_with_request"] = per_exchange / with_request;
  }
}

void BM_SimFrames(benchmark::State& state) {
  run(state, {"--bps", std::to_string(kBaud)}, false);
}
BENCHMARK(BM_SimFrames)->UseRealTime()->MinTime(2.0);

void BM_SimLineTiming(benchmark::State& state) {
  run(state, {"--bps", std::to_string(kBaud), "--line-timing"}, true);
}
BENCHMARK(BM_SimLineTiming)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
