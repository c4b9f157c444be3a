#pragma once
// The device at work on its line: takes the characters that arrive, cuts them into
// frames, lets the device answer the ones that are its own while the line is set as the
// device expects, plays the chosen faults, and sends each answer when it is due.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "device.h"
#include "fault_injector.h"
#include "frame_reader.h"
#include "line.h"
#include "probe_responder.h"
#include "sim_options.h"
#include "trace_log.h"

namespace vesk::sim {

// The line format the device works with.
LineParams LineParamsOf(const NetSettings& net);

// Milliseconds that `chars` characters take on a line of this format.
double LineTimeMs(const NetSettings& net, size_t chars);

class Simulator {
 public:
  using Clock = std::chrono::steady_clock;

  // All references must outlive the simulator; `trace` may be closed (no trace).
  Simulator(Device& device, Line& line, const SimOptions& options, TraceLog& trace,
            Clock::time_point start);
  // Several devices on one line, each answering its own addresses; the first one also
  // answers the probes of another protocol.
  Simulator(std::vector<Device*> devices, Line& line, const SimOptions& options, TraceLog& trace,
            Clock::time_point start);

  // Serves until `stop_fd` becomes readable (an eventfd, a signalfd). Returns 0, or 1
  // after a failure of the line that cannot be survived (its text in `error`).
  int Run(int stop_fd, std::string& error);

  // Takes received characters as if they had arrived at `now` (the loop calls it; tests
  // may feed it directly).
  void Receive(std::string_view chars, Clock::time_point now);

  // Sends the answers that are due at `now`. Returns false when the line failed.
  bool SendDue(Clock::time_point now);

  // Frames the device took as its own, and answers written to the line.
  uint64_t frames_for_device() const { return frames_for_device_; }
  uint64_t answers_sent() const { return answers_sent_; }

 private:
  struct Pending {
    Clock::time_point due;  // when the last character is out
    std::string chars;
    std::optional<FrameInfo> info;
    bool retune_after = false;  // a serial port takes the new settings once this is out
    size_t device = 0;
    // With line timing the characters go out one character time apart, as on a line:
    // a listener sees the answer begin long before it ends.
    Clock::duration char_time{0};
    size_t sent = 0;  // characters written so far

    // When the next character is due.
    Clock::time_point NextDue() const;
  };

  void OnLornFrame(const std::string& chars, Clock::time_point now);
  void OnProbeFrame(const ProbeResponder::Frame& frame, Clock::time_point now);
  // Empty when device `i` listens now; otherwise why it stays silent.
  std::string DeafReason(size_t i, Clock::time_point now) const;
  // Queues an answer (after the faults) timed for a line of `net`. Returns false when
  // the faults lost it.
  bool Answer(std::string reply, Protocol protocol, const NetSettings& net, int32_t index,
              Clock::time_point now, bool retune_after, size_t device);
  // Whether device `i` took the frame (answered or acted on it).
  // `note` gets why it did not; `broadcast` whether others may act on it too.
  bool OfferLornFrame(size_t i, const std::string& chars, Clock::time_point now, std::string& note,
                      bool& broadcast);
  void Retune(size_t device);
  double Seconds(Clock::time_point t) const;

  std::vector<Device*> devices_;
  Line& line_;
  const SimOptions& options_;
  TraceLog& trace_;
  Clock::time_point start_;
  FaultInjector faults_;
  FrameReader lorn_;
  ProbeResponder probe_;
  std::deque<Pending> pending_;
  std::vector<Clock::time_point> restart_until_;
  uint64_t frames_for_device_ = 0;
  uint64_t answers_sent_ = 0;
};

}  // namespace vesk::sim
