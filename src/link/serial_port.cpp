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
#include "link/network_settings.h"
#include "link/presenter.h"
#include "link/rfc2217_port.h"
#include "platform/language.h"
#include "platform/wait.h"

namespace vesk::link {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

int PortResult::Code() const {
  switch (status) {
    case PortStatus::Sent:
    case PortStatus::Received:
      return 0;
    case PortStatus::Timeout:
      return 2;
    case PortStatus::LineError:
    case PortStatus::EchoMismatch:
    case PortStatus::SystemError:
      return 3;
    case PortStatus::Stopped:
    case PortStatus::Closed:
      return -1;
  }
  return -1;
}

std::string PortResult::Reason() const {
  if (status == PortStatus::EchoMismatch) return platform::Tr(kTextEchoMismatch);
  if (status != PortStatus::SystemError || sys_errno == 0) return {};
  return std::strerror(sys_errno);
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
  std::string text = platform::Tr("Не удается открыть порт ") + std::string(port_name) +
                     platform::Tr(". Связь с сетью отсутствует. Проверьте сетевые параметры");
  if (sys_errno == 0) return text;
  text += "\n" + (IsNetworkPortName(port_name) ? std::string(port_name) : DevicePath(port_name)) +
          ": " + std::strerror(sys_errno);
  if (sys_errno == EACCES || sys_errno == EPERM)
    text += platform::Tr(
        "\nНет доступа к устройству: пользователю нужны права на чтение и запись порта "
        "(в Debian — членство в группе dialout, затем повторный вход в систему).");
  else if (sys_errno == EWOULDBLOCK || sys_errno == EBUSY)
    text += platform::Tr("\nПорт занят другой программой.");
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
                            platform::Tr(kOpenFailureCaption), MsgIcon::Error, MsgButtons::Ok);
  }
  return result;
}

int CheckPortSettings(const PortSettings& s) {
  if (s.parity < 0 || s.parity > 5) return kOpenUnsupported;
  if (s.byte_size < 5 || s.byte_size > 8) return kOpenBadByteSize;
  if (s.stop_bits != 1 && s.stop_bits != 2) return kOpenUnsupported;
  if (!BaudRateSupported(s.baud_rate)) return kOpenUnsupported;
  return kOpenOk;
}

std::unique_ptr<PortKind> MakePortKind(std::string_view port_name, PortIo& io,
                                       platform::Event& stop, platform::Event* cancel) {
  if (const auto endpoint = ParseNetworkPortName(port_name)) {
    if (endpoint->scheme == NetworkScheme::Rfc2217)
      return std::make_unique<Rfc2217Port>(io, stop, cancel);
    return std::make_unique<NetworkPort>(io, stop, cancel);
  }
  // A name with a network scheme that does not parse fails in the network kind's open.
  if (IsNetworkPortName(port_name)) return std::make_unique<NetworkPort>(io, stop, cancel);
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
  latency_timer_ms_ = 0;
  low_latency_refused_ = false;
  echo_ = LineEcho::Unknown;
  echo_mode_.store(settings_.echo);
  if (!IsOpen()) kind_ = MakePortKind(settings_.port_name, io_, stop_event, cancel_event_);
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
  latency_timer_ms_ = kind_->LatencyTimerMs();
  low_latency_refused_ = kind_->LowLatencyRefused();
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
                                   int wait_ms, EchoTake echo) {
  reply = Reply{};
  held_at_ = held_count_ = 0;
  held_error_ = false;
  request_size_ = 0;
  if (!IsOpen()) return {PortStatus::Closed, 0};
  // A stopped port sends nothing: the request could not be answered anyway.
  if (stop_event.IsSet()) return {PortStatus::Stopped, 0};
  const int err = kind_->BeginExchange();
  fd_ = kind_->fd();  // a network line may have connected again
  if (err == ECANCELED && (stop_event.IsSet() || (cancel_event_ && cancel_event_->IsSet())))
    return {PortStatus::Stopped, 0};
  if (err) return {PortStatus::SystemError, err};
  const PortResult sent = kind_->Send(request, SendContext{timing_, converter_mode(), stop_event});
  modem_lines_ = kind_->ModemLines();
  if (sent.status != PortStatus::Sent) return sent;
  reply.sent = true;
  sent_at_ = Clock::now();
  short_wait_ = wait_ms > 0;
  deadline_ = sent_at_ + std::chrono::milliseconds(short_wait_ ? wait_ms : timing_.reply_wait_ms);
  request_size_ = std::min(request.size(), request_.size());
  std::copy_n(request.begin(), request_size_, request_.begin());
  if (echo == EchoTake::Expect) {
    if (PortResult r = TakeEcho(); r.status != PortStatus::Received) return r;
    reply.echo_taken = true;
    // The device's time begins once its request has been heard back.
    sent_at_ = Clock::now();
    deadline_ = sent_at_ + std::chrono::milliseconds(short_wait_ ? wait_ms : timing_.reply_wait_ms);
  }
  return Receive(reply, end, echo);
}

PortResult SerialPort::ReceiveMore(Reply& reply, FrameEnd end) {
  reply = Reply{};
  if (!IsOpen()) return {PortStatus::Closed, 0};
  return Receive(reply, end, EchoTake::None);
}

