#include "platform/wait.h"

#include <poll.h>

#include <cerrno>

namespace vesk::platform {

namespace {

int PollOnce(const std::vector<Waitable>& items, int timeout_ms) {
  std::vector<pollfd> fds;
  fds.reserve(items.size());
  for (const Waitable& w : items) fds.push_back(pollfd{w.fd, w.events, 0});
  int r = ::poll(fds.data(), fds.size(), timeout_ms);
  if (r < 0) return errno == EINTR ? kWaitTimeout - 10 : kWaitError;
  if (r == 0) return kWaitTimeout;
  for (size_t i = 0; i < fds.size(); ++i) {
    if (fds[i].revents == 0) continue;
    const Waitable& w = items[i];
    // Two threads may race for one auto-reset event; the loser keeps waiting.
    if (w.event && !w.event->Manual() && !w.event->Consume()) continue;
    return static_cast<int>(i);
  }
  return kWaitTimeout - 10;  // spurious: poll again
}

}  // namespace

int WaitAnyUntil(const std::vector<Waitable>& items,
                 std::chrono::steady_clock::time_point deadline) {
  using namespace std::chrono;
  for (;;) {
    auto now = steady_clock::now();
    int ms = 0;
    if (deadline > now) {
      // Round up so that a wait never ends before its deadline.
      auto left = duration_cast<microseconds>(deadline - now).count();
      ms = static_cast<int>((left + 999) / 1000);
    }
    int r = PollOnce(items, ms);
    if (r == kWaitTimeout - 10) continue;
    if (r == kWaitTimeout && steady_clock::now() < deadline) continue;
    return r;
  }
}

int WaitAny(const std::vector<Waitable>& items, std::chrono::milliseconds timeout) {
  if (timeout.count() < 0) {
    for (;;) {
      int r = PollOnce(items, -1);
      if (r == kWaitTimeout - 10 || r == kWaitTimeout) continue;
      return r;
    }
  }
  return WaitAnyUntil(items, std::chrono::steady_clock::now() + timeout);
}

}  // namespace vesk::platform
