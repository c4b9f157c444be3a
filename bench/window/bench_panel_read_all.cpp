// Read-all line efficiency in the window, with nobody listening to the line and with
// "Обмен с прибором" open: the main window on the offscreen platform reads all of
// vesk-sim --line-timing through its "Прочитать всё" action (progress window included),
// --runs times each (3 by default), the two cases taking turns so that a change of the
// machine's load falls on both. The panel's observers are taken off the link for the
// first case. Prints, per rate (--bps, both 9600 and 115200 by default), the line time of
// one read (every frame both ways, 10 bits a character) and the median wall time ÷ line
// time of each case. Build it in the release preset for figures worth quoting; the figures
// at 115200 need a quiet machine (the load average is printed beside them).

#include <QAction>
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <vector>

#include "link/line_event.h"
#include "ui/traffic_model.h"
#include "ui/traffic_panel.h"
#include "window_rig.h"

namespace {

using namespace vesk;

// Frames and characters on the line, the final CR of each included.
class FrameCounter : public link::LineObserver {
 public:
  void OnLineEvent(const link::LineEvent& event) override {
    if (event.chars.empty()) return;
    std::lock_guard lock(mutex_);
    ++frames_;
    chars_ += static_cast<long>(event.chars.size()) + 1;
  }
  long frames() const { return frames_; }
  long chars() const { return chars_; }

 private:
  std::mutex mutex_;
  long frames_ = 0;
  long chars_ = 0;
};

double ReadAllSeconds(bench::WindowRig& rig) {
  rig.doc().Root()->ResetValues();
  const auto start = std::chrono::steady_clock::now();
  rig.frame().Action(app::cmd::kReadAll)->trigger();  // returns when the read has ended
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void ShowPanel(bench::WindowRig& rig, bool open) {
  ui::TrafficPanel& panel = *rig.frame().traffic();
  auto& engine = rig.doc().engine();
  if (open) {
    engine.AddObserver(&panel.queue());
    engine.AddObserver(&panel.stats());
  } else {
    engine.RemoveObserver(&panel.queue());
    engine.RemoveObserver(&panel.stats());
  }
  if (panel.isVisible() != open) panel.toggleViewAction()->trigger();
  bench::RunLoopFor(300);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

bool Measure(int baud, int runs) {
  bench::WindowRig rig(baud, {"--line-timing", "--input-ms", "0"});
  if (!rig.ok()) return false;
  auto& engine = rig.doc().engine();
  engine.SetLinger(std::chrono::milliseconds(0));
  if (engine.StartTransmitThread() != 0) return false;
  ShowPanel(rig, false);
  FrameCounter counter;
  engine.AddObserver(&counter);
  ReadAllSeconds(rig);  // also warms up the caches of both sides
  engine.RemoveObserver(&counter);
  if (counter.frames() == 0) return false;
  const double line = static_cast<double>(counter.chars()) * 10 / baud;
  std::vector<double> alone, open;
  for (int run = 0; run < runs; ++run) {
    ShowPanel(rig, false);
    alone.push_back(ReadAllSeconds(rig) / line);
    ShowPanel(rig, true);
    open.push_back(ReadAllSeconds(rig) / line);
  }
  const double a = Median(alone), o = Median(open);
  std::printf(
      "%6d Bd: %ld frames, line time %.3f s; measured/line: nobody listening %.3f "
      "(%.3f-%.3f), panel open %.3f (%.3f-%.3f), %+.1f %%; rows %d; load %s\n",
      baud, counter.frames(), line, a, *std::min_element(alone.begin(), alone.end()),
      *std::max_element(alone.begin(), alone.end()), o, *std::min_element(open.begin(), open.end()),
      *std::max_element(open.begin(), open.end()), 100 * (o - a) / a,
      rig.frame().traffic()->model().rowCount(), bench::LoadAverage().c_str());
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const int runs = bench::IntArgument(argc, argv, "--runs", 3);
  const int bps = bench::IntArgument(argc, argv, "--bps", 0);
  QApplication qt(argc, argv);
  bool ok = true;
  for (int baud : {9600, 115200})
    if (bps == 0 || bps == baud) ok = Measure(baud, runs) && ok;
  return ok ? 0 : 1;
}
