// One LORN transaction: the request out and its answer in, with retries. Each rule has
// its own place: which frame answers the request (MatchReply), how often a failure is
// tried again (RetryPolicy), what exit_status records (link_status.h), and what the
// observers are told (EventSource).

#include <cerrno>
#include <cstring>

#include "link/device_link.h"
#include "link/error_texts.h"
#include "link/line_event_source.h"
#include "link/link_status.h"
#include "link/port_loss.h"
#include "platform/language.h"

namespace vesk::link {

namespace {

// What a valid frame is to the request it came after.
enum class Verdict { kAnswer, kErrorReply, kOtherCommand, kStray };

// A reply names the address and direction of its request; a frame that does not came
// from another device (a late answer on a multi-drop line) or is the request itself
// seen the other way. A broadcast's answer is taken from whoever gives it.
Verdict MatchReply(const RequestFrame& request, bool broadcast, const ReplyFrame& reply) {
  // Byte 1 carries the low address bits and the request flag above the length.
  const bool same_head =
      reply.head[0] == request.bytes[0] && (reply.head[1] & 0xF0) == (request.bytes[1] & 0xF0);
  if (!broadcast && !same_head) return Verdict::kStray;
  const uint16_t hash = static_cast<uint16_t>(request.bytes[2] << 8 | request.bytes[3]);
  if (reply.hash == hash) return Verdict::kAnswer;
  if (reply.hash == kErrorReplyHash) return Verdict::kErrorReply;
  return Verdict::kOtherCommand;
}

// How many times each kind of failed attempt is tried again.
class RetryPolicy {
 public:
  // Counts a failed attempt. Returns true while one more is allowed.
  bool Again(LineFault fault) {
    switch (fault) {
      case LineFault::kTimeout:
        return timeouts_++ < kTimeoutRetries;  // three attempts in all
      case LineFault::kLineError:
        return line_errors_++ < kLineErrorRetries;  // seventeen attempts
      default:
        // A well-started reply is never asked for again, whatever it holds; a stop or a
        // closed port would answer every attempt at once the same way.
        return false;
    }
  }

