#include "line_params.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace vesk::sim {

bool ReadLineParams(int fd, LineParams& out) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  out.baud = static_cast<int32_t>(t.c_ospeed ? t.c_ospeed : t.c_ispeed);
  out.stop_bits = (t.c_cflag & CSTOPB) ? 2 : 1;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      out.data_bits = 5;
      break;
    case CS6:
      out.data_bits = 6;
      break;
    case CS7:
      out.data_bits = 7;
      break;
    default:
      out.data_bits = 8;
      break;
  }
  out.parity = !(t.c_cflag & PARENB) ? 0 : (t.c_cflag & PARODD) ? 2 : 1;
  return true;
}

bool SetRawLine(int fd, const LineParams& p) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | INPCK);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CBAUD);
  t.c_cflag |= CLOCAL | CREAD | BOTHER;
  t.c_cflag |= p.data_bits == 7 ? CS7 : p.data_bits == 6 ? CS6 : p.data_bits == 5 ? CS5 : CS8;
  if (p.stop_bits == 2) t.c_cflag |= CSTOPB;
  if (p.parity != 0) {
    t.c_cflag |= PARENB;
    t.c_iflag |= INPCK;
    if (p.parity == 2) t.c_cflag |= PARODD;
  }
  t.c_ospeed = t.c_ispeed = static_cast<speed_t>(p.baud);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace vesk::sim
