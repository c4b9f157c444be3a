#include "link/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "link/exit_status.h"
#include "link/line_config.h"
#include "link/line_marks.h"
#include "link/network_port.h"
#include "link/presenter.h"
#include "platform/wait.h"

namespace vesk::link {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kBaudRates[] = {110,   300,   600,   1200,  2400,  4800,   9600,  14400,
                                  19200, 28800, 38400, 56000, 57600, 115200, 128000};

// The system calls, each wrapped once: 0 or the errno, interrupted calls repeated.
int SysIoctl(int fd, unsigned long request, void* arg) {
  int r;
  do {
    r = ::ioctl(fd, request, arg);
  } while (r < 0 && errno == EINTR);
  return r < 0 ? errno : 0;
}

int SysFlush(int fd, int queue) {
  int r;
  do {
    r = ::tcflush(fd, queue);
  } while (r < 0 && errno == EINTR);
  return r < 0 ? errno : 0;
}

// Bytes transferred, or -errno.
ssize_t SysRead(int fd, void* buf, size_t n) {
  ssize_t r;
  do {
    r = ::read(fd, buf, n);
  } while (r < 0 && errno == EINTR);
  return r < 0 ? -errno : r;
}

platform::Waitable Writable(int fd) {
  return platform::Waitable{fd, POLLOUT, nullptr};
}

// Holds for `ms` milliseconds with high resolution. Longer stretches sleep in the wait
// on `stop` and only the last millisecond spins, so slow lines do not burn a core.
// Returns false when stopped.
bool Pace(double ms, platform::Event& stop) {
  const auto until = Clock::now() + std::chrono::nanoseconds(static_cast<int64_t>(ms * 1e6));
  for (;;) {
    const auto now = Clock::now();
    if (now >= until) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
    if (left.count() >= 2) {
      if (platform::WaitAny({platform::Signalled(stop)}, left - std::chrono::milliseconds(1)) == 0)
        return false;
    }
  }
}

// Writes all of `data` before `deadline`, waiting for room in the output queue.
PortResult WriteAll(PortIo& io, int fd, const char* data, size_t n, Clock::time_point deadline,
                    platform::Event& stop) {
  while (n > 0) {
    ssize_t w = io.Write(fd, data, n);
    if (w > 0) {
      data += w;
      n -= static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && w != -EAGAIN) return {PortStatus::SystemError, static_cast<int>(-w)};
    int r = platform::WaitAnyUntil({platform::Signalled(stop), Writable(fd)}, deadline);
    if (r == 0) return {PortStatus::Stopped, 0};
    if (r == platform::kWaitTimeout) return {PortStatus::Timeout, 0};
    if (r == platform::kWaitError) return {PortStatus::SystemError, errno};
  }
  return {};
}

// Waits until everything written has left the output queue. A driver that cannot tell
// has nothing to wait for.
PortResult Drain(PortIo& io, int fd) {
  const int err = io.Drain(fd);
  if (err && !NotSupported(err)) return {PortStatus::SystemError, err};
  return {};
}

}  // namespace

int PortResult::Code() const {
  switch (status) {
    case PortStatus::Received:
      return 0;
    case PortStatus::Timeout:
      return 2;
    case PortStatus::LineError:
    case PortStatus::SystemError:
      return 3;
    case PortStatus::Stopped:
    case PortStatus::Closed:
      return -1;
  }
  return -1;
}

std::string PortResult::Reason() const {
  if (status != PortStatus::SystemError || sys_errno == 0) return {};
  return std::strerror(sys_errno);
}

bool BaudRateSupported(int32_t baud) {
  for (int32_t b : kBaudRates)
    if (b == baud) return true;
  return false;
}

