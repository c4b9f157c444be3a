#pragma once
// The progress window "Прибор <==> программа" as the engine sees it. The front end
// implements it: the Qt window with its list, counters and "Прервать!" button, the headless
// run without a window (headless_progress.h).
//
// Threads: Run is called on the thread that owns the windows; Log, ScrollToBottom, Close
// and TaskEnded come from the exchange thread and must not wait for the window's thread
// (post, do not send), so that a window thread that waits for the exchange thread (in
// StopThreads) never dead-locks with it.

#include <functional>
#include <string>
#include <string_view>

namespace vesk::exchange {

// One line of the window's log with the state of its counters at that moment.
struct ProgressLine {
  std::string text;
  std::string elapsed;            // "%H:%M:%S" since the window opened (control 1100)
  std::string counter;            // "%i из %i" (control 1303); empty when the task has no count
  int position = 0;               // progress bar position; meaningful when counter is not empty
  bool scroll_to_bottom = false;  // the list now holds a multiple of 5 lines
};

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;

  // Shows the window for task `code` with `caption` and a bar of 0 ... `range`, calls
  // `opened` once it is up (that starts the task), and keeps it until Close. The modal
  // window returns at Close; a front end without a window returns at TaskEnded, so that
  // its caller sees the task completely finished. Returns false when no window could be
  // shown (`opened` was then not called). The window's "Прервать!" (and Enter) must call
  // ExchangeEngine::Cancel.
  virtual bool Run(int code, std::string_view caption, int range,
                   const std::function<void()>& opened) = 0;

  // Appends a line to the log and shows the counters.
  virtual void Log(const ProgressLine& line) = 0;

  // Scrolls the log to its last line.
  virtual void ScrollToBottom() = 0;

  // Ends the window (the task is done). Returns true when a window was closed.
  virtual bool Close() = 0;

  // Called once the task has completely finished, after the follow-up requests.
  virtual void TaskEnded() {}
};

}  // namespace vesk::exchange
