#pragma once
// A waitable timer on a timerfd: a relative first expiry, then an optional period. Its
// descriptor is readable while expirations are pending, so it sits in WaitAny beside
// events and serial ports.

#include <chrono>
#include <cstdint>

#include "platform/wait.h"

namespace vesk::platform {

class Timer {
 public:
  // Throws std::runtime_error when the system has no timer to give.
  Timer();
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // Starts (or restarts) the timer: first expiry after `first` (0 means at once), then
  // every `period` (0 means once). Pending expirations are dropped. Returns 0 or the errno;
  // a negative duration is EINVAL.
  int Arm(std::chrono::milliseconds first,
          std::chrono::milliseconds period = std::chrono::milliseconds(0));

  // Stops the timer and drops pending expirations. Returns 0 or the errno.
  int Cancel();

  // Takes the expirations since the last call (0 when none); never blocks.
  uint64_t Consume();

  int fd() const { return fd_; }

 private:
  int fd_;
};

// The same calls on a timerfd that a record of another layer holds as a bare descriptor.
// A new non-blocking timerfd, or -1 with errno set.
int CreateTimerFd();
// Starts (or restarts) `fd`: first expiry after `first` (0 means at once), then every
// `period` (0 means once). Pending expirations stay. Returns 0 or the errno; a negative
// duration is EINVAL.
int ArmTimerFd(int fd, std::chrono::milliseconds first,
               std::chrono::milliseconds period = std::chrono::milliseconds(0));
// Stops `fd` and drops pending expirations. Returns 0 or the errno.
int CancelTimerFd(int fd);
// Takes the expirations of `fd` since the last call (0 when none); never blocks.
uint64_t ConsumeTimerFd(int fd);

// The timer as an item of WaitAny; the winner must Consume() it, or it stays ready.
inline Waitable Signalled(Timer& t) {
  return Waitable{t.fd(), 0x001, nullptr};
}

}  // namespace vesk::platform
