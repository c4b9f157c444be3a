// The traffic panel's memory over a long run, on the offscreen platform: the main window
// with "Обмен с прибором" open, fed a million line events at a time through the observers
// the panel puts on the link (its bounded queue and the line statistics), from a thread
// of their own as the exchange thread calls them, while the window's loop drains them
// every 100 ms as it does at run time. The events are those of a real read-all of
// vesk-sim, replayed with fresh times. Prints the process's resident memory before, after
// the first million and after each further million (--millions, 2 by default): a flat
// figure shows that the panel's ring bounds it.
// Build it in the release preset for figures worth quoting.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "link/line_event.h"
#include "ui/traffic_model.h"
#include "ui/traffic_panel.h"
#include "window_rig.h"

namespace {

using namespace vesk;

constexpr int kPerMillion = 1000000;

// Copies every event of the line.
class Recorder : public link::LineObserver {
 public:
  void OnLineEvent(const link::LineEvent& event) override {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
  }
  std::vector<link::LineEvent> Take() {
    std::lock_guard lock(mutex_);
    return std::move(events_);
  }

 private:
  std::mutex mutex_;
  std::vector<link::LineEvent> events_;
};

// Sends `count` events through the panel's observers as the link would, never faster
// than the window takes them (so that none is lost and every one reaches the ring).
void Feed(ui::TrafficPanel& panel, const std::vector<link::LineEvent>& sample, int count) {
  std::atomic<bool> done{false};
  std::thread feeder([&] {
    for (int i = 0; i < count; ++i) {
      while (panel.queue().size() + 1000 > ui::kTrafficQueue)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      link::LineEvent e = sample[static_cast<size_t>(i) % sample.size()];
      e.time_ns = link::MonotonicSinceStart();
      panel.queue().OnLineEvent(e);
      panel.stats().OnLineEvent(e);
    }
    done.store(true);
  });
  while (!done.load()) bench::RunLoopFor(50);
  feeder.join();
  bench::RunLoopFor(300);  // the last refresh takes the rest
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const int millions = bench::IntArgument(argc, argv, "--millions", 2);
  QApplication qt(argc, argv);
  bench::WindowRig rig(115200);
  if (!rig.ok()) return 1;
  ui::TrafficPanel& panel = *rig.frame().traffic();
  panel.toggleViewAction()->trigger();  // "Линия" → "Обмен с прибором"

  Recorder recorder;
  rig.doc().engine().SetLinger(std::chrono::milliseconds(0));
  rig.doc().engine().StartTransmitThread();
  rig.doc().engine().AddObserver(&recorder);
  rig.frame().Action(app::cmd::kReadAll)->trigger();  // returns when the read has ended
  rig.doc().engine().RemoveObserver(&recorder);
  const std::vector<link::LineEvent> sample = recorder.Take();
  if (sample.empty()) {
    std::fprintf(stderr, "the read-all reported no events\n");
    return 1;
  }
  bench::RunLoopFor(500);
  auto report = [&](const char* when) {
    std::printf("%-24s RSS %7.1f MiB, rows %d, lost %llu, load %s\n", when,
                bench::ResidentKib() / 1024.0, panel.model().rowCount(),
                static_cast<unsigned long long>(panel.queue().dropped()),
                bench::LoadAverage().c_str());
    std::fflush(stdout);
  };
  std::printf("sample: %zu events of one read-all, replayed\n", sample.size());
  report("before:");
  for (int m = 1; m <= millions; ++m) {
    QElapsedTimer clock;
    clock.start();
    Feed(panel, sample, kPerMillion);
    char when[64];
    std::snprintf(when, sizeof when, "after %d000000 (%.0f s):", m, clock.elapsed() / 1000.0);
    report(when);
  }
  return panel.model().rowCount() == static_cast<int>(ui::kTrafficRing) ? 0 : 1;
}
