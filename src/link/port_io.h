#pragma once
// The system calls by which the port drives the line while it sends: writing, draining
// the output queue, the modem-control lines and the driver's other controls. They sit
// behind one narrow seam so that their order, which only a real RS-485 line would show,
// can be checked with a recording stand-in.

#include <sys/types.h>

#include <cstddef>

namespace vesk::link {

class PortIo {
 public:
  virtual ~PortIo() = default;
  // Bytes written, or -errno.
  virtual ssize_t Write(int fd, const void* data, size_t count) = 0;
  // Write for a socket: a peer that has gone gives -EPIPE rather than a SIGPIPE, without
  // touching the process's signal dispositions (which programs started later inherit).
  virtual ssize_t SendOnSocket(int fd, const void* data, size_t count) {
    return Write(fd, data, count);
  }
  // Returns when everything written has left the output queue: 0 or the errno.
  virtual int Drain(int fd) = 0;
  // Raises or lowers the modem-control lines in `lines` (TIOCM_*): 0 or the errno.
  virtual int ModemLines(int fd, int lines, bool raise) = 0;
  // Any other control of the driver: 0 or the errno.
  virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
};

// The calls themselves, an interrupted call repeated.
PortIo& SystemPortIo();

// Errors by which a driver says it has no such control at all.
bool NotSupported(int err);

}  // namespace vesk::link
