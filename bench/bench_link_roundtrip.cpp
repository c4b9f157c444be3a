// Request/reply round trips through DeviceLink over a pseudo-terminal against an echoing
// peer, automatic converter (one write per frame), 115200 baud.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "link/device_link.h"
#include "link/frame_codec.h"
#include "platform/event.h"

using namespace vesk::link;

namespace {

// Answers every LORN frame with its own hash and data, as a device does after a write.
class EchoPeer {
 public:
  EchoPeer() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ::grantpt(master_);
    ::unlockpt(master_);
    char name[128] = {};
    ::ptsname_r(master_, name, sizeof name);
    path_ = name;
  }
  ~EchoPeer() {
    quit_.Set();
    if (thread_.joinable()) thread_.join();
    ::close(master_);
  }
  const std::string& path() const { return path_; }
  void start() {
    thread_ = std::thread([this] { run(); });
  }

 private:
  void run() {
    std::string pending;
    char buf[256];
    for (;;) {
      pollfd fds[2] = {{quit_.fd(), POLLIN, 0}, {master_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[0].revents) return;
      ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) continue;
      pending.append(buf, static_cast<size_t>(n));
      size_t cr;
      while ((cr = pending.find('\r')) != std::string::npos) {
        ReplyFrame f;
        if (ParseReply(std::string_view(pending).substr(0, cr + 1), f)) {
          RequestFrame reply;
          BuildRequest(false, f.hash, f.data, f.count, {16, 8, 0}, reply);
          (void)!::write(master_, reply.line, static_cast<size_t>(reply.length));
        }
        pending.erase(0, cr + 1);
      }
    }
  }

  int master_ = -1;
  std::string path_;
  vesk::platform::Event quit_;
  std::thread thread_;
};

double process_cpu_seconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_ExchangeRoundTrip(benchmark::State& state) {
  EchoPeer peer;
  DeviceLink link;
  link.port().settings().port_name = peer.path();
  link.port().settings().baud_rate = 115200;
  link.port().set_converter_mode(kConverterAuto);
  if (link.OpenPort(false) != kOpenOk) {
    state.SkipWithError("cannot open the pseudo-terminal");
    return;
  }
  peer.start();
  Parameter p("SoUr");
  p.type_text = "int";
  long failures = 0;
  const double cpu_before = process_cpu_seconds();
  for (auto _ : state) {
    p.value = "300";
    if (link.Exchange(kOpWrite, &p) != kExchangeOk) ++failures;
  }
  const double cpu = process_cpu_seconds() - cpu_before;
  state.counters["failures"] = static_cast<double>(failures);
  state.counters["exchanges_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["process_cpu_us_per_exchange"] =
      cpu * 1e6 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ExchangeRoundTrip)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
