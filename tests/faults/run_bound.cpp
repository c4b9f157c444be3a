#include "run_bound.h"

#include <cmath>

#include "link/frame_codec.h"
#include "link/port_settings.h"
#include "link/serial_port.h"

namespace vesk::faults {

namespace {

constexpr int kLinkCheckRounds = 2;
constexpr int kConverters = 2;
constexpr int kLinkCheckRequests = 2;  // "dev", "ver"
constexpr int kProbeProtocols = 3;
constexpr int kNameCodes = 4;

}  // namespace

std::chrono::microseconds AttemptTime() {
  link::PortSettings settings;
  settings.baud_rate = kTestBaud;
  const link::LineTiming timing = link::LineTimingFor(settings);
  const double ms = timing.reply_wait_ms + link::kMaxFrameChars * timing.char_time_ms;
  return std::chrono::microseconds(static_cast<int64_t>(std::ceil(ms * 1000)));
}

int AttemptsPerRequest(FaultKinds kinds) {
  return 1 + (kinds.timeouts ? 2 : 0) + (kinds.lost_starts ? 15 : 0) + (kinds.line_errors ? 16 : 0);
}

int TaskRequests(const std::vector<TreeEntry>& walk, bool write) {
  int n = write ? 1 : 0;  // the apply command after a write
  for (const TreeEntry& e : walk) {
    if (write && (!e.writable || e.value == kNoData)) continue;
    if (e.name == "CHAr*")
      n += kNameCodes * (write ? 2 : 1);
    else
      n += e.has_attributes ? 2 : 1;
  }
  return n;
}

std::chrono::milliseconds RunBound(const std::vector<TreeEntry>& walk, bool write,
                                   FaultKinds kinds) {
  const int a = AttemptsPerRequest(kinds);
  const int p = 1 + (kinds.timeouts ? 1 : 0) + (kinds.line_errors ? 16 : 0);
  const int link_check = kLinkCheckRounds * kConverters * kLinkCheckRequests * a +
                         kLinkCheckRounds * kProbeProtocols * kConverters * p;
  const int64_t attempts = link_check + static_cast<int64_t>(TaskRequests(walk, write)) * a;
  return kProcessAllowance +
         std::chrono::duration_cast<std::chrono::milliseconds>(attempts * AttemptTime()) +
         kTaskLinger;
}

std::chrono::milliseconds NeededFor(int attempts) {
  return kProcessAllowance +
         std::chrono::duration_cast<std::chrono::milliseconds>(attempts * AttemptTime()) +
         kTaskLinger;
}

}  // namespace vesk::faults
