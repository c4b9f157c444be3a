#include "link/port_write.h"

#include <poll.h>

#include <cerrno>
#include <cstdint>

#include "platform/wait.h"

namespace vesk::link {

using Clock = std::chrono::steady_clock;

PortResult WriteAll(PortIo& io, int fd, const char* data, size_t n, Clock::time_point deadline,
                    platform::Event& stop, bool socket) {
  while (n > 0) {
    ssize_t w = socket ? io.SendOnSocket(fd, data, n) : io.Write(fd, data, n);
    if (w > 0) {
      data += w;
      n -= static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && w != -EAGAIN) return {PortStatus::SystemError, static_cast<int>(-w)};
    int r = platform::WaitAnyUntil(
        {platform::Signalled(stop), platform::Waitable{fd, POLLOUT, nullptr}}, deadline);
    if (r == 0) return {PortStatus::Stopped, 0};
    if (r == platform::kWaitTimeout) return {PortStatus::Timeout, 0};
    if (r == platform::kWaitError) return {PortStatus::SystemError, errno};
  }
  return {PortStatus::Sent, 0};
}

PortResult DrainOutput(PortIo& io, int fd) {
  const int err = io.Drain(fd);
  if (err && !NotSupported(err)) return {PortStatus::SystemError, err};
  return {PortStatus::Sent, 0};
}

bool Pace(double ms, platform::Event& stop) {
  const auto until = Clock::now() + std::chrono::nanoseconds(static_cast<int64_t>(ms * 1e6));
  for (;;) {
    const auto now = Clock::now();
    if (now >= until) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
    if (left.count() >= 2) {
      if (platform::WaitAny({platform::Signalled(stop)}, left - std::chrono::milliseconds(1)) == 0)
        return false;
    }
  }
}

}  // namespace vesk::link
