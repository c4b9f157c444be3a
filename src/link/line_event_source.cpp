#include "link/line_event_source.h"
#include "platform/language.h"

#include <cstdio>

namespace vesk::link {
namespace {

std::string HashName(uint16_t hash) {
  switch (hash) {
    case kErrorReplyHash:
      return "n.Err";
    case kApplyHash:
      return "APLY";
    case kAttributeHash:
      return "M.s.t.r.";
    default:
      break;
  }
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%04X", hash);
  return buf;
}

std::string HexBytes(const uint8_t* data, int count) {
  std::string out;
  char buf[4];
  for (int i = 0; i < count; ++i) {
    std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", data[i]);
    out += buf;
  }
  return out;
}

// Whose attributes an attribute exchange carries: the frame itself names only "M.s.t.r.".
std::string AttributesOf(const Parameter& subject) {
  return platform::Tr("атрибуты ") + subject.short_name;
}

std::string_view WithoutEnd(std::string_view chars) {
  if (!chars.empty() && chars.back() == kFrameEnd) chars.remove_suffix(1);
  return chars;
}

}  // namespace

LineEvent EventSource::Make(LineEventKind kind, int64_t time_ns, std::string_view chars) const {
  LineEvent e;
  e.time_ns = time_ns;
  e.kind = kind;
  e.read = read;
  e.address = address.offset == kFixedAddressOffset ? 255 : address.base + address.offset;
  e.attempt = attempt;
  e.bus_scan = bus_scan;
  e.hash = hash;
  if (subject && hash != kAttributeHash && NameHash(subject->short_name) == hash)
    e.name = subject->short_name;
  else
    e.name = HashName(hash);
  if (subject) e.polled = subject->IsPolled();
  if (subject)
    e.index = subject->indexed           ? subject->linear_index
              : subject->poll_index != 0 ? subject->poll_index
                                         : -1;
  e.chars = WithoutEnd(chars);
  return e;
}

void EventSource::Emit(const LineEvent& event) const {
  for (LineObserver* o : observers) o->OnLineEvent(event);
}

void EventSource::Sent(std::string_view chars, const uint8_t* data, int count) {
  ++attempt;
  sent_ns = MonotonicSinceStart();
  LineEvent e = Make(attempt == 1 ? LineEventKind::kSent : LineEventKind::kRetry, sent_ns, chars);
  if (hash == kAttributeHash && subject)
    e.text = AttributesOf(*subject);
  else if (!read)
    e.text = subject ? subject->value : HexBytes(data, count);
  Emit(e);
}

void EventSource::Failed(LineEventKind kind, LineFault fault, std::string_view chars,
                         std::string why) {
  LineEvent e = Make(kind, replied_ns, chars);
  e.fault = fault;
  if (fault != LineFault::kTimeout)
    e.reply_us = static_cast<int32_t>((replied_ns - sent_ns) / 1000);
  while (!why.empty() && why.back() == '\n') why.pop_back();
  // A failure list that shows only "M.s.t.r." would not say which parameter lost them.
  e.text = hash == kAttributeHash && subject ? AttributesOf(*subject) + ": " + why : std::move(why);
  Emit(e);
}

void EventSource::Skipped(LineFault fault, std::string_view chars, std::string why) {
  LineEvent e = Make(LineEventKind::kRefused, replied_ns, chars);
  e.fault = fault;
  e.text = std::move(why);
  Emit(e);
}

void EventSource::Replied(std::string_view chars, const ReplyFrame& parsed) {
  LineEvent e = Make(LineEventKind::kReceived, replied_ns, chars);
  e.reply_us = static_cast<int32_t>((replied_ns - sent_ns) / 1000);
  std::string text;
  if (hash != kAttributeHash && subject &&
      subject->ConvertFromData(parsed.data, parsed.count, text))
    e.text = std::move(text);
  else
    e.text = HexBytes(parsed.data, parsed.count);
  Emit(e);
}

}  // namespace vesk::link
