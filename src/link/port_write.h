#pragma once
// Putting a request on the line, shared by the kinds of port: writing it whole before a
// deadline, waiting for the output queue to empty, and holding for a character time.

#include <chrono>
#include <cstddef>

#include "link/port_io.h"
#include "link/port_kind.h"
#include "platform/event.h"

namespace vesk::link {

// Writes all of `data` before `deadline`, waiting for room in the output queue (through
// PortIo::SendOnSocket when `socket`). Stopped, Timeout or SystemError when it could not.
PortResult WriteAll(PortIo& io, int fd, const char* data, size_t n,
                    std::chrono::steady_clock::time_point deadline, platform::Event& stop,
                    bool socket = false);

// Waits until everything written has left the output queue. A driver that cannot tell
// has nothing to wait for.
PortResult DrainOutput(PortIo& io, int fd);

// Holds for `ms` milliseconds with high resolution. Longer stretches sleep in the wait on
// `stop` and only the last millisecond spins, so slow lines do not burn a core. Returns
// false when stopped.
bool Pace(double ms, platform::Event& stop);

}  // namespace vesk::link
