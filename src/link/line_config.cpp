// The kernel's termios2 interface sets any baud rate with BOTHER; its header cannot share
// a translation unit with <termios.h>, which is why this file stands alone.
#include "link/line_config.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

#if !defined(TCGETS2) || !defined(BOTHER)
#error "termios2 (TCGETS2, BOTHER) is needed for the non-standard baud rates"
#endif

namespace vesk::link {

namespace {

int get(int fd, termios2& t) {
  int r;
  do {
    r = ::ioctl(fd, TCGETS2, &t);
  } while (r < 0 && errno == EINTR);
  return r < 0 ? errno : 0;
}

}  // namespace

int ProbeTerminal(int fd) {
  termios2 t{};
  return get(fd, t);
}

int ConfigureLine(int fd, const LineConfig& config) {
  termios2 t{};
  if (int err = get(fd, t)) return err;

  // Input: parity checking with marking, so a bad character reads as \377 \0 c, a break
  // as \377 \0 \0 and a real \377 as \377 \377. Framing errors are only reported with
  // INPCK on, so it is on even without parity. Nothing else is translated.
  t.c_iflag = INPCK | PARMRK;
  t.c_oflag = 0;
  t.c_lflag = 0;
  t.c_cflag = CREAD | CLOCAL | HUPCL | BOTHER;
  switch (config.byte_size) {
    case 5:
      t.c_cflag |= CS5;
      break;
    case 6:
      t.c_cflag |= CS6;
      break;
    case 7:
      t.c_cflag |= CS7;
      break;
    default:
      t.c_cflag |= CS8;
      break;
  }
  if (config.stop_bits == 2) t.c_cflag |= CSTOPB;
  switch (config.parity) {
    case 1:  // even
      t.c_cflag |= PARENB;
      break;
    case 2:  // mark
      t.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case 4:  // odd
      t.c_cflag |= PARENB | PARODD;
      break;
    case 5:  // space
      t.c_cflag |= PARENB | CMSPAR;
      break;
    default:  // none
      break;
  }
  for (auto& c : t.c_cc) c = 0;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  t.c_ispeed = config.baud_rate;
  t.c_ospeed = config.baud_rate;

  int r;
  do {
    r = ::ioctl(fd, TCSETS2, &t);
  } while (r < 0 && errno == EINTR);
  return r < 0 ? errno : 0;
}

}  // namespace vesk::link
