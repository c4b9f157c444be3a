// vesk-sim: a VESK device on a pseudo-terminal or a serial port, for trying the
// configurator without hardware and for every end-to-end test, demo and benchmark.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "description_source.h"
#include "device.h"
#include "device_store.h"
#include "line.h"
#include "sim_options.h"
#include "simulator.h"
#include "state_file.h"
#include "trace_log.h"

using namespace vesk::sim;

namespace {

int fail(const std::string& text, int code = 1) {
  std::fprintf(stderr, "vesk-sim: %s\n", text.c_str());
  return code;
}

// SIGTERM and SIGINT arrive through a descriptor the serving loop waits on, so a stop
// is taken between frames and the dump and state are still written.
int stop_signals_fd() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
  return signalfd(-1, &set, SFD_CLOEXEC);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  ParseResult parsed = parse_options(args);
  if (!parsed.ok) return fail(parsed.error, 2);
  const SimOptions& options = parsed.options;
  if (options.help) {
    std::fputs(help_text().c_str(), stdout);
    return 0;
  }
  signal(SIGPIPE, SIG_IGN);
  // Answers timed to the line should not wake the default 50 us late.
  if (options.lineTiming) prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
  int stop_fd = stop_signals_fd();
  if (stop_fd < 0)
    return fail(std::string("cannot take the stop signals: ") + std::strerror(errno));

  std::vector<ParameterSpec> specs;
  std::string error;
  if (!load_specs(options.treePath, specs, error)) return fail(error);
  std::vector<std::string> warnings;
  DeviceStore store = DeviceStore::build(specs, warnings);

  const auto start = std::chrono::steady_clock::now();
  Device device(std::move(store), options, start);
  if (!options.statePath.empty() && !load_state(options.statePath, device, start, error, warnings))
    return fail(error);
  for (const std::string& w : warnings) std::fprintf(stderr, "vesk-sim: %s\n", w.c_str());
  device.power_on(options, start);
  if (device.network().addressBits == 8 && device.network().address > 255)
    return fail("address " + std::to_string(device.network().address) +
                    " needs the 11-bit address length (--alen 11)",
                2);

  std::unique_ptr<Line> line =
      options.portPath.empty()
          ? Line::open_pty(line_params(device.network()), error)
          : Line::open_serial(options.portPath, line_params(device.network()), error);
  if (!line) return fail(error);
  if (!options.linkPath.empty() && !line->make_link(options.linkPath, error)) return fail(error);

  TraceLog trace;
  if (!options.tracePath.empty() && !trace.open(options.tracePath, error)) return fail(error);

  std::printf("%s\n", line->path().c_str());
  std::fflush(stdout);

  Simulator simulator(device, *line, options, trace, start);
  int rc = simulator.run(stop_fd, error);
  if (rc != 0) fail(error);

  const auto end = std::chrono::steady_clock::now();
  if (!options.dumpPath.empty() && !write_dump(options.dumpPath, device, end, error))
    rc = fail(error);
  if (!options.statePath.empty() && !write_dump(options.statePath, device, end, error))
    rc = fail(error);
  close(stop_fd);
  return rc;
}
