#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace vesk::platform {

Event::Event(Reset reset, bool initially_set) : reset_(reset) {
  fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd_ < 0) throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
  if (initially_set) Set();
}

Event::~Event() {
  ::close(fd_);
}

void Event::Set() {
  // The counter only has to be non-zero; writing 1 repeatedly cannot overflow in practice.
  uint64_t one = 1;
  while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void Event::reset() {
  uint64_t value;
  while (::read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

bool Event::IsSet() {
  if (reset_ == Reset::Auto) return Consume();
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

bool Event::Consume() {
  if (reset_ == Reset::Manual) {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
  }
  uint64_t value;
  ssize_t n;
  do {
    n = ::read(fd_, &value, sizeof value);
  } while (n < 0 && errno == EINTR);
  return n == sizeof value;
}

}  // namespace vesk::platform
