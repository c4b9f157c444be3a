#pragma once
// What --trace and --stats ask of a run: the trace file and the line statistics, attached
// to the run's device link for as long as it exchanges, and the counters on stderr at the end.

#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/line_trace_file.h"
#include "link/device_link.h"
#include "link/line_stats.h"

namespace vesk::app {

class LineWatch {
 public:
  LineWatch() = default;
  ~LineWatch() { Detach(); }
  LineWatch(const LineWatch&) = delete;
  LineWatch& operator=(const LineWatch&) = delete;

  // Takes the keys; opens the trace file. Returns false with the reason in `error`.
  bool Open(const CommandLine& command_line, std::string& error);
  bool Wanted() const { return trace_.IsOpen() || stats_on_; }

  void Attach(link::DeviceLink& link);
  void Detach();
  // The link was destroyed with the observers still on it (they outlive it).
  void LinkGone() { link_ = nullptr; }
  // Detaches and prints the counters on `err` when --stats was given.
  void Finish(std::FILE* err);

 private:
  LineTraceFile trace_;
  link::LineStats stats_;
  bool stats_on_ = false;
  link::DeviceLink* link_ = nullptr;
};

}  // namespace vesk::app
