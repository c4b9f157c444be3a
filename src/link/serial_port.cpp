#include "link/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>

#include "link/exit_status.h"
#include "link/local_port.h"
#include "link/network_port.h"
#include "link/presenter.h"
#include "link/rfc2217_port.h"
#include "platform/wait.h"

namespace vesk::link {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kBaudRates[] = {110,   300,   600,   1200,  2400,  4800,   9600,  14400,
                                  19200, 28800, 38400, 56000, 57600, 115200, 128000};

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

std::unique_ptr<PortKind> MakePortKind(std::string_view port_name, PortIo& io) {
  if (const auto endpoint = ParseNetworkPortName(port_name)) {
    if (endpoint->scheme == NetworkScheme::Rfc2217) return std::make_unique<Rfc2217Port>(io);
    return std::make_unique<NetworkPort>(io);
  }
  // A name with a network scheme that does not parse fails in the network kind's connect.
  if (IsNetworkPortName(port_name)) return std::make_unique<NetworkPort>(io);
  return std::make_unique<LocalPort>(io);
}

bool PortKindSetsRate(std::string_view port_name) {
  if (const auto endpoint = ParseNetworkPortName(port_name))
    return endpoint->scheme == NetworkScheme::Rfc2217;
  return !IsNetworkPortName(port_name);
}

SerialPort::SerialPort(PortIo& io) : io_(io) {}

SerialPort::~SerialPort() {
  if (IsOpen()) Close();
}

int SerialPort::Open() {
  if (IsOpen() && !kind_->Keeps(settings_.port_name)) Close();
  timing_ = LineTiming{};
  last_errno_ = 0;
  modem_lines_ = true;
  kernel_rs485_supported_ = false;
  if (!IsOpen()) kind_ = MakePortKind(settings_.port_name, io_);
  int err = 0;
  const int result = kind_->Open(settings_, err);
  if (result != kOpenOk) {
    last_errno_ = err;
    kind_.reset();
    fd_ = -1;
    return result;
  }
  modem_lines_ = kind_->ModemLines();
  kernel_rs485_supported_ = kind_->KernelRs485Supported();
  timing_ = LineTimingFor(settings_);
  timing_.reply_wait_ms = static_cast<uint16_t>(timing_.reply_wait_ms + kind_->AllowanceMs());
  fd_ = kind_->fd();
  return kOpenOk;
}

int SerialPort::Close() {
  if (!kind_) return -2;
  int err = 0;
  const int result = kind_->Close(err);
  kind_.reset();
  fd_ = -1;
  kernel_rs485_supported_ = false;
  timing_ = LineTiming{};
  if (result == -1) last_errno_ = err;
  return result;
}

PortResult SerialPort::SendReceive(std::string_view request, Reply& reply, FrameEnd end,
                                   int wait_ms) {
  reply = Reply{};
  if (!IsOpen()) return {PortStatus::Closed, 0};
  // A stopped port sends nothing: the request could not be answered anyway.
  if (stop_event.IsSet()) return {PortStatus::Stopped, 0};
  const int err = kind_->BeginExchange();
  fd_ = kind_->fd();  // a network line may have connected again
  if (err) return {PortStatus::SystemError, err};
  const PortResult sent = kind_->Send(request, SendContext{timing_, converter_mode(), stop_event});
  modem_lines_ = kind_->ModemLines();
  if (sent.status != PortStatus::Received) return sent;
  return Receive(reply, end, wait_ms);
}

PortResult SerialPort::Receive(Reply& reply, FrameEnd end, int wait_ms) {
  const auto reply_wait = std::chrono::milliseconds(timing_.reply_wait_ms);
  const auto sent_at = Clock::now();
  auto deadline = sent_at + (wait_ms > 0 ? std::chrono::milliseconds(wait_ms) : reply_wait);
  uint8_t data[64];
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

    const ReadOutcome got = kind_->Read(data, sizeof data);
    if (got.count == -EAGAIN) continue;
    if (got.count < 0) return {PortStatus::SystemError, static_cast<int>(-got.count)};
    if (got.count == 0 && !got.line_error) {
      // Readable yet empty, again and again: the device is gone.
      if (++empty_reads >= 3) return {PortStatus::SystemError, EIO};
      continue;
    }
    empty_reads = 0;
    if (reply.first_char_ms < 0 && got.count > 0) {
      const auto now = Clock::now();
      reply.first_char_ms = std::chrono::duration<double, std::milli>(now - sent_at).count();
      // A device that has begun to answer finishes in the line's own time.
      if (end == FrameEnd::CarriageReturn) deadline = std::max(deadline, sent_at + reply_wait);
    }

    for (ssize_t i = 0; i < got.count; ++i) {
      const char c = static_cast<char>(data[i]);
      if (reply.count < kReplyCapacity)
        reply.data[reply.count++] = c;
      else
        reply.truncated = true;
      if (end == FrameEnd::CarriageReturn && c == '\r') return {};
    }
    if (got.line_error) return {PortStatus::LineError, 0};
    if (end == FrameEnd::Pause) {
      if (reply.count == kReplyCapacity) return {};
      deadline = Clock::now() + reply_wait;
    }
  }
}

}  // namespace vesk::link