PortResult SerialPort::Fill(Clock::time_point deadline) {
  int empty_reads = 0;
  for (;;) {
    int r = platform::WaitAnyUntil({platform::Signalled(stop_event), platform::Readable(fd_)},
                                   deadline);
    if (r == 0) return {PortStatus::Stopped, 0};
    if (r == platform::kWaitError) return {PortStatus::SystemError, errno};
    if (r == platform::kWaitTimeout) return {PortStatus::Timeout, 0};
    const ReadOutcome got = kind_->Read(held_.data(), held_.size());
    if (got.count == -EAGAIN) continue;
    if (got.count < 0) return {PortStatus::SystemError, static_cast<int>(-got.count)};
    if (got.count == 0 && !got.line_error) {
      // Readable yet empty, again and again: the device is gone.
      if (++empty_reads >= 3) return {PortStatus::SystemError, EIO};
      continue;
    }
    held_at_ = 0;
    held_count_ = static_cast<size_t>(got.count);
    held_error_ = got.line_error;
    return {PortStatus::Received, 0};
  }
}

PortResult SerialPort::TakeEcho() {
  // The converter hears the request while it goes out, so the copy is complete a
  // request's line time after the send at the latest; two characters, the port kind's
  // allowance, the adapter's latency and a scheduler's tick are its slack.
  constexpr double kSchedulerSlackMs = 20;
  const double window_ms = (static_cast<double>(request_size_) + 2) * timing_.char_time_ms +
                           kind_->AllowanceMs() + latency_timer_ms_ + kSchedulerSlackMs;
  const auto until = sent_at_ + std::chrono::microseconds(static_cast<int64_t>(window_ms * 1000));
  size_t matched = 0;
  bool differs = false;
  while (matched < request_size_) {
    if (held_at_ == held_count_) {
      if (held_error_) {
        held_error_ = false;
        return {PortStatus::EchoMismatch, 0};
      }
      const PortResult r = Fill(until);
      if (r.status == PortStatus::Timeout) return {PortStatus::EchoMismatch, 0};
      if (r.status != PortStatus::Received) return r;
    }
    while (held_at_ < held_count_ && matched < request_size_)
      differs |= static_cast<char>(held_[held_at_++]) != request_[matched++];
  }
  if (differs) return {PortStatus::EchoMismatch, 0};
  return {PortStatus::Received, 0};
}

PortResult SerialPort::Receive(Reply& reply, FrameEnd end, EchoTake echo) {
  constexpr size_t kNoiseKept = 16;
  const auto reply_wait = std::chrono::milliseconds(timing_.reply_wait_ms);
  for (;;) {
    if (held_at_ == held_count_ && !held_error_) {
      const PortResult r = Fill(deadline_);
      if (r.status == PortStatus::Timeout) {
        // Without an end character, a pause after data ends the frame.
        if (end == FrameEnd::Pause && reply.count > 0) return {PortStatus::Received, 0};
        // An echo that was looked for and nothing came back in a whole reply wait: the
        // line has none. A short wait proves nothing.
        if (echo == EchoTake::Detect && reply.noise == 0 && reply.count == 0 && !short_wait_)
          echo_ = LineEcho::Absent;
        return r;
      }
      if (r.status != PortStatus::Received) return r;
      if (reply.first_char_ms < 0 && held_count_ > 0) {
        const auto now = Clock::now();
        reply.first_char_ms = std::chrono::duration<double, std::milli>(now - sent_at_).count();
        // A device that has begun to answer finishes in the line's own time.
        if (end != FrameEnd::Pause && short_wait_) {
          deadline_ = std::max(deadline_, sent_at_ + reply_wait);
          short_wait_ = false;
        }
      }
    }

    while (held_at_ < held_count_) {
      const char c = static_cast<char>(held_[held_at_++]);
      if (end == FrameEnd::Lorn && reply.count == 0 && c != kFrameStart) {
        if (reply.noise_chars.size() < kNoiseKept) reply.noise_chars += c;
        ++reply.noise;
        continue;
      }
      if (reply.count < kReplyCapacity)
        reply.data[reply.count++] = c;
      else
        reply.truncated = true;
      if (end != FrameEnd::Pause && c == kFrameEnd) {
        if (echo != EchoTake::Detect) return {PortStatus::Received, 0};
        echo = EchoTake::None;
        const bool same = reply.View() == std::string_view(request_.data(), request_size_);
        echo_ = same ? LineEcho::Present : LineEcho::Absent;
        if (!same) return {PortStatus::Received, 0};
        // A read is never answered with itself: this was the converter's copy.
        const double first_char_ms = reply.first_char_ms;
        reply = Reply{};
        reply.first_char_ms = first_char_ms;
        reply.echo_taken = true;
      }
    }
    if (held_error_) {
      held_error_ = false;
      // A glitch of the turnaround before the reply begins is noise; inside it, a fault.
      if (end == FrameEnd::Lorn && reply.count == 0) {
        ++reply.noise;
        continue;
      }
      return {PortStatus::LineError, 0};
    }
    if (end == FrameEnd::Pause) {
      if (reply.count == kReplyCapacity) return {PortStatus::Received, 0};
      deadline_ = Clock::now() + reply_wait;
    }
  }
}

}  // namespace vesk::link
