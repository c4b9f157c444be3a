#pragma once
// What the last exchanges found the line to be, with counters of requests and failures,
// for the window's status bar. Written by whichever thread exchanged, read by any.

#include <atomic>
#include <cstdint>
#include <string>

#include "link/probe_codec.h"

namespace vesk::exchange {

enum class LineCondition {
  kUnknown,     // nothing exchanged since the port was opened
  kConnected,   // the last exchange was answered
  kNoAnswer,    // the last exchange was not answered
  kPortClosed,  // the port is not open (or was lost)
};

class LineState {
 public:
  // Counts one exchange with the DeviceLink result `result`.
  void Note(int result);
  // Counts one probe exchange: only an answer in the probed protocol is a line that
  // answers; Refused sent nothing and is not counted.
  void NoteProbe(link::ProbeResult result);
  // The port was (re)opened, or failed to open.
  void PortOpened(bool open);
  // A bus scan begins. Its questions are not the line's requests: most addresses are
  // silent by nature, so silence is no failure; but until some address has answered, the
  // scan cannot say that the line works either.
  void BusScanBegins();
  // One question of the bus scan; `heard` when a device answered (this address, or an
  // earlier one late).
  void NoteBusScanQuestion(bool heard);

  LineCondition condition() const { return condition_.load(); }
  uint64_t requests() const { return requests_.load(); }
  uint64_t failures() const { return failures_.load(); }

 private:
  std::atomic<LineCondition> condition_{LineCondition::kUnknown};
  std::atomic<uint64_t> requests_{0};
  std::atomic<uint64_t> failures_{0};
  std::atomic<bool> bus_scan_heard_{false};
};

// "связь есть", "нет ответа", "порт закрыт" or "" for kUnknown.
const char* LineConditionText(LineCondition condition);

}  // namespace vesk::exchange
