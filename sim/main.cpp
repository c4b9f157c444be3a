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
#include <memory>
#include <string>
#include <vector>

#include "address_seed.h"
#include "description_source.h"
#include "device.h"
#include "device_store.h"
#include "line.h"
#include "link/address_list.h"
#include "sim_options.h"
#include "simulator.h"
#include "state_file.h"
#include "trace_log.h"

using namespace vesk::sim;

namespace {

int Fail(const std::string& text, int code = 1) {
  std::fprintf(stderr, "vesk-sim: %s\n", text.c_str());
  return code;
}

// SIGTERM and SIGINT arrive through a descriptor the serving loop waits on, so a stop
// is taken between frames and the dump and state are still written.
int StopSignalsFd() {
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
  ParseResult parsed = ParseOptions(args);
  if (!parsed.ok) return Fail(parsed.error, 2);
  const SimOptions& options = parsed.options;
  if (options.help) {
    std::fputs(HelpText().c_str(), stdout);
    return 0;
  }
  signal(SIGPIPE, SIG_IGN);
  // Answers timed to the line should not wake the default 50 us late.
  if (options.line_timing) prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
  int stop_fd = StopSignalsFd();
  if (stop_fd < 0)
    return Fail(std::string("cannot take the stop signals: ") + std::strerror(errno));

  std::vector<ParameterSpec> specs;
  std::string error;
  if (!LoadSpecs(options.tree_path, specs, error)) return Fail(error);
  std::vector<std::string> warnings;
  const auto start = std::chrono::steady_clock::now();
  const bool several = !options.devices.empty();
  std::vector<int32_t> addresses = options.devices;
  if (!several) addresses.push_back(-1);
  // Each device keeps its own copy of the options, so that its address is its own.
  std::vector<SimOptions> device_options;
  std::vector<std::unique_ptr<Device>> devices;
  for (int32_t address : addresses) {
    SimOptions own = options;
    if (several) {
      own.address = address;
      if (!own.state_path.empty())
        own.state_path = vesk::link::PathForAddress(own.state_path, address);
      if (!own.dump_path.empty())
        own.dump_path = vesk::link::PathForAddress(own.dump_path, address);
    }
    device_options.push_back(own);
    DeviceStore store = DeviceStore::Build(specs, warnings);
    if (several) SeedByAddress(store, address);
    devices.push_back(std::make_unique<Device>(std::move(store), own, start));
    Device& device = *devices.back();
    if (!own.state_path.empty() && !LoadState(own.state_path, device, start, error, warnings))
      return Fail(error);
    device.PowerOn(own, start);
    if (device.network().address_bits == 8 && device.network().address > 255)
      return Fail("address " + std::to_string(device.network().address) +
                      " needs the 11-bit address length (--alen 11)",
                  2);
  }
  for (const std::string& w : warnings) std::fprintf(stderr, "vesk-sim: %s\n", w.c_str());
  const LineParams params = LineParamsOf(devices.front()->network());

  std::unique_ptr<Line> line;
  if (options.tcp_port)
    line = Line::ListenTcp(*options.tcp_port, params, error);
  else if (options.port_path.empty())
    line = Line::OpenPty(params, error);
  else
    line = Line::OpenSerial(options.port_path, params, error);
  if (!line) return Fail(error);
  if (!options.link_path.empty() && !line->MakeLink(options.link_path, error)) return Fail(error);

  TraceLog trace;
  if (!options.trace_path.empty() && !trace.Open(options.trace_path, error)) return Fail(error);

  std::printf("%s\n", line->path().c_str());
  std::fflush(stdout);

  std::vector<Device*> serving;
  for (auto& d : devices) serving.push_back(d.get());
  Simulator simulator(serving, *line, options, trace, start);
  int rc = simulator.Run(stop_fd, error);
  if (rc != 0) Fail(error);

  const auto end = std::chrono::steady_clock::now();
  for (size_t i = 0; i < devices.size(); ++i) {
    const SimOptions& own = device_options[i];
    if (!own.dump_path.empty() && !WriteDump(own.dump_path, *devices[i], end, error))
      rc = Fail(error);
    if (!own.state_path.empty() && !WriteDump(own.state_path, *devices[i], end, error))
      rc = Fail(error);
  }
  close(stop_fd);
  return rc;
}
