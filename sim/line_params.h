#pragma once
// The character format of a terminal, read and set through the kernel's termios2, which
// carries every baud rate as a number (14400 and 28800 have no B-constant). Kept apart
// from <termios.h>, whose definitions clash with the kernel's.

#include <cstdint>

namespace vesk::sim {

struct LineParams {
  int32_t baud = 9600;
  int32_t stop_bits = 1;
  int32_t data_bits = 8;
  int32_t parity = 0;  // the device's codes: 0 none, 1 even, 2 odd
};

// Reads the settings of the terminal `fd`. Returns false with errno set when the
// descriptor is no terminal.
bool ReadLineParams(int fd, LineParams& out);

// Puts the terminal `fd` into raw mode (no echo, no line editing, no translation, no
// flow control) with the given format. Returns false with errno set on failure.
bool SetRawLine(int fd, const LineParams& params);

}  // namespace vesk::sim
