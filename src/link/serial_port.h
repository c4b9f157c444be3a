#pragma once
// The port under the RS-485 converter: opens and configures the line through the kind of
// port its name chooses (a local device, tcp:// or rfc2217://), sends one request and
// collects one reply within the time limits that follow from the line speed.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "link/frame_codec.h"
#include "link/port_io.h"
#include "link/port_kind.h"
#include "link/port_settings.h"
#include "platform/event.h"

namespace vesk::link {

// The longest valid LORN frame (15 data bytes) with its start and carriage return; the
// probe frames are shorter.
constexpr size_t kReplyCapacity = kMaxFrameChars;

// How the beginning and the end of a reply are recognised.
enum class FrameEnd {
  Lorn,            // from "#" to the carriage return; what comes before "#" is noise
  CarriageReturn,  // the probe protocols 2 and 3
  Pause,           // probe protocol 1: no end character, a pause of one reply wait ends it
};

// The end of frame that a protocol mode (0 LORN, 1 ... 3 probes) uses.
constexpr FrameEnd FrameEndFor(int protocol_mode) {
  return protocol_mode == 0   ? FrameEnd::Lorn
         : protocol_mode == 1 ? FrameEnd::Pause
                              : FrameEnd::CarriageReturn;
}

// What the port does with the converter's copy of the request (a two-wire converter that
// hears its own transmission).
enum class EchoTake {
  None,    // nothing comes back, or the caller does not care
  Expect,  // exactly the request's characters come first; anything else is a line error
  Detect,  // a LORN read: a frame equal to the request can only be the echo
};

// What a port learnt about the converter's echo since it was opened.
enum class LineEcho { Unknown, Present, Absent };

// The reason given with PortStatus::EchoMismatch.
inline constexpr const char* kTextEchoMismatch = "преобразователь вернул не то, что было послано";

// The transmit style of the RS-485 converter.
constexpr int kConverterSemiAuto = 0;  // direction switched with RTS, byte by byte
constexpr int kConverterAuto = 1;      // switches by itself, one write per frame
constexpr int kConverterKernel = 2;    // the port driver switches RTS (kernel RS-485 mode)

struct Reply {
  std::array<char, kReplyCapacity> data{};
  size_t count = 0;
  bool truncated = false;  // more arrived than the buffer holds; the rest was dropped
  // From the end of the send to the first character; below 0 when nothing came.
  double first_char_ms = -1;
  // FrameEnd::Lorn: characters and line errors before "#", skipped; the first few kept.
  size_t noise = 0;
  std::string noise_chars;
  // The converter's copy of the request was taken off the line before this reply.
  bool echo_taken = false;
  bool sent = false;  // the request left the port (whatever came back)
  std::string_view View() const { return {data.data(), count}; }
};

// The figures of a line (port_kind.h) for valid settings (byte size 5 ... 8, stop bits 1
// or 2, baud rate > 0).
LineTiming LineTimingFor(const PortSettings& settings);

// The device path for a port name: "COMn" is /dev/ttyS(n-1), a name starting with "/" is
// used as it is, any other name is looked up under /dev/.
std::string DevicePath(std::string_view port_name);

inline constexpr const char* kOpenFailureCaption = "Ошибка драйвера последовательного порта";

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
  // The owner's cancel of the running work (null: none): while it is set, the waits of a
  // network line's connect and set-up end as stop_event ends them, and a failed attempt is
  // not tried again; the reply to a request already sent is still waited for, so that a
  // parameter never shows a time-out it did not have. It must outlive the port's opens.
  void set_cancel_event(platform::Event* cancel) { cancel_event_ = cancel; }
  bool CancelSet() const { return cancel_event_ && cancel_event_->IsSet(); }

  PortSettings& settings() { return settings_; }
  const PortSettings& settings() const { return settings_; }

  // Opens and configures the port from the settings (closing it first if open; a remote
  // line named again keeps its connection and is set up anew over it).
  // Returns kOpenOk, kOpenFailed (see last_errno()), kOpenUnsupported or kOpenBadByteSize;
  // on any failure the port is left closed.
  int Open();

