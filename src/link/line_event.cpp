#include "link/line_event.h"
#include "platform/language.h"

#include <chrono>
#include <cstdio>

namespace vesk::link {
namespace {

using Clock = std::chrono::steady_clock;
// Taken during static initialisation, before main runs.
const Clock::time_point kProgramStart = Clock::now();

}  // namespace

char LineEvent::Direction() const {
  switch (kind) {
    case LineEventKind::kSent:
    case LineEventKind::kRetry:
      return '>';
    case LineEventKind::kReceived:
      return '<';
    default:
      return '!';
  }
}

int64_t MonotonicSinceStart() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - kProgramStart).count();
}

std::string DescribeLineEvent(const LineEvent& e) {
  std::string target = e.name;
  if (e.index >= 0) target += ":" + std::to_string(e.index);
  std::string out;
  switch (e.kind) {
    case LineEventKind::kSent:
    case LineEventKind::kRetry:
      out = (e.read ? platform::Tr("чтение ") : platform::Tr("запись ")) + target;
      if (!e.read && !e.text.empty()) out += " = " + e.text;
      if (e.read && !e.text.empty()) out += " (" + e.text + ")";
      break;
    case LineEventKind::kReceived:
      out = target + (e.fault == LineFault::kErrorReply ? ": " : " = ") + e.text;
      break;
    case LineEventKind::kTimeout:
    case LineEventKind::kRefused:
      out = target + ": " + e.text;
      break;
  }
  if (e.attempt > 1) out += platform::Tr(", попытка ") + std::to_string(e.attempt);
  return out;
}

std::string EscapeLineChars(std::string_view chars) {
  std::string out;
  out.reserve(chars.size());
  for (char ch : chars) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c >= 0x20 && c < 0x7F) {
      out += ch;
    } else {
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out;
}

}  // namespace vesk::link