 private:
  static constexpr int kTimeoutRetries = 2;
  static constexpr int kLineErrorRetries = 16;
  int timeouts_ = 0;
  int line_errors_ = 0;
};

// Why an exchange the port refused to start failed (a result of code -1).
const char* RefusedText(const PortResult& result) {
  return platform::Tr(result.status == PortStatus::Closed ? kTextPortClosed : kTextStopped);
}

std::string WithReason(const char* text, const PortResult& result) {
  std::string s = text;
  std::string reason = result.Reason();
  if (!reason.empty()) s += " (" + reason + ")";
  return s;
}

std::string TimeoutText(size_t noise) {
  if (noise == 0) return platform::Tr(kTextTimeout);
  return platform::Tr(kTextTimeout) + std::string(platform::Tr(kTextNoiseBeforeTimeout)) +
         std::to_string(noise) + platform::Tr(kTextNoiseUnit);
}

// The address a frame's head names, as the request's address length reads it.
int HeadAddress(const ReplyFrame& reply, int length_bits) {
  return length_bits > 8 ? (reply.head[0] << 3) | (reply.head[1] >> 5) : reply.head[0];
}

// Whether the answer to this request can never be its own copy: a command ("void")
// may answer a read with the request's own frame.
bool TellsEchoApart(bool read, const Parameter* subject) {
  return read && subject && subject->type_text != "void";
}

}  // namespace

struct DeviceLink::Attempt {
  PortResult port;
  bool framed = false;  // a frame from "#" to its end came (parsed or not)
  Reply answer;
  ReplyFrame parsed;
  bool valid = false;  // `parsed` holds a frame whose checksum holds
  size_t noise = 0;    // skipped before the frame or the time-out
};

EchoTake DeviceLink::EchoFor(bool read, const Parameter* subject) const {
  switch (port_.echo_mode()) {
    case EchoMode::On:
      return EchoTake::Expect;
    case EchoMode::Off:
      return EchoTake::None;
    case EchoMode::Auto:
      break;
  }
  switch (port_.echo()) {
    case LineEcho::Present:
      return EchoTake::Expect;
    case LineEcho::Absent:
      return EchoTake::None;
    case LineEcho::Unknown:
      break;
  }
  return TellsEchoApart(read, subject) ? EchoTake::Detect : EchoTake::None;
}

bool DeviceLink::EchoUnsettled(bool read, const Parameter* subject) const {
  return port_.echo_mode() == EchoMode::Auto && port_.echo() == LineEcho::Unknown &&
         port_.IsOpen() && !TellsEchoApart(read, subject);
}

void DeviceLink::SettleEcho(const FrameAddress& address) {
  static const uint16_t kDevHash = NameHash("dev");
  RequestFrame probe;
  if (!BuildRequest(true, kDevHash, nullptr, 0, address, probe)) return;
  Reply answer;
  // The device's answer to the read, if one comes, is taken off with the echo, so that it
  // cannot pass for the answer to the write.
  port_.SendReceive(probe.Text(), answer, FrameEnd::Lorn, 0, EchoTake::Detect);
}

DeviceLink::Attempt DeviceLink::TryOnce(const RequestFrame& frame, bool broadcast,
                                        EventSource& watch) {
  Attempt a;
  if (watch.Active()) watch.Sent(frame.Text(), frame.bytes + 4, frame.byte_count - 6);
  a.port = port_.SendReceive(frame.Text(), a.answer, FrameEnd::Lorn, 0,
                             EchoFor(watch.read, watch.subject));
  for (;;) {
    if (watch.Active()) {
      watch.replied_ns = MonotonicSinceStart();
      if (a.answer.echo_taken)
        watch.Skipped(LineFault::kEcho, frame.Text(), platform::Tr(kTextEchoTaken));
      if (a.answer.noise > 0)
        watch.Skipped(LineFault::kNoise, a.answer.noise_chars, platform::Tr(kTextNoiseSkipped));
    }
    a.noise += a.answer.noise;
    a.framed = a.port.status == PortStatus::Received;
    a.valid = false;
    if (!a.framed) return a;
    if (a.answer.truncated) return a;
    a.valid = ParseReply(a.answer.View(), a.parsed);
    if (!a.valid || MatchReply(frame, broadcast, a.parsed) != Verdict::kStray) return a;
    if (watch.Active()) {
      const int from = HeadAddress(a.parsed, port_.settings().address_length);
      watch.Skipped(LineFault::kStray, a.answer.View(),
                    platform::Tr(kTextStraySkipped) + std::to_string(from));
    }
    a.port = port_.ReceiveMore(a.answer, FrameEnd::Lorn);
  }
}

bool DeviceLink::SendApply(const RequestFrame& frame, EventSource& watch, std::string& error) {
  if (watch.Active()) watch.Sent(frame.Text(), nullptr, 0);
  Reply answer;
  const PortResult r = port_.SendReceive(frame.Text(), answer, FrameEnd::Lorn);
  if (watch.Active()) watch.replied_ns = MonotonicSinceStart();
  if (answer.sent) {
    // The device acts on "APLY" without answering; whatever came back means nothing.
    RecordReply();
    return true;
  }
  if (PortGone(r)) {
    error = LostPortText(port_.settings().port_name, r);
    port_.Close();
  } else if (r.Code() < 0) {
    error = RefusedText(r);
  } else if (r.status == PortStatus::Timeout) {
    error = platform::Tr(kTextTimeout);
  } else {
    error = WithReason(platform::Tr(kTextBadSettings), r);
  }
  if (watch.Active()) watch.Failed(LineEventKind::kRefused, LineFault::kLineError, "", error);
  RecordBadLine();
  return false;
}

bool DeviceLink::TransactFor(const Parameter* subject, bool read, uint16_t hash,
                             const uint8_t* data, int count, ReplyData& reply, int& reply_count,
                             std::string& error, int offset) {
  reply_count = 0;
  error.clear();
  std::lock_guard lock(lock_);

  const FrameAddress address = MakeFrameAddress(offset);
  RequestFrame frame;
  if (!BuildRequest(read, hash, data, count, address, frame)) {
    error = platform::Tr(kTextCannotEncode);
    return false;
  }

  // Nothing below is built unless somebody watches: the unwatched exchange stays as fast
  // as it was.
  EventSource watch{observers_, subject, read, hash, address, 0, 0};
  if (hash == kApplyHash) return SendApply(frame, watch, error);
  if (EchoUnsettled(read, subject)) SettleEcho(address);

  const bool broadcast = offset == kFixedAddressOffset;
  RetryPolicy retries;
  Attempt a;
  for (;;) {
    a = TryOnce(frame, broadcast, watch);
    if (a.framed) break;
    const PortResult& r = a.port;
    if (PortGone(r)) {
      // The device behind the descriptor is gone: retries cannot help, and the port is
      // closed so that whoever exchanges next may open it again.
      error = LostPortText(port_.settings().port_name, r);
      if (watch.Active())
        watch.Failed(LineEventKind::kRefused, LineFault::kLineError, a.answer.View(), error);
      port_.Close();
      RecordBadLine();
      return false;
    }
    LineFault fault = LineFault::kLostStart;
    std::string why = r.Code() < 0 ? RefusedText(r) : std::string(platform::Tr(kTextLostStart));
    if (r.status == PortStatus::Timeout) {
      fault = LineFault::kTimeout;
      why = TimeoutText(a.noise);
    } else if (r.Code() == 3) {
      fault = LineFault::kLineError;
      why = WithReason(platform::Tr(kTextBadSettings), r);
    }
    if (watch.Active())
      watch.Failed(fault == LineFault::kTimeout ? LineEventKind::kTimeout : LineEventKind::kRefused,
                   fault, a.answer.View(), why);
    // Once the owner has cancelled its work, the attempt on the wire is the last: a silent
    // line would otherwise hold the cancel up for every retry.
    if (!port_.CancelSet() && retries.Again(fault)) continue;
    error = std::move(why);
    if (fault == LineFault::kTimeout)
      RecordTimeout();
    else
      RecordBadLine();
    return false;
  }
  RecordReply();

  auto refuse = [&](LineFault fault, const char* why) {
    if (watch.Active()) watch.Failed(LineEventKind::kRefused, fault, a.answer.View(), why);
    // A reply spoilt on the line is line trouble; left unrecorded, a run whose values
    // failed this way would end as a success.
    error = why;
    RecordBadLine();
    return false;
  };
  if (a.answer.truncated) return refuse(LineFault::kTooLong, platform::Tr(kTextReplyTooLong));
  if (!a.valid) return refuse(LineFault::kChecksum, platform::Tr(kTextChecksum));
  std::memcpy(reply.data(), a.parsed.data, static_cast<size_t>(a.parsed.count));
  reply_count = a.parsed.count;

  switch (MatchReply(frame, broadcast, a.parsed)) {
    case Verdict::kAnswer:
      if (watch.Active()) watch.Replied(a.answer.View(), a.parsed);
      return true;
    case Verdict::kErrorReply:
      // An error reply without its code is still the device refusing the request.
      if (!ErrorReplyText(a.parsed.data, a.parsed.count, error))
        error = platform::Tr(kTextErrorWithoutCode);
      RecordDeviceError();
      if (watch.Active())
        watch.Failed(LineEventKind::kReceived, LineFault::kErrorReply, a.answer.View(), error);
      return false;
    default:
      return refuse(LineFault::kOtherCommand, platform::Tr(kTextOtherCommand));
  }
}

}  // namespace vesk::link