LineTiming LineTimingFor(const PortSettings& s) {
  LineTiming t;
  const int bits = 2 + s.byte_size +
                   (s.parity == 1 || s.parity == 2 || s.parity == 4 || s.parity == 5 ? 1 : 0) +
                   (s.stop_bits == 2 ? 1 : 0);
  if (s.baud_rate <= 0) return t;
  // Single precision, as the figures have always been computed.
  t.char_time_ms = static_cast<float>(bits) * 1000.0f / static_cast<float>(s.baud_rate);
  t.timeouts.read_interval = static_cast<uint32_t>(std::ceil(1.5f * t.char_time_ms));
  t.timeouts.read_total_multiplier = static_cast<uint32_t>(
      std::ceil(static_cast<float>(t.timeouts.read_interval) + t.char_time_ms));
  t.timeouts.read_total_constant = 50;
  t.timeouts.write_total_multiplier = 10;
  t.timeouts.write_total_constant = 500;
  t.reply_wait_ms = static_cast<uint16_t>(t.timeouts.read_total_multiplier * 30 + 50);
  return t;
}

std::string DevicePath(std::string_view name) {
  if (!name.empty() && name.front() == '/') return std::string(name);
  if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
      (name[2] == 'M' || name[2] == 'm')) {
    std::string_view digits = name.substr(3);
    unsigned number = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec == std::errc() && end == digits.data() + digits.size() && number >= 1)
      return "/dev/ttyS" + std::to_string(number - 1);
  }
  return "/dev/" + std::string(name);
}

std::string OpenFailureMessage(std::string_view port_name, int sys_errno) {
  std::string text = "Не удается открыть порт " + std::string(port_name) +
                     ". Связь с сетью отсутствует. Проверьте сетевые параметры";
  if (sys_errno == 0) return text;
  text += "\n" + (IsNetworkPortName(port_name) ? std::string(port_name) : DevicePath(port_name)) +
          ": " + std::strerror(sys_errno);
  if (sys_errno == EACCES || sys_errno == EPERM)
    text +=
        "\nНет доступа к устройству: пользователю нужны права на чтение и запись порта "
        "(в Debian — членство в группе dialout, затем повторный вход в систему).";
  else if (sys_errno == EWOULDBLOCK || sys_errno == EBUSY)
    text += "\nПорт занят другой программой.";
  return text;
}

int OpenAndReport(SerialPort& port, bool report) {
  const int result = port.Open();
  if (result != kOpenOk)
    exit_status.fetch_or(0x02);
  else
    exit_status.fetch_and(~uint32_t{0x02});
  if (result != kOpenOk && report) {
    presenter().ShowMessage(OpenFailureMessage(port.settings().port_name,
                                               result == kOpenFailed ? port.last_errno() : 0),
                            "Ошибка драйвера последовательного порта", MsgIcon::Error,
                            MsgButtons::Ok);
  }
  return result;
}

SerialPort::SerialPort(PortIo& io) : io_(io) {}

int SerialPort::OpenNetwork() {
  // The remote side keeps the rates; they are still checked as for a local port, since
  // the timing follows from them.
  const PortSettings& s = settings_;
  if (s.parity < 0 || s.parity > 5 || s.stop_bits < 1 || s.stop_bits > 2 ||
      !BaudRateSupported(s.baud_rate))
    return kOpenUnsupported;
  if (s.byte_size < 5 || s.byte_size > 8) return kOpenBadByteSize;
  auto network = std::make_unique<NetworkPort>();
  int err = 0;
  const int fd = network->Connect(s.port_name, err);
  if (fd < 0) {
    last_errno_ = err;
    return kOpenFailed;
  }
  fd_ = fd;
  network_ = std::move(network);
  modem_lines_ = false;
  have_icount_ = false;
  timing_ = LineTimingFor(s);
  timing_.reply_wait_ms = static_cast<uint16_t>(timing_.reply_wait_ms + network_->AllowanceMs());
  return kOpenOk;
}

int SerialPort::FlushNetworkInput() {
  if (NetworkPort::DropInput(fd_) == 0) return 0;
  // The server has gone or dropped us: this command connects again.
  ::close(fd_);
  fd_ = -1;
  int err = 0;
  const int fd = network_->Connect(settings_.port_name, err);
  if (fd < 0) return err;
  fd_ = fd;
  return 0;
}

