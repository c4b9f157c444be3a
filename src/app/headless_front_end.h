#pragma once
// The front end of a run without a display: no window, no dialogs. Messages go to stderr
// (nothing when silent), questions get their default answer (No), the connection set-up is
// not offered, the posted work runs on the thread that calls Run, and the run ends when
// the command-line task is done.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "app/front_end.h"

namespace vesk::app {

class HeadlessFrontEnd : public FrontEnd {
 public:
  explicit HeadlessFrontEnd(bool silent = false) : presenter_(silent) {}

  link::Presenter& presenter() override { return presenter_; }
  void SetSilent(bool silent) { presenter_.set_silent(silent); }

  // No window is made; the document is served all the same.
  bool CreateMainWindow(Document&) override { return true; }
  bool HasMainWindow() const override { return false; }
  bool StaysOpenAfterTask() const override { return false; }

  void Post(std::function<void()> work) override;
  // Runs `work` at once on the calling thread. The thread that runs the loop is then
  // waiting in a task for the very thread that sends (nothing else sends), and does not
  // touch the document until that task has ended, so running it here is what a send to it
  // would do, without a wait that could never end.
  void Send(std::function<void()> work) override { work(); }
  void RequestClose() override;
  // Runs the posted work in order until a close request comes up in the queue.
  void Run() override;

  // Without a display there is nothing to open files with.
  int OpenDocumentFile(const std::string& path) override;

 private:
  link::ConsolePresenter presenter_;
  std::mutex mutex_;
  std::condition_variable wake_;
  // An empty function stands for the close request.
  std::deque<std::function<void()>> queue_;
};

}  // namespace vesk::app
