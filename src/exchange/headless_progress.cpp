#include "exchange/headless_progress.h"

namespace vesk::exchange {

HeadlessProgress::HeadlessProgress(bool verbose, std::FILE* out)
    : verbose_(verbose), out_(out ? out : stderr) {}

bool HeadlessProgress::Run(int, std::string_view caption, int,
                           const std::function<void()>& opened) {
  {
    std::lock_guard lock(mutex_);
    ended_ = false;
    open_ = true;
    if (verbose_) std::fprintf(out_, "%.*s\n", static_cast<int>(caption.size()), caption.data());
  }
  opened();
  std::unique_lock lock(mutex_);
  ended_cv_.wait(lock, [this] { return ended_; });
  return true;
}

void HeadlessProgress::Log(const ProgressLine& line) {
  std::lock_guard lock(mutex_);
  if (!verbose_) return;
  if (line.counter.empty())
    std::fprintf(out_, "%s %s\n", line.elapsed.c_str(), line.text.c_str());
  else
    std::fprintf(out_, "%s [%s] %s\n", line.elapsed.c_str(), line.counter.c_str(),
                 line.text.c_str());
  std::fflush(out_);
}

bool HeadlessProgress::Close() {
  std::lock_guard lock(mutex_);
  const bool was_open = open_;
  open_ = false;
  return was_open;
}

void HeadlessProgress::TaskEnded() {
  std::lock_guard lock(mutex_);
  open_ = false;
  ended_ = true;
  ended_cv_.notify_all();
}

void HeadlessProgress::set_verbose(bool verbose) {
  std::lock_guard lock(mutex_);
  verbose_ = verbose;
}

}  // namespace vesk::exchange
