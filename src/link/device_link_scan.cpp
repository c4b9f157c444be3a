// The bus scan's single question: unlike Transact it names any address, tries once, and
// tells a late answer of another device from silence.

#include <chrono>

#include "link/device_link.h"

namespace vesk::link {

namespace {

// The device address a valid reply frame carries.
int32_t ReplyAddress(std::string_view chars, int32_t length_bits) {
  uint8_t bytes[2] = {};
  if (chars.size() < 5) return -1;
  DecodeBuffer(chars.data() + 1, 4, bytes, sizeof bytes);
  return length_bits > 8 ? (bytes[0] << 3) | (bytes[1] >> 5) : bytes[0];
}

}  // namespace

ScanReply DeviceLink::ScanRead(int32_t address, uint16_t hash, int wait_ms) {
  ScanReply out;
  std::lock_guard lock(lock_);
  const int32_t length_bits = port_.settings().address_length;
  RequestFrame frame;
  if (!BuildRequest(true, hash, nullptr, 0, FrameAddress{address, length_bits, 0}, frame)) {
    out.error = "Не могу зашифровать посылку (ф-я encode_buffer)";
    return out;
  }
  const auto start = std::chrono::steady_clock::now();
  Reply answer;
  const PortResult result =
      port_.SendReceive(frame.Text(), answer, FrameEnd::CarriageReturn, wait_ms);
  out.reply_ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  switch (result.status) {
    case PortStatus::Received:
      break;
    case PortStatus::Stopped:
    case PortStatus::Closed:
      out.stopped = true;
      out.error = "Ошибка открытия порта";
      return out;
    case PortStatus::Timeout:
      out.error = "Таймаут при передаче данных (нет связи)";
      return out;
    default:
      out.error = "Неверны настройки порта.";
      if (std::string reason = result.Reason(); !reason.empty()) out.error += " (" + reason + ")";
      return out;
  }
  ReplyFrame parsed;
  if (answer.count < 2 || answer.data[0] != kFrameStart || !ParseReply(answer.View(), parsed)) {
    out.error = "Ошибка в контрольной сумме ответа";
    return out;
  }
  const int32_t from = ReplyAddress(answer.View(), length_bits);
  if (from != address) {
    out.late_address = from;
    out.error = "Таймаут при передаче данных (нет связи)";
    return out;
  }
  // Any valid frame from the address, a refusal included, shows a device there.
  out.frame = parsed;
  out.answered = true;
  return out;
}

}  // namespace vesk::link
