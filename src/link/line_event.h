#pragma once
// What happened on the line, one frame at a time: the events the device link reports to
// whoever watches it (a trace file, the line statistics, the window's traffic panel).

#include <cstdint>
#include <string>
#include <string_view>

namespace vesk::link {

enum class LineEventKind : uint8_t {
  kSent,      // a request went out (attempt 1)
  kRetry,     // the same request went out again (attempt 2 and later)
  kReceived,  // a reply came and was taken (an error reply included)
  kTimeout,   // nothing came in time
  kRefused,   // something came but was not taken; `fault` says why
};

// Why an attempt or an exchange failed; kNone for a reply that was taken.
enum class LineFault : uint8_t {
  kNone,
  kTimeout,
  kLineError,  // framing, parity, overrun
  kLostStart,
  kChecksum,
  kOtherCommand,
  kErrorReply,  // the device answered with an error code
  kTooLong,     // a reply longer than any valid frame
  // Skipped, not failures: the wait for the answer went on.
  kNoise,  // characters or a line error before the reply's start
  kStray,  // a valid frame for another address or the other direction
  kEcho,   // the converter's copy of the request
};

struct LineEvent {
  int64_t time_ns = 0;  // monotonic, since the program started
  LineEventKind kind = LineEventKind::kSent;
  LineFault fault = LineFault::kNone;
  bool read = true;
  bool polled = false;  // for an operative parameter that polling reads
  // A bus scan's question or its answer: asked of every address, most of them silent.
  bool bus_scan = false;
  int address = 0;
  int attempt = 1;
  uint16_t hash = 0;
  int32_t index = -1;     // the linear or polling index, -1 without one
  int32_t reply_us = -1;  // from the request to this reply, -1 for a request
  std::string name;       // short name; the hash in hex when the name is unknown
  std::string chars;      // the frame's characters without the final CR
  std::string text;       // the value, or why it failed

  // '>' sent, '<' received, '!' nothing usable came.
  char Direction() const;
};

class LineObserver {
 public:
  virtual ~LineObserver() = default;
  // Called on the exchanging thread while it holds the line: must return quickly.
  virtual void OnLineEvent(const LineEvent& event) = 0;
};

// Nanoseconds of the monotonic clock since this program started.
int64_t MonotonicSinceStart();

// The decoding in words: "чтение A.Len:2", "A.Len:2 = 5", "A.Len:2: <why>".
std::string DescribeLineEvent(const LineEvent& event);

// The frame's characters as the simulator's trace writes them: \r \n \\ \" \xHH.
std::string EscapeLineChars(std::string_view chars);

}  // namespace vesk::link
