// A worker's blocking request to the window while the window's thread waits for the
// worker to end (StopThreads): the request gives up at the stop event, and the work it gave
// up never runs later.

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "app/headless_front_end.h"
#include "exchange/exchange_engine.h"
#include "model/description_branch.h"
#include "platform/settings_store.h"
#include "platform/wait.h"
#include "process_support.h"

namespace vesk::app::test {
namespace {

using namespace std::chrono_literals;

// A window whose thread is busy elsewhere: posted work waits in `queue`.
class BusyWindow : public HeadlessFrontEnd {
 public:
  void Post(std::function<void()> work) override {
    std::lock_guard lock(mutex);
    queue.push_back(std::move(work));
    posted.Set();
  }
  void RunPosted() {
    std::lock_guard lock(mutex);
    for (auto& work : queue) work();
  }
  std::mutex mutex;
  std::vector<std::function<void()>> queue;
  platform::Event posted{platform::Event::Reset::Manual};

 protected:
  bool SendsInline() const override { return false; }
};

TEST(WindowHandover, SaveRequestGivesUpWhenTheThreadsAreStopped) {
  TempDir dir;
  platform::SettingsStore store(dir / "settings.ini");
  exchange::ExchangeEngine engine({.store = &store, .list_ports = [] { return std::string(); }});
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
  EXPECT_EQ(platform::WaitAny({platform::Signalled(window.posted)}, 10s), 0);
  auto stopped = std::async(std::launch::async, [&engine] { return engine.StopThreads(); });
  EXPECT_EQ(stopped.wait_for(5s), std::future_status::ready);
  window.RunPosted();  // the window's thread gets to its queue at last
  stopped.wait();
  task.join();
  EXPECT_EQ(saves, 0);
}

}  // namespace
}  // namespace vesk::app::test
