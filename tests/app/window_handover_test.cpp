// A worker's blocking request to the window while the window's thread waits for the
// worker to end (StopThreads): the request gives up at the stop event, and the work it
// gave up never runs later.

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "app/headless_front_end.h"
#include "exchange/exchange_engine.h"
#include "model/description_branch.h"
#include "platform/settings_store.h"
#include "platform/wait.h"
#include "process_support.h"

namespace vesk::app::test {
namespace {

using namespace std::chrono_literals;

// A window whose thread is busy elsewhere: posted work waits until RunPosted.
class BusyWindow : public HeadlessFrontEnd {
 public:
  void Post(std::function<void()> work) override {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
    posted.Set();
  }
  void RunPosted() {
    std::deque<std::function<void()>> queue;
    {
      std::lock_guard lock(mutex_);
      queue.swap(queue_);
    }
    for (auto& work : queue) work();
  }
  platform::Event posted{platform::Event::Reset::Manual};

 protected:
  bool SendsInline() const override { return false; }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
};

TEST(WindowHandover, SaveRequestGivesUpWhenTheThreadsAreStopped) {
  TempDir dir;
  platform::SettingsStore store(dir / "settings.ini");
  exchange::EngineOptions options;
  options.store = &store;
  options.list_ports = [] { return std::string(); };
  exchange::ExchangeEngine engine(options);
  engine.SetLinger(0ms);
  BusyWindow window;
  int saves = 0;
  exchange::EngineHooks hooks;
  hooks.save_request = [&saves] { ++saves; };
  hooks.send = [&window](const std::function<void()>& work, platform::Event& stop) {
    return window.SendUnlessStopped(work, stop);
  };
  engine.set_hooks(hooks);
  engine.set_unattended({true, true, false, nullptr});
  ASSERT_EQ(engine.StartTransmitThread(), 0);

  model::DescriptionBranch branch("Пусто");
  std::thread task([&] { engine.RunTask(&branch, exchange::kTaskReadAll); });
  // The finished read asks the window to save; the window is about to stop the threads.
  const bool asked = platform::WaitAny({platform::Signalled(window.posted)}, 10s) == 0;
  auto stopped = std::async(std::launch::async, [&engine] { return engine.StopThreads(); });
  const bool ended = stopped.wait_for(5s) == std::future_status::ready;
  window.RunPosted();  // the window's thread gets to its queue at last
  stopped.wait();
  task.join();
  EXPECT_TRUE(asked);
  EXPECT_TRUE(ended);
  EXPECT_EQ(saves, 0);
}

}  // namespace
}  // namespace vesk::app::test
