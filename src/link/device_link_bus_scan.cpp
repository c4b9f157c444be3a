// The bus scan's single question: unlike Transact it names any address, tries once, and
// tells a late answer of another device from silence.

#include <chrono>

#include "link/device_link.h"
#include "link/line_event_source.h"
#include "link/port_loss.h"
#include "platform/language.h"

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

BusScanReply DeviceLink::BusScanRead(int32_t address, const Parameter& subject, int wait_ms) {
  BusScanReply out;
  std::lock_guard lock(lock_);
  const int32_t length_bits = port_.settings().address_length;
  const uint16_t hash = NameHash(subject.short_name);
  const FrameAddress frame_address{address, length_bits, 0};
  RequestFrame frame;
  if (!BuildRequest(true, hash, nullptr, 0, frame_address, frame)) {
    out.error = platform::Tr(kTextCannotEncode);
    return out;
  }
  EventSource watch{observers_, &subject, true, hash, frame_address, 0, 0};
  watch.bus_scan = true;
  if (watch.Active()) watch.Sent(frame.Text(), nullptr, 0);
  const auto start = std::chrono::steady_clock::now();
  Reply answer;
  // A USB adapter holds what it received for its latency timer, and an echo that is
  // looked for comes back before the device can begin: neither is the device's delay (an
  // expected echo is taken before the wait begins).
  const EchoTake echo = EchoFor(true, &subject);
  int first_wait_ms = wait_ms;
  if (wait_ms > 0) {
    first_wait_ms += port_.latency_timer_ms();
    if (echo == EchoTake::Detect)
      first_wait_ms +=
          static_cast<int>(static_cast<float>(frame.length) * port_.CharTimeMs() + 1.0f);
  }
  PortResult result = port_.SendReceive(frame.Text(), answer, FrameEnd::Lorn, first_wait_ms, echo);
  auto fail = [&](LineEventKind kind, LineFault fault, std::string why) {
    if (watch.Active()) watch.Failed(kind, fault, answer.View(), why);
    out.error = std::move(why);
    return out;
  };
  for (;;) {
    out.reply_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (out.first_char_ms < 0) out.first_char_ms = answer.first_char_ms;
    if (watch.Active()) {
      watch.replied_ns = MonotonicSinceStart();
      if (answer.noise > 0)
        watch.Skipped(LineFault::kNoise, answer.noise_chars, platform::Tr(kTextNoiseSkipped));
    }
    switch (result.status) {
      case PortStatus::Received:
        break;
      case PortStatus::Stopped:
      case PortStatus::Closed:
        out.stopped = true;
        out.error = platform::Tr(kTextPortNotOpen);
        return out;
      case PortStatus::Timeout:
        return fail(LineEventKind::kTimeout, LineFault::kTimeout, platform::Tr(kTextTimeout));
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
        std::string why = platform::Tr(kTextBadSettings);
        if (std::string reason = result.Reason(); !reason.empty()) why += " (" + reason + ")";
        return fail(LineEventKind::kRefused, LineFault::kLineError, why);
      }
    }
    ReplyFrame parsed;
    if (answer.truncated || !ParseReply(answer.View(), parsed))
      return fail(LineEventKind::kRefused, LineFault::kChecksum, platform::Tr(kTextChecksum));
    const int32_t from = ReplyAddress(answer.View(), length_bits);
    if (from == address) {
      // Any valid frame from the address, a refusal included, shows a device there.
      if (watch.Active()) watch.Replied(answer.View(), parsed);
      out.frame = parsed;
      out.answered = true;
      return out;
    }
    // A device that answered an earlier question late; this address may still answer.
    out.late_address = from;
    if (watch.Active())
      watch.Skipped(LineFault::kStray, answer.View(),
                    platform::Tr(kTextLateReply) + std::to_string(from));
    result = port_.ReceiveMore(answer, FrameEnd::Lorn);
  }
}

}  // namespace vesk::link
