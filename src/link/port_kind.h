#pragma once
// The kinds of port a line is reached through (a local serial device, a raw TCP socket to
// a device server, RFC 2217's Telnet COM-port control) behind the one set of calls that
// the serial port makes of them: open for the settings, get ready for a request, send it,
// read what comes back. The reply wait, its deadline and the reply's end stay the serial
// port's own, alike for every kind.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "link/port_io.h"
#include "link/port_settings.h"
#include "platform/event.h"

namespace vesk::link {

// Open results.
constexpr int kOpenOk = 0;
constexpr int kOpenFailed = -1;       // the device could not be opened or configured
constexpr int kOpenUnsupported = -2;  // parity, stop bits or baud rate not supported
constexpr int kOpenBadByteSize = -3;  // byte size outside 5 ... 8

// The one check of the line settings for every kind, in this order: parity, byte size,
// stop bits, baud rate. Returns kOpenOk, kOpenUnsupported or kOpenBadByteSize. A kind
// calls it once it has reached its device or server and before it sets the line, so a
// missing device or server is told before a bad setting.
int CheckPortSettings(const PortSettings& settings);

// Outcome of one send and receive.
enum class PortStatus {
  Sent,          // the request went out whole (a port kind's Send)
  Received,      // what was waited for came: the reply, the converter's echo, or data
  Timeout,       // no end of frame within the reply wait, or the write did not finish
  LineError,     // break, framing, parity or overrun condition on the line
  SystemError,   // a system call failed (the device vanished ...); counts as a line error
  EchoMismatch,  // the converter's copy of the request differs from it; a line error
  Stopped,       // stopEvent was signalled
  Closed,        // the port is not open
};

struct PortResult {
  PortStatus status = PortStatus::Closed;  // until an exchange says what happened
  int sys_errno = 0;                       // for SystemError

  // The link's code: 0 sent or received, 2 time-out, 3 line error, -1 stopped or closed.
  int Code() const;
  // The system's text for a SystemError (strerror), kTextEchoMismatch for an
  // EchoMismatch, else empty.
  std::string Reason() const;
};

// The time-outs the line works with, in milliseconds.
struct CommTimeouts {
  uint32_t read_interval = 0;
  uint32_t read_total_multiplier = 0;
  uint32_t read_total_constant = 0;
  uint32_t write_total_multiplier = 0;
  uint32_t write_total_constant = 0;
};

// The figures of a line: character time, time-outs and reply wait. Pure, so they can be
// checked without a port.
struct LineTiming {
  float char_time_ms = 0;
  CommTimeouts timeouts;
  uint16_t reply_wait_ms = 0;
};

// What a send needs besides the request.
struct SendContext {
  const LineTiming& timing;
  int converter_mode;
  platform::Event& stop;
};

// What one read of the port brought.
struct ReadOutcome {
  // Data bytes put into the buffer, or -errno: -EAGAIN when nothing usable came (only the
  // port's own signalling), 0 at the end of a stream that may still recover (a terminal).
  ssize_t count = 0;
  // A break, framing, parity or overrun error came after those bytes.
  bool line_error = false;
};

class PortKind {
 public:
  virtual ~PortKind() = default;

  // Opens the line for `settings`. Returns kOpenOk, kOpenFailed with the errno in `err`,
  // kOpenUnsupported or kOpenBadByteSize; on failure nothing stays open.
  virtual int Open(const PortSettings& settings, int& err) = 0;
  // Lets the line go. Returns 0, -2 when nothing was open, -1 with the errno in `err` when
  // purging failed (the descriptor is gone all the same).
  virtual int Close(int& err) = 0;
  // The descriptor to wait on for received bytes; -1 while closed.
  virtual int fd() const = 0;

  // Called before each request: drops what waits unread. Returns 0 or the errno of a line
  // that has gone.
  virtual int BeginExchange() = 0;
  // Puts `request` on the line; the reply wait starts when this returns.
  virtual PortResult Send(std::string_view request, const SendContext& context) = 0;
  // Reads what has arrived into `data` (up to `capacity` bytes of data).
  virtual ReadOutcome Read(uint8_t* data, size_t capacity) = 0;

  // Whether an open port named `port_name` again is opened anew through this kind while
  // it stays open (Open is then called on the open kind), rather than closed first.
  virtual bool Keeps(std::string_view) const { return false; }

  // Added to the line's reply wait: a network's round trip.
  virtual uint16_t AllowanceMs() const { return 0; }
  // Whether RTS and DTR can be switched (false: a pseudo-terminal or a remote line).
  virtual bool ModemLines() const { return false; }
  // Whether the driver offers the kernel's RS-485 mode.
  virtual bool KernelRs485Supported() const { return false; }
  // A USB adapter's latency timer in ms where the driver exposes it, else 0.
  virtual int LatencyTimerMs() const { return 0; }
  // Whether the driver refused to deliver received bytes at once (ASYNC_LOW_LATENCY).
  virtual bool LowLatencyRefused() const { return false; }
};

// The kind that `port_name` names: "tcp://HOST:PORT" raw TCP, "rfc2217://HOST:PORT" the
// Telnet COM-port control, anything else a local serial device. A network kind's connect
// and set-up end when `stop` or `cancel` (may be null) is set.
std::unique_ptr<PortKind> MakePortKind(std::string_view port_name, PortIo& io,
                                       platform::Event& stop, platform::Event* cancel = nullptr);

// Whether the kind that `port_name` names sets the line's baud rate: a local device and
// RFC 2217 do; raw TCP leaves it to the server, so trying rates over it proves nothing.
bool PortKindSetsRate(std::string_view port_name);

}  // namespace vesk::link
