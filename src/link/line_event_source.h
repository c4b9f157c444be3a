#pragma once
// Builds the line events of one transaction for the device link's observers: the frame,
// its address and attempt, and its decoding through the parameter it is for.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/frame_codec.h"
#include "link/line_event.h"
#include "link/parameter.h"

namespace vesk::link {

struct EventSource {
  const std::vector<LineObserver*>& observers;
  const Parameter* subject;  // nullptr: only the hash names the frame
  bool read;
  uint16_t hash;
  FrameAddress address;
  int64_t sent_ns;
  int64_t replied_ns;
  int attempt = 0;
  bool bus_scan = false;

  bool Active() const { return !observers.empty(); }
  // A request goes out (again, from the second call on).
  void Sent(std::string_view chars, const uint8_t* data, int count);
  // The attempt ended without a usable reply (or with an error reply), for `why`.
  void Failed(LineEventKind kind, LineFault fault, std::string_view chars, std::string why);
  // The reply was taken.
  void Replied(std::string_view chars, const ReplyFrame& parsed);
  // Something came that was skipped while the wait went on (noise, a stray reply, the
  // converter's echo), for `why`.
  void Skipped(LineFault fault, std::string_view chars, std::string why);

 private:
  LineEvent Make(LineEventKind kind, int64_t time_ns, std::string_view chars) const;
  void Emit(const LineEvent& event) const;
};

}  // namespace vesk::link
