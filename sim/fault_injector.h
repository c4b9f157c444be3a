#pragma once
// The faults a line and a tired device produce, played on purpose and repeatably (one
// seeded generator): answers lost, one character changed, the start character missing,
// another hash, data no format reads, an error reply without its code, answers late, and a device
// that goes silent after a number of answers.

#include <cstdint>
#include <optional>
#include <string>

#include "sim_options.h"

namespace vesk::sim {

class FaultInjector {
 public:
  explicit FaultInjector(const FaultOptions& options);

  // The answer to send instead of `reply` (a complete frame of `protocol`), or nullopt
  // when it is to be lost. Every call counts one answer towards --mute-after.
  std::optional<std::string> Apply(std::string reply, Protocol protocol);

  // Extra delay of every answer.
  uint32_t LateMs() const { return options_.late_ms; }

  // How many answers the device has given up to now (lost ones included).
  uint64_t answers() const { return answers_; }

 private:
  // A uniform number in [0, 1) from the seeded generator (splitmix64, so the sequence is
  // the same on every platform).
  double Draw();
  uint64_t Next();
  bool Happens(double p) { return p > 0 && Draw() < p; }

  FaultOptions options_;
  uint64_t state_;
  uint64_t answers_ = 0;
};

// The same LORN frame with another hash (and its checksum made right again); the frame
// unchanged when it is not one.
std::string WithOtherHash(const std::string& frame);

// The same LORN frame with kBadDataBytes bytes kBadDataByte before its data, checksum
// right; unchanged when it is not one, answers attributes, or the data would not fit.
std::string WithBadData(const std::string& frame);

// The same LORN frame from another address (the low bit of byte 0 flipped), checksum
// right; the frame unchanged when it is not one.
std::string FromOtherAddress(const std::string& frame);

// An error reply ("n.Err") without data, to the address of the LORN frame; the frame
// unchanged when it is not one.
std::string BareErrorFor(const std::string& frame);

}  // namespace vesk::sim