SerialPort::~SerialPort() {
  if (IsOpen()) Close();
}

void SerialPort::Release() {
  ::close(fd_);  // the descriptor is gone whatever close reports
  fd_ = -1;
  rts_raised_ = false;
  kernel_rs485_on_ = false;
  kernel_rs485_supported_ = false;
}

int SerialPort::Open() {
  if (IsOpen()) Close();
  timing_ = LineTiming{};
  last_errno_ = 0;
  modem_lines_ = true;
  have_icount_ = true;
  have_lsr_ = true;

  if (IsNetworkPortName(settings_.port_name)) return OpenNetwork();
  const std::string path = DevicePath(settings_.port_name);
  if (path.find('\0') != std::string::npos) {  // would open some other, shorter path
    last_errno_ = EINVAL;
    return kOpenFailed;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    last_errno_ = errno;
    return kOpenFailed;
  }
  fd_ = fd;
  if (int err = ProbeTerminal(fd_)) {
    last_errno_ = err;
    Release();
    return kOpenFailed;
  }
  // Nobody else may use the line while we hold it: TIOCEXCL keeps other programs from
  // opening the device, the lock tells cooperating ones that it is taken.
  if (::flock(fd_, LOCK_EX | LOCK_NB) < 0 && errno == EWOULDBLOCK) {
    last_errno_ = EWOULDBLOCK;
    Release();
    return kOpenFailed;
  }
  SysIoctl(fd_, TIOCEXCL, nullptr);

  // The settings are checked in this order so that the result codes stay as they were.
  const PortSettings& s = settings_;
  if (s.parity < 0 || s.parity > 5) {
    Release();
    return kOpenUnsupported;
  }
  if (s.byte_size < 5 || s.byte_size > 8) {
    Release();
    return kOpenBadByteSize;
  }
  if (s.stop_bits != 1 && s.stop_bits != 2) {
    Release();
    return kOpenUnsupported;
  }
  if (!BaudRateSupported(s.baud_rate)) {
    Release();
    return kOpenUnsupported;
  }

  LineConfig config;
  config.baud_rate = static_cast<uint32_t>(s.baud_rate);
  config.byte_size = s.byte_size;
  config.parity = s.parity;
  config.stop_bits = s.stop_bits;
  if (int err = ConfigureLine(fd_, config)) {
    last_errno_ = err;
    Release();
    return kOpenFailed;
  }

  // DTR stays low and RTS is ours to switch; it rests low so that a semi-automatic
  // converter listens. A pseudo-terminal has no modem lines at all.
  if (int err = io_.ModemLines(fd_, TIOCM_DTR | TIOCM_RTS, false)) {
    if (!NotSupported(err)) {
      last_errno_ = err;
      Release();
      return kOpenFailed;
    }
    modem_lines_ = false;
  }

  // USB adapters hold received bytes for up to 16 ms unless asked not to; at our reply
  // waits that matters. Drivers without the setting are left as they are.
  serial_struct serial{};
  if (SysIoctl(fd_, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
    serial.flags |= ASYNC_LOW_LATENCY;
    SysIoctl(fd_, TIOCSSERIAL, &serial);
  }

  // Whether the driver can switch the direction itself; it is asked to only in the
  // kernel converter mode.
  serial_rs485 rs485{};
  kernel_rs485_supported_ = io_.Ioctl(fd_, TIOCGRS485, &rs485) == 0;

  if (int err = SysFlush(fd_, TCIOFLUSH)) {
    last_errno_ = err;
    Release();
    return kOpenFailed;
  }
  timing_ = LineTimingFor(s);
  return kOpenOk;
}

int SerialPort::Close() {
  if (network_) {
    if (IsOpen()) Release();
    network_.reset();
    timing_ = LineTiming{};
    return 0;
  }
  if (!IsOpen()) return -2;
  // The driver's RS-485 mode outlives the descriptor; the next user gets the port back
  // as it was.
  if (kernel_rs485_on_) SetKernelRs485(false);
  const int err = SysFlush(fd_, TCIOFLUSH);
  // A device that vanished cannot be purged; holding on to its descriptor would only
  // keep the next open from working, so it is closed all the same.
  Release();
  timing_ = LineTiming{};
  if (err) {
    last_errno_ = err;
    return -1;
  }
  return 0;
}

int SerialPort::SetRts(bool raised) {
  if (!modem_lines_) return 0;
  if (int err = io_.ModemLines(fd_, TIOCM_RTS, raised)) {
    if (NotSupported(err)) {
      modem_lines_ = false;
      return 0;
    }
    return err;
  }
  rts_raised_ = raised;
  return 0;
}

int SerialPort::SetKernelRs485(bool on) {
  serial_rs485 conf{};
  if (on) {
    const KernelRs485& k = settings_.kernel_rs485;
    conf.flags =
        SER_RS485_ENABLED | (k.rts_on_send ? SER_RS485_RTS_ON_SEND : SER_RS485_RTS_AFTER_SEND);
    conf.delay_rts_before_send = k.delay_before_ms;
    conf.delay_rts_after_send = k.delay_after_ms;
  }
  if (int err = io_.Ioctl(fd_, TIOCSRS485, &conf)) return err;
  kernel_rs485_on_ = on;
  return 0;
}

void SerialPort::WaitTransmitterEmpty() {
  if (!have_lsr_) return;
  // Everything has left the driver's queue by now; what the FIFO and the shift register
  // still hold goes out within a FIFO's worth of character times.
  constexpr double kFifoCharacters = 130;
  const auto until = Clock::now() + std::chrono::nanoseconds(static_cast<int64_t>(
                                        (kFifoCharacters * timing_.char_time_ms + 1) * 1e6));
  for (;;) {
    // Taken before the poll, so that a thread held up past the bound still looks once more.
    const bool late = Clock::now() >= until;
    unsigned int status = 0;
    if (int err = io_.Ioctl(fd_, TIOCSERGETLSR, &status)) {
      if (NotSupported(err)) have_lsr_ = false;
      return;
    }
    if ((status & TIOCSER_TEMT) || late || stop_event.IsSet()) return;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

int64_t SerialPort::LineErrorCount() {
  if (!have_icount_) return -1;
  serial_icounter_struct counts{};
  if (SysIoctl(fd_, TIOCGICOUNT, &counts) != 0) {
    have_icount_ = false;
    return -1;
  }
  return int64_t{counts.frame} + counts.overrun + counts.parity + counts.brk + counts.buf_overrun;
}

PortResult SerialPort::SendReceive(std::string_view request, Reply& reply, FrameEnd end,
                                   int wait_ms) {
  reply = Reply{};
  if (!IsOpen()) return {PortStatus::Closed, 0};
  // A stopped port sends nothing: the request could not be answered anyway.
  if (stop_event.IsSet()) return {PortStatus::Stopped, 0};
  if (int err = network_ ? FlushNetworkInput() : SysFlush(fd_, TCIFLUSH))
    return {PortStatus::SystemError, err};
  const int64_t errors_before = LineErrorCount();
  PortResult sent = Send(request);
  if (sent.status != PortStatus::Received) return sent;
  return Receive(reply, end, errors_before, wait_ms);
}

PortResult SerialPort::Send(std::string_view request) {
  const CommTimeouts& t = timing_.timeouts;
  const int mode = converter_mode();
  // The driver switches the direction only in the kernel mode; in the others RTS is ours.
  if (!network_ && (mode == kConverterKernel) != kernel_rs485_on_)
    if (int err = SetKernelRs485(mode == kConverterKernel)) return {PortStatus::SystemError, err};

  // A network line's server drives its own converter: the frame goes in one piece.
  if (mode != kConverterSemiAuto || network_) {
    // A send stopped halfway in the semi-automatic mode may have left the transmitter on.
    if (rts_raised_ && mode == kConverterAuto)
      if (int err = SetRts(false)) return {PortStatus::SystemError, err};
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(t.write_total_multiplier * request.size() +
                                                 t.write_total_constant);
    PortResult r = WriteAll(io_, fd_, request.data(), request.size(), deadline, stop_event);
    if (r.status != PortStatus::Received) return r;
    // The reply wait is the device's time: it starts once the request is on the line.
    return Drain(io_, fd_);
  }

  if (int err = SetRts(true)) return {PortStatus::SystemError, err};
  for (char c : request) {
    if (stop_event.IsSet()) return {PortStatus::Stopped, 0};
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(t.write_total_multiplier + t.write_total_constant);
    PortResult r = WriteAll(io_, fd_, &c, 1, deadline, stop_event);
    if (r.status != PortStatus::Received) return r;  // RTS stays up until the next send
    if (!Pace(timing_.char_time_ms, stop_event)) return {PortStatus::Stopped, 0};
  }
  // Lowering RTS while a UART's FIFO still holds the last characters would cut them off.
  if (PortResult r = Drain(io_, fd_); r.status != PortStatus::Received) return r;
  WaitTransmitterEmpty();
  if (int err = SetRts(false)) return {PortStatus::SystemError, err};
  return {};
}

PortResult SerialPort::Receive(Reply& reply, FrameEnd end, int64_t errors_before, int wait_ms) {
  const auto reply_wait = std::chrono::milliseconds(timing_.reply_wait_ms);
  const auto sent_at = Clock::now();
  auto deadline = sent_at + (wait_ms > 0 ? std::chrono::milliseconds(wait_ms) : reply_wait);
  LineMarkDecoder marks;
  uint8_t raw[64];
  int empty_reads = 0;
  for (;;) {
    int r = platform::WaitAnyUntil({platform::Signalled(stop_event), platform::Readable(fd_)},
                                   deadline);
    if (r == 0) return {PortStatus::Stopped, 0};
    if (r == platform::kWaitError) return {PortStatus::SystemError, errno};
    if (r == platform::kWaitTimeout) {
      // Without an end character, a pause after data ends the frame.
      if (end == FrameEnd::Pause && reply.count > 0) return {};
      return {PortStatus::Timeout, 0};
    }

    ssize_t n = SysRead(fd_, raw, sizeof raw);
    if (n == -EAGAIN) continue;
    if (n < 0) return {PortStatus::SystemError, static_cast<int>(-n)};
    if (n == 0) {
      // Readable yet empty, again and again: the device is gone.
      if (++empty_reads >= 3) return {PortStatus::SystemError, EIO};
      continue;
    }
    empty_reads = 0;
    if (reply.first_char_ms < 0) {
      const auto now = Clock::now();
      reply.first_char_ms = std::chrono::duration<double, std::milli>(now - sent_at).count();
      // A device that has begun to answer finishes in the line's own time.
      if (end == FrameEnd::CarriageReturn) deadline = std::max(deadline, sent_at + reply_wait);
    }

    if (errors_before >= 0 && LineErrorCount() > errors_before) return {PortStatus::LineError, 0};
    for (ssize_t i = 0; i < n; ++i) {
      uint8_t c;
      switch (marks.Feed(raw[i], c)) {
        case LineMarkDecoder::Out::None:
          continue;
        case LineMarkDecoder::Out::LineError:
          return {PortStatus::LineError, 0};
        case LineMarkDecoder::Out::Data:
          break;
      }
      if (reply.count < kReplyCapacity)
        reply.data[reply.count++] = static_cast<char>(c);
      else
        reply.truncated = true;
      if (end == FrameEnd::CarriageReturn && c == '\r') return {};
    }
    if (end == FrameEnd::Pause) {
      if (reply.count == kReplyCapacity) return {};
      deadline = Clock::now() + reply_wait;
    }
  }
}

}  // namespace vesk::link
