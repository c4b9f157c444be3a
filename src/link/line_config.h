#pragma once
// Raw-mode line configuration of a serial device, at any baud rate the driver can make
// (14400, 28800, 56000 and 128000 have no classic termios constant).

#include <cstdint>

namespace vesk::link {

struct LineConfig {
  uint32_t baud_rate = 9600;
  int byte_size = 8;  // 5 ... 8
  int parity = 3;     // the program's parity code: 0/3 none, 1 even, 2 mark, 4 odd, 5 space
  int stop_bits = 1;  // 1 or 2
};

// Checks that `fd` is a terminal. Returns 0, or the errno of the failed query (ENOTTY for
// a file that is not a terminal).
int ProbeTerminal(int fd);

// Puts the terminal into raw mode with these settings: no flow control, receiver on, modem
// status ignored, input parity checking with error marking (PARMRK), so that breaks and
// framing/parity errors show up in the data. Returns 0 or the errno of the failure.
int ConfigureLine(int fd, const LineConfig& config);

}  // namespace vesk::link
