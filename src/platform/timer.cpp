#include "platform/timer.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace vesk::platform {

namespace {

timespec ToTimespec(std::chrono::milliseconds d) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(d.count() / 1000);
  ts.tv_nsec = static_cast<long>((d.count() % 1000) * 1000000);
  return ts;
}

int Settime(int fd, const itimerspec& when) {
  return ::timerfd_settime(fd, 0, &when, nullptr) < 0 ? errno : 0;
}

}  // namespace

int CreateTimerFd() {
  return ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
}

int ArmTimerFd(int fd, std::chrono::milliseconds first, std::chrono::milliseconds period) {
  if (first.count() < 0 || period.count() < 0) return EINVAL;
  itimerspec when{};
  when.it_value = ToTimespec(first);
  // An all-zero first expiry would disarm the timer; "at once" is the next nanosecond.
  if (first.count() == 0) when.it_value.tv_nsec = 1;
  when.it_interval = ToTimespec(period);
  return Settime(fd, when);
}

int CancelTimerFd(int fd) {
  int err = Settime(fd, itimerspec{});
  ConsumeTimerFd(fd);
  return err;
}

uint64_t ConsumeTimerFd(int fd) {
  uint64_t count = 0;
  ssize_t n;
  do {
    n = ::read(fd, &count, sizeof count);
  } while (n < 0 && errno == EINTR);
  return n == sizeof count ? count : 0;
}

Timer::Timer() {
  fd_ = CreateTimerFd();
  if (fd_ < 0) throw std::runtime_error(std::string("timerfd: ") + std::strerror(errno));
}

Timer::~Timer() {
  ::close(fd_);
}

int Timer::Arm(std::chrono::milliseconds first, std::chrono::milliseconds period) {
  if (first.count() < 0 || period.count() < 0) return EINVAL;
  Consume();
  return ArmTimerFd(fd_, first, period);
}

int Timer::Cancel() {
  return CancelTimerFd(fd_);
}

uint64_t Timer::Consume() {
  return ConsumeTimerFd(fd_);
}

}  // namespace vesk::platform
