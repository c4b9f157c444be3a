#pragma once
// The progress "window" of a run without a display: Run blocks its caller until the task
// has finished (that is what modal means there); the log lines go to a stream when asked
// to be verbose and nowhere otherwise.

#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "exchange/progress_sink.h"

namespace vesk::exchange {

class HeadlessProgress : public ProgressSink {
 public:
  // `out` receives the log lines while verbose; nullptr means stderr.
  explicit HeadlessProgress(bool verbose = false, std::FILE* out = nullptr);

  bool Run(int code, std::string_view caption, int range,
           const std::function<void()>& opened) override;
  void Log(const ProgressLine& line) override;
  void ScrollToBottom() override {}
  bool Close() override;
  void TaskEnded() override;

  void set_verbose(bool verbose);

 private:
  std::mutex mutex_;
  std::condition_variable ended_cv_;
  bool ended_ = false;
  bool open_ = false;
  bool verbose_;
  std::FILE* out_;
};

}  // namespace vesk::exchange
