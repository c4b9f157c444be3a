#pragma once
// The serial port under the RS-485 converter: opens and configures the line, sends one
// request and collects one reply within the time limits that follow from the line speed,
// and drives the transmitter through RTS for a semi-automatic converter.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "link/port_io.h"
#include "link/port_settings.h"
#include "platform/event.h"

namespace vesk::link {

class NetworkPort;

// A reply frame never needs more: a LORN reply with 8 data bytes is 30 characters and
// its carriage return.
constexpr size_t kReplyCapacity = 31;

// Open results.
constexpr int kOpenOk = 0;
constexpr int kOpenFailed = -1;       // the device could not be opened or configured
constexpr int kOpenUnsupported = -2;  // parity, stop bits or baud rate not supported
constexpr int kOpenBadByteSize = -3;  // byte size outside 5 ... 8

// How the end of a reply is recognised.
enum class FrameEnd {
  CarriageReturn,  // LORN and the probe protocols 2 and 3
  Pause,           // probe protocol 1: no end character, a pause of one reply wait ends it
};

// The end of frame that a protocol mode (0 LORN, 1 ... 3 probes) uses.
constexpr FrameEnd FrameEndFor(int protocol_mode) {
  return protocol_mode == 1 ? FrameEnd::Pause : FrameEnd::CarriageReturn;
}

// The transmit style of the RS-485 converter.
constexpr int kConverterSemiAuto = 0;  // direction switched with RTS, byte by byte
constexpr int kConverterAuto = 1;      // switches by itself, one write per frame
constexpr int kConverterKernel = 2;    // the port driver switches RTS (kernel RS-485 mode)

// Outcome of one send and receive.
enum class PortStatus {
  Received,     // data received (possibly none)
  Timeout,      // no end of frame within the reply wait, or the write did not finish
  LineError,    // break, framing, parity or overrun condition on the line
  SystemError,  // a system call failed (the device vanished ...); counts as a line error
  Stopped,      // stopEvent was signalled
  Closed,       // the port is not open
};

struct PortResult {
  PortStatus status = PortStatus::Received;
  int sys_errno = 0;  // for SystemError

  // The link's code: 0 received, 2 time-out, 3 line error, -1 stopped or closed.
  int Code() const;
  // The system's text for a SystemError (strerror), else empty.
  std::string Reason() const;
};

struct Reply {
  std::array<char, kReplyCapacity> data{};
  size_t count = 0;
  bool truncated = false;  // more arrived than the buffer holds; the rest was dropped
  // From the end of the send to the first character; below 0 when nothing came.
  double first_char_ms = -1;
  std::string_view View() const { return {data.data(), count}; }
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
// Computes them for valid settings (byte size 5 ... 8, stop bits 1 or 2, baud rate > 0).
LineTiming LineTimingFor(const PortSettings& settings);

// True for the baud rates the port accepts.
bool BaudRateSupported(int32_t baud);

// The device path for a port name: "COMn" is /dev/ttyS(n-1), a name starting with "/" is
// used as it is, any other name is looked up under /dev/.
std::string DevicePath(std::string_view port_name);

// The message for a failed open: the fixed text, then the system's reason on a new line,
// and for a permission failure, how to get access. `sys_errno` 0 adds nothing.
std::string OpenFailureMessage(std::string_view port_name, int sys_errno);

class SerialPort;

// Opens the port, sets exit_status bit 0x02 when the open failed and clears it when it
// succeeded (the other bits stay), and when `report` is set shows a failure through the
// presenter ("Ошибка драйвера последовательного порта"). Returns the open result.
int OpenAndReport(SerialPort& port, bool report);

// Not thread-safe apart from stopEvent and the converter mode: open, close and
// SendReceive are called by one thread at a time (the device link's lock).
class SerialPort {
 public:
  // `io` carries the calls that drive the line while sending; it outlives the port.
  explicit SerialPort(PortIo& io = SystemPortIo());
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // While set, every wait of a send or receive ends at once with Stopped. Manual reset;
  // whoever set it resets it.
  platform::Event stop_event{platform::Event::Reset::Manual};

  PortSettings& settings() { return settings_; }
  const PortSettings& settings() const { return settings_; }

  // Opens and configures the port from the settings (closing it first if open).
  // Returns kOpenOk, kOpenFailed (see last_errno()), kOpenUnsupported or kOpenBadByteSize;
  // on any failure the port is left closed.
  int Open();

  // Returns 0, -2 when the port was not open, -1 when purging the buffers failed (see
  // last_errno()); the port is closed in every case.
  int Close();

  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Sends `request` and collects the reply into `reply`. The reply wait starts when the
  // request has left the output queue. In the semi-automatic converter mode RTS is raised
  // for the send, each character is paced by one character time, and RTS is lowered only
  // once the transmitter is empty; when stopped during that send, RTS stays raised until
  // the next send. In the kernel mode the driver is asked to switch RTS itself (with
  // settings().kernel_rs485) before the frame goes out in one write. `wait_ms` above 0
  // is the bus scan's short wait: how long the first character may take; once one has
  // come, the rest of the frame gets the line's full reply wait from the end of the send.
  PortResult SendReceive(std::string_view request, Reply& reply, FrameEnd end, int wait_ms = 0);

  int converter_mode() const { return converter_mode_.load(); }
  void set_converter_mode(int mode) { converter_mode_.store(mode); }

  // Figures of the line as opened; 0 while closed or after a failed open.
  float CharTimeMs() const { return timing_.char_time_ms; }
  uint16_t ReplyWaitMs() const { return timing_.reply_wait_ms; }
  const CommTimeouts& Timeouts() const { return timing_.timeouts; }

  // errno of the last failed system call of open or close (0 when none).
  int last_errno() const { return last_errno_; }
  // False when the device refused modem-control lines (a pseudo-terminal): RTS is not
  // switched, the pacing stays.
  bool modem_lines() const { return modem_lines_; }
  // Whether the open port's driver offers the kernel's RS-485 mode (TIOCGRS485); false
  // while closed.
  bool kernel_rs485_supported() const { return kernel_rs485_supported_; }

 private:
  // 0 or the errno; a device without modem lines is remembered and skipped.
  int SetRts(bool raised);
  // Switches the driver's RS-485 mode on with the settings, or back off: 0 or the errno.
  int SetKernelRs485(bool on);
  // Waits, where the driver tells it (TIOCSERGETLSR), until the last character has left
  // the transmitter's shift register.
  void WaitTransmitterEmpty();
  // Sum of the driver's line error counters, or -1 where the driver keeps none.
  int64_t LineErrorCount();
  PortResult Send(std::string_view request);
  PortResult Receive(Reply& reply, FrameEnd end, int64_t errors_before, int wait_ms);
  void Release();  // closes the descriptor without purging
  // Open, flush and reconnect of a network line ("tcp://HOST:PORT").
  int OpenNetwork();
  int FlushNetworkInput();

  PortIo& io_;
  PortSettings settings_;
  // Atomic because the link checks it before taking its lock while another thread may
  // open or close the port under that lock.
  std::atomic<int> fd_{-1};
  std::atomic<int> converter_mode_{kConverterSemiAuto};
  LineTiming timing_;
  int last_errno_ = 0;
  bool modem_lines_ = true;
  bool have_icount_ = true;
  bool rts_raised_ = false;
  bool have_lsr_ = true;
  bool kernel_rs485_supported_ = false;
  bool kernel_rs485_on_ = false;
  std::unique_ptr<NetworkPort> network_;  // set while a network line is open
};

}  // namespace vesk::link
