// The bus scan's single question: unlike Transact it names any address, tries once, and
// tells a late answer of another device from silence.

#include <chrono>

#include "link/device_link.h"
#include "link/line_event_source.h"
#include "link/port_loss.h"

namespace vesk::link {

namespace {

constexpr const char* kTextTimeout = "Таймаут при передаче данных (нет связи)";
constexpr const char* kTextChecksum = "Ошибка в контрольной сумме ответа";

// The device address a valid reply frame carries.
int32_t ReplyAddress(std::string_view chars, int32_t length_bits) {
  uint8_t bytes[2] = {};
  if (chars.size() < 5) return -1;
  DecodeBuffer(chars.data() + 1, 4, bytes, sizeof bytes);
  return length_bits > 8 ? (bytes[0] << 3) | (bytes[1] >> 5) : bytes[0];
}

}  // namespace

ScanReply DeviceLink::ScanRead(int32_t address, const Parameter& subject, int wait_ms) {
  ScanReply out;
  std::lock_guard lock(lock_);
  const int32_t length_bits = port_.settings().address_length;
  const uint16_t hash = NameHash(subject.short_name);
  const FrameAddress frame_address{address, length_bits, 0};
  RequestFrame frame;
  if (!BuildRequest(true, hash, nullptr, 0, frame_address, frame)) {
    out.error = "Не могу зашифровать посылку (ф-я encode_buffer)";
    return out;
  }
  EventSource watch{observers_, &subject, true, hash, frame_address, 0, 0};
  if (watch.Active()) watch.Sent(frame.Text(), nullptr, 0);
  const auto start = std::chrono::steady_clock::now();
  Reply answer;
  const PortResult result =
      port_.SendReceive(frame.Text(), answer, FrameEnd::CarriageReturn, wait_ms);
  out.reply_ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  out.first_char_ms = answer.first_char_ms;
  if (watch.Active()) watch.replied_ns = MonotonicSinceStart();
  auto fail = [&](LineEventKind kind, LineFault fault, std::string why) {
    if (watch.Active()) watch.Failed(kind, fault, answer.View(), why);
    out.error = std::move(why);
    return out;
  };
  switch (result.status) {
    case PortStatus::Received:
      break;
    case PortStatus::Stopped:
    case PortStatus::Closed:
      out.stopped = true;
      out.error = "Ошибка открытия порта";
      return out;
    case PortStatus::Timeout:
      return fail(LineEventKind::kTimeout, LineFault::kTimeout, kTextTimeout);
    default: {
      if (PortGone(result)) {
        // Every further address would fail the same way; the port is closed so that the
        // next exchange may open it again, as after a lost port in any other exchange.
        out.stopped = out.port_lost = true;
        fail(LineEventKind::kRefused, LineFault::kLineError,
             LostPortText(port_.settings().port_name, result));
        port_.Close();
        return out;
      }
      std::string why = "Неверны настройки порта.";
      if (std::string reason = result.Reason(); !reason.empty()) why += " (" + reason + ")";
      return fail(LineEventKind::kRefused, LineFault::kLineError, why);
    }
  }
  ReplyFrame parsed;
  if (answer.count < 2 || answer.data[0] != kFrameStart || !ParseReply(answer.View(), parsed))
    return fail(LineEventKind::kRefused, LineFault::kChecksum, kTextChecksum);
  const int32_t from = ReplyAddress(answer.View(), length_bits);
  if (from != address) {
    out.late_address = from;
    fail(LineEventKind::kRefused, LineFault::kOtherCommand,
         "Запоздалый ответ прибора с адреса " + std::to_string(from));
    out.error = kTextTimeout;
    return out;
  }
  // Any valid frame from the address, a refusal included, shows a device there.
  if (watch.Active()) watch.Replied(answer.View(), parsed);
  out.frame = parsed;
  out.answered = true;
  return out;
}

}  // namespace vesk::link
