#pragma once
// Wait for the first of several descriptors (events, timers, serial ports) to become
// ready, in the manner of WaitForMultipleObjects: when several are ready at once, the
// earliest in the list wins.

#include <chrono>
#include <initializer_list>
#include <vector>

namespace vesk::platform {

class Event;

struct Waitable {
  int fd = -1;
  short events = 0x001;    // POLLIN
  Event* event = nullptr;  // consumed when it wins, if auto-reset
};

inline Waitable Signalled(Event& e);
inline Waitable Readable(int fd) {
  return Waitable{fd, 0x001, nullptr};
}

constexpr int kWaitTimeout = -1;
constexpr int kWaitError = -2;

// Returns the index of the first ready item, kWaitTimeout when the deadline passes,
// kWaitError when poll fails for a reason other than a signal (errno is kept).
// A negative timeout waits without end.
int WaitAny(const std::vector<Waitable>& items, std::chrono::milliseconds timeout);

// Same with an absolute deadline on the steady clock.
int WaitAnyUntil(const std::vector<Waitable>& items,
                 std::chrono::steady_clock::time_point deadline);

}  // namespace vesk::platform

#include "platform/event.h"

namespace vesk::platform {
inline Waitable Signalled(Event& e) {
  return Waitable{e.fd(), 0x001, &e};
}
}  // namespace vesk::platform
