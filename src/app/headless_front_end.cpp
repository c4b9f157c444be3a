#include "app/headless_front_end.h"

#include <sys/stat.h>
#include <cerrno>

namespace vesk::app {

void HeadlessFrontEnd::Post(std::function<void()> work) {
  if (!work) return;
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(work));
  wake_.notify_all();
}

void HeadlessFrontEnd::RequestClose() {
  std::lock_guard lock(mutex_);
  queue_.push_back(nullptr);
  wake_.notify_all();
}

void HeadlessFrontEnd::Run() {
  for (;;) {
    std::function<void()> work;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return !queue_.empty(); });
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    if (!work) return;
    work();
  }
}

int HeadlessFrontEnd::OpenDocumentFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  return DisplayAvailable() ? OpenWithDesktop(path) : ENXIO;
}

}  // namespace vesk::app
