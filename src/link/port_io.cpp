#include "link/port_io.h"

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace vesk::link {

namespace {

class SystemCalls final : public PortIo {
 public:
  ssize_t Write(int fd, const void* data, size_t count) override {
    ssize_t r;
    do {
      r = ::write(fd, data, count);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? -errno : r;
  }

  ssize_t SendOnSocket(int fd, const void* data, size_t count) override {
    ssize_t r;
    do {
      r = ::send(fd, data, count, MSG_NOSIGNAL);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? -errno : r;
  }

  int Drain(int fd) override {
    int r;
    do {
      r = ::tcdrain(fd);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? errno : 0;
  }

  int ModemLines(int fd, int lines, bool raise) override {
    return Ioctl(fd, raise ? TIOCMBIS : TIOCMBIC, &lines);
  }

  int Ioctl(int fd, unsigned long request, void* arg) override {
    int r;
    do {
      r = ::ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? errno : 0;
  }
};

}  // namespace

PortIo& SystemPortIo() {
  static SystemCalls calls;
  return calls;
}

bool NotSupported(int err) {
  return err == ENOTTY || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

}  // namespace vesk::link
