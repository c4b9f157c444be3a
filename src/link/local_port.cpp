#include "link/local_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "link/line_config.h"
#include "link/port_write.h"
#include "link/serial_port.h"

namespace vesk::link {

namespace {

using Clock = std::chrono::steady_clock;

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

// The latency timer that FTDI-like USB adapters expose beside the tty in sysfs; 0 where
// there is none.
int ReadLatencyTimer(const std::string& device_path) {
  char resolved[PATH_MAX];
  if (!::realpath(device_path.c_str(), resolved)) return 0;
  const char* name = std::strrchr(resolved, '/');
  if (!name) return 0;
  const std::string sys = std::string("/sys/class/tty/") + (name + 1) + "/device/latency_timer";
  std::FILE* f = std::fopen(sys.c_str(), "re");
  if (!f) return 0;
  int ms = 0;
  if (std::fscanf(f, "%d", &ms) != 1 || ms < 0 || ms > 255) ms = 0;
  std::fclose(f);
  return ms;
}

}  // namespace

LocalPort::~LocalPort() {
  if (fd_ >= 0) {
    int err = 0;
    Close(err);
  }
}

void LocalPort::Release() {
  ::close(fd_);  // the descriptor is gone whatever close reports
  fd_ = -1;
  rts_raised_ = false;
  kernel_rs485_on_ = false;
  kernel_rs485_supported_ = false;
}

int LocalPort::Open(const PortSettings& s, int& err) {
  settings_ = s;
  modem_lines_ = true;
  have_icount_ = true;
  have_lsr_ = true;
  const std::string path = DevicePath(s.port_name);
  if (int e = OpenDevice(path)) {
    err = e;
    return kOpenFailed;
  }
  if (const int checked = CheckPortSettings(s); checked != kOpenOk) {
    Release();
    return checked;
  }
  if (int e = SetUpLine()) {
    err = e;
    Release();
    return kOpenFailed;
  }
  AskDriverFeatures(path);
  if (int e = SysFlush(fd_, TCIOFLUSH)) {
    err = e;
    Release();
    return kOpenFailed;
  }
  return kOpenOk;
}

int LocalPort::OpenDevice(const std::string& path) {
  if (path.find('\0') != std::string::npos) return EINVAL;  // would open a shorter path
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  fd_ = fd;
  if (int e = ProbeTerminal(fd_)) {
    Release();
    return e;
  }
  // Nobody else may use the line while we hold it: TIOCEXCL keeps other programs from
  // opening the device, the lock tells cooperating ones that it is taken.
  if (::flock(fd_, LOCK_EX | LOCK_NB) < 0 && errno == EWOULDBLOCK) {
    Release();
    return EWOULDBLOCK;
  }
  SysIoctl(fd_, TIOCEXCL, nullptr);
  return 0;
}

int LocalPort::SetUpLine() {
  LineConfig config;
  config.baud_rate = static_cast<uint32_t>(settings_.baud_rate);
  config.byte_size = settings_.byte_size;
  config.parity = settings_.parity;
  config.stop_bits = settings_.stop_bits;
  if (int e = ConfigureLine(fd_, config)) return e;
  // DTR stays low and RTS is ours to switch; it rests low so that a semi-automatic
  // converter listens. A pseudo-terminal has no modem lines at all.
  if (int e = io_.ModemLines(fd_, TIOCM_DTR | TIOCM_RTS, false)) {
    if (!NotSupported(e)) return e;
    modem_lines_ = false;
  }
  return 0;
}

void LocalPort::AskDriverFeatures(const std::string& path) {
  // USB adapters hold received bytes for up to 16 ms unless asked not to; at our reply
  // waits that matters. Drivers without the setting are left as they are.
  serial_struct serial{};
  low_latency_refused_ = false;
  if (SysIoctl(fd_, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
    serial.flags |= ASYNC_LOW_LATENCY;
    low_latency_refused_ = SysIoctl(fd_, TIOCSSERIAL, &serial) != 0;
  }
  latency_timer_ms_ = ReadLatencyTimer(path);

  // Whether the driver can switch the direction itself; it is asked to only in the
  // kernel converter mode.
  serial_rs485 rs485{};
  kernel_rs485_supported_ = io_.Ioctl(fd_, TIOCGRS485, &rs485) == 0;
}

int LocalPort::Close(int& err) {
  if (fd_ < 0) return -2;
  // The driver's RS-485 mode outlives the descriptor; the next user gets the port back
  // as it was.
  if (kernel_rs485_on_) SetKernelRs485(false);
  const int e = SysFlush(fd_, TCIOFLUSH);
  // A device that vanished cannot be purged; holding on to its descriptor would only
  // keep the next open from working, so it is closed all the same.
  Release();
  if (e) {
    err = e;
    return -1;
  }
  return 0;
}

int LocalPort::SetRts(bool raised) {
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

int LocalPort::SetKernelRs485(bool on) {
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

void LocalPort::WaitTransmitterEmpty(float char_time_ms, platform::Event& stop) {
  if (!have_lsr_) return;
  // Everything has left the driver's queue by now; what the FIFO and the shift register
  // still hold goes out within a FIFO's worth of character times.
  constexpr double kFifoCharacters = 130;
  const auto until =
      Clock::now() +
      std::chrono::nanoseconds(static_cast<int64_t>((kFifoCharacters * char_time_ms + 1) * 1e6));
  for (;;) {
    // Taken before the poll, so that a thread held up past the bound still looks once more.
    const bool late = Clock::now() >= until;
    unsigned int status = 0;
    if (int err = io_.Ioctl(fd_, TIOCSERGETLSR, &status)) {
      if (NotSupported(err)) have_lsr_ = false;
      return;
    }
    if ((status & TIOCSER_TEMT) || late || stop.IsSet()) return;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

int64_t LocalPort::LineErrorCount() {
  if (!have_icount_) return -1;
  serial_icounter_struct counts{};
  if (SysIoctl(fd_, TIOCGICOUNT, &counts) != 0) {
    have_icount_ = false;
    return -1;
  }
  return int64_t{counts.frame} + counts.overrun + counts.parity + counts.brk + counts.buf_overrun;
}

int LocalPort::BeginExchange() {
  marks_.reset();
  if (int err = SysFlush(fd_, TCIFLUSH)) return err;
  errors_before_ = LineErrorCount();
  return 0;
}

PortResult LocalPort::Send(std::string_view request, const SendContext& context) {
  const CommTimeouts& t = context.timing.timeouts;
  const int mode = context.converter_mode;
  // The driver switches the direction only in the kernel mode; in the others RTS is ours.
  if ((mode == kConverterKernel) != kernel_rs485_on_)
    if (int err = SetKernelRs485(mode == kConverterKernel)) return {PortStatus::SystemError, err};

  if (mode != kConverterSemiAuto) {
    // A send stopped halfway in the semi-automatic mode may have left the transmitter on.
    if (rts_raised_ && mode == kConverterAuto)
      if (int err = SetRts(false)) return {PortStatus::SystemError, err};
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(t.write_total_multiplier * request.size() +
                                                 t.write_total_constant);
    PortResult r = WriteAll(io_, fd_, request.data(), request.size(), deadline, context.stop);
    if (r.status != PortStatus::Sent) return r;
    // The reply wait is the device's time: it starts once the request is on the line.
    return DrainOutput(io_, fd_);
  }

  if (int err = SetRts(true)) return {PortStatus::SystemError, err};
  for (char c : request) {
    if (context.stop.IsSet()) return {PortStatus::Stopped, 0};
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(t.write_total_multiplier + t.write_total_constant);
    PortResult r = WriteAll(io_, fd_, &c, 1, deadline, context.stop);
    if (r.status != PortStatus::Sent) return r;  // RTS stays up until the next send
    if (!Pace(context.timing.char_time_ms, context.stop)) return {PortStatus::Stopped, 0};
  }
  // Lowering RTS while a UART's FIFO still holds the last characters would cut them off.
  if (PortResult r = DrainOutput(io_, fd_); r.status != PortStatus::Sent) return r;
  WaitTransmitterEmpty(context.timing.char_time_ms, context.stop);
  if (int err = SetRts(false)) return {PortStatus::SystemError, err};
  return {PortStatus::Sent, 0};
}

ReadOutcome LocalPort::Read(uint8_t* data, size_t capacity) {
  uint8_t raw[64];
  ssize_t n;
  do {
    n = ::read(fd_, raw, std::min(capacity, sizeof raw));
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return {n < 0 ? -errno : 0, false};
  // Each counted error is reported once: the link tells a glitch before the reply from a
  // fault inside it, and goes on waiting after the first.
  if (errors_before_ >= 0)
    if (const int64_t errors = LineErrorCount(); errors > errors_before_) {
      errors_before_ = errors;
      return {0, true};
    }
  ReadOutcome out;
  for (ssize_t i = 0; i < n; ++i) {
    uint8_t c;
    switch (marks_.Feed(raw[i], c)) {
      case LineMarkDecoder::Out::None:
        continue;
      case LineMarkDecoder::Out::LineError:
        out.line_error = true;
        return out;
      case LineMarkDecoder::Out::Data:
        data[out.count++] = c;
        break;
    }
  }
  return out;
}

}  // namespace vesk::link
