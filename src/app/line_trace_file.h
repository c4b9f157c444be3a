#pragma once
// The line's events as text, one line each, tab-separated:
// SECONDS DIR ADDRESS LINE DECODED (seconds since the program started, with microseconds).

#include <cstdio>
#include <string>

#include "link/line_event.h"

namespace vesk::app {

// One event as a trace line, without the line end.
std::string TraceLine(const link::LineEvent& event);

class LineTraceFile : public link::LineObserver {
 public:
  LineTraceFile() = default;
  ~LineTraceFile() override;
  LineTraceFile(const LineTraceFile&) = delete;
  LineTraceFile& operator=(const LineTraceFile&) = delete;

  // "-" writes on stderr; any other path is created anew. Returns false with the reason
  // in `error` (the errno text included).
  bool Open(const std::string& path, std::string& error);
  bool IsOpen() const { return file_ != nullptr; }

  void OnLineEvent(const link::LineEvent& event) override;

 private:
  std::FILE* file_ = nullptr;
  bool own_ = false;
};

}  // namespace vesk::app
