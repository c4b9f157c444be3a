#pragma once
// The search of a line for devices: every address of a range is asked for the device's
// name. A silent address costs only as long as a real device could take to answer, a
// time measured on the devices that do answer; a second pass at the full reply wait over
// a sample of the silent addresses checks that nothing slower was missed.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vesk::exchange {

class ExchangeEngine;

// The short wait for a silent address: the line time of the longest name reply, plus
// kScanTurnaroundFactor times the slowest turnaround measured so far (a device's best
// reply time of three, less the line time of request and reply; or how late a device
// answered after its short wait ran out), never less than kScanMinMarginMs, never more
// than the line's full reply wait.
inline constexpr int kScanMinMarginMs = 4;
inline constexpr int kScanTurnaroundFactor = 3;
// Silent addresses asked again at the full reply wait. When one of them answers, every
// silent address is asked again at the full wait.
inline constexpr int kScanSampleSize = 4;
// A name reply carries at most 8 data bytes: 30 characters with "#" and the return.
inline constexpr int kScanLongestReplyChars = 30;

struct FoundDevice {
  int32_t address = 0;
  std::string name;     // "dev", UTF-8
  std::string version;  // "ver", UTF-8; empty when it could not be read
  double reply_ms = 0;  // the name's best reply time of three
};

struct ScanOutcome {
  std::vector<FoundDevice> devices;  // sorted by address, each once
  bool cancelled = false;            // ended by cancel_event or the stop event
  std::string error;                 // the port failed (closed, gone): the reason
  int short_wait_ms = 0;             // the last short wait used
  int rechecked = 0;                 // addresses asked again at the full wait
};

struct ScanObserver {
  std::function<void(int32_t done, int32_t total)> progress;
  std::function<void(const FoundDevice&)> found;  // as soon as a device answers its name
};

// Scans `from` ... `to` (inclusive) with the engine's open port and settings, the
// address length included. The engine's progress counters follow the first pass.
ScanOutcome ScanBus(ExchangeEngine& engine, int32_t from, int32_t to,
                    const ScanObserver& observer = {});

}  // namespace vesk::exchange