  // Returns 0, -2 when the port was not open, -1 when purging the buffers failed (see
  // last_errno()); the port is closed in every case.
  int Close();

  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Sends `request` and collects the reply into `reply`. The reply wait starts when the
  // request has left the output queue, or once its expected echo has come back. How the request
  // goes out is the port kind's (see LocalPort::Send for the converter modes; a remote line sends
  // it in one piece). `wait_ms` above 0 is the bus scan's short wait: how long the first character
  // may take; once one has come, the rest of the frame gets the line's full reply wait from the end
  // of the send. `echo` says what to do with the converter's copy of the request (an Expect that
  // does not come back as sent is EchoMismatch); a Detect settles echo().
  PortResult SendReceive(std::string_view request, Reply& reply, FrameEnd end, int wait_ms = 0,
                         EchoTake echo = EchoTake::None);

  // Goes on waiting for the next frame until the same deadline, after the one the last
  // SendReceive or ReceiveMore brought was not the answer. Returns as SendReceive does.
  PortResult ReceiveMore(Reply& reply, FrameEnd end);

  // What the port learnt about the converter's echo; Unknown again at every open.
  LineEcho echo() const { return echo_; }

  int converter_mode() const { return converter_mode_.load(); }
  void set_converter_mode(int mode) { converter_mode_.store(mode); }

  // Whether the converter gives the request back; taken from the settings at every open,
  // and changed between opens by the menu from any thread.
  EchoMode echo_mode() const { return echo_mode_.load(); }
  void set_echo_mode(EchoMode mode) { echo_mode_.store(mode); }

  // Figures of the line as opened; 0 while closed or after a failed open.
  float CharTimeMs() const { return timing_.char_time_ms; }
  uint16_t ReplyWaitMs() const { return timing_.reply_wait_ms; }
  const CommTimeouts& Timeouts() const { return timing_.timeouts; }

  // errno of the last failed system call of open or close (0 when none).
  int last_errno() const { return last_errno_; }
  // False when the device refused modem-control lines (a pseudo-terminal): RTS is not
  // switched, the pacing stays.
  bool modem_lines() const { return modem_lines_.load(); }
  // Whether the open port's driver offers the kernel's RS-485 mode (TIOCGRS485); false
  // while closed.
  bool kernel_rs485_supported() const { return kernel_rs485_supported_.load(); }
  // The USB adapter's latency timer in ms where its driver tells it, else 0; and whether
  // the driver refused low latency (ASYNC_LOW_LATENCY).
  int latency_timer_ms() const { return latency_timer_ms_; }
  bool low_latency_refused() const { return low_latency_refused_; }

 private:
  using Clock = std::chrono::steady_clock;

  PortResult Receive(Reply& reply, FrameEnd end, EchoTake echo);
  // Reads what arrives into held_ until `deadline`. Received once something is held.
  PortResult Fill(Clock::time_point deadline);
  // Takes exactly the request's characters off the line (EchoTake::Expect).
  PortResult TakeEcho();

  PortIo& io_;
  PortSettings settings_;
  std::unique_ptr<PortKind> kind_;  // the kind of the last open, while open
  platform::Event* cancel_event_ = nullptr;
  // Atomic because the link checks it before taking its lock while another thread may
  // open or close the port under that lock.
  std::atomic<int> fd_{-1};
  std::atomic<int> converter_mode_{kConverterSemiAuto};
  std::atomic<EchoMode> echo_mode_{EchoMode::Auto};
  LineTiming timing_;
  int last_errno_ = 0;
  // Copied from the kind at open and after each send, under the link's lock; atomic because
  // the window asks them without it while a worker opens, sends or closes.
  std::atomic<bool> modem_lines_{true};
  std::atomic<bool> kernel_rs485_supported_{false};
  int latency_timer_ms_ = 0;
  bool low_latency_refused_ = false;

  LineEcho echo_ = LineEcho::Unknown;
  // The request on the line and its reply wait, kept for ReceiveMore.
  std::array<char, kMaxFrameChars> request_{};
  size_t request_size_ = 0;
  Clock::time_point sent_at_{};
  Clock::time_point deadline_{};
  bool short_wait_ = false;
  // Read but not yet taken: what followed a frame that was not the answer.
  std::array<uint8_t, 64> held_{};
  size_t held_at_ = 0;
  size_t held_count_ = 0;
  bool held_error_ = false;  // a line error follows the held bytes
};

}  // namespace vesk::link
