// The window's CPU share while every operative parameter is polled at 100 ms against
// vesk-sim with "Графики" open and --series of its series ticked (3 by default), over
// --seconds (10 by default); then the same with "Обмен с прибором" open as well, --rounds
// times (1 by default).
// Prints, for each, the window thread's and the whole process's share of one core and the
// requests a second the line carried. Build it in the release preset for figures worth
// quoting.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <cstdio>

#include "exchange/polling.h"
#include "link/line_stats.h"
#include "ui/traffic_panel.h"
#include "ui/tree_list_view.h"
#include "window_rig.h"
#ifdef VESK_HAVE_CHARTS
#include "ui/plot_window.h"
#endif

namespace {

using namespace vesk;

void Measure(const char* what, int seconds, ui::TrafficPanel& panel) {
  const uint64_t requests = panel.stats().Snapshot().requests;
  const double window0 = bench::ThreadCpuSeconds();
  const double all0 = bench::ProcessCpuSeconds();
  QElapsedTimer wall;
  wall.start();
  bench::RunLoopFor(seconds * 1000);
  const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
  std::printf(
      "%s, %.1f s: window thread %.2f %% CPU, whole process %.2f %%, %.1f requests/s, RSS %.1f "
      "MiB, load %s\n",
      what, elapsed, 100 * (bench::ThreadCpuSeconds() - window0) / elapsed,
      100 * (bench::ProcessCpuSeconds() - all0) / elapsed,
      static_cast<double>(panel.stats().Snapshot().requests - requests) / elapsed,
      static_cast<double>(bench::ResidentKib()) / 1024.0, bench::LoadAverage().c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const int seconds = bench::IntArgument(argc, argv, "--seconds", 10);
  const int series = bench::IntArgument(argc, argv, "--series", 3);
  // The second case again and again: a cost that grows with what the window has kept shows
  // as a share that climbs from round to round, and memory as RSS that does.
  const int rounds = bench::IntArgument(argc, argv, "--rounds", 1);
  QApplication qt(argc, argv);
  bench::WindowRig rig(115200);
  if (!rig.ok()) return 1;
  ui::MainWindow& frame = rig.frame();
  ui::TreeListView& view = *frame.view();

  const int polled = bench::PollEveryOperativeParameter(view, "100");
  std::printf("polling %d operative parameters every 100 ms\n", polled);

#ifdef VESK_HAVE_CHARTS
  QAction* plots = bench::MenuItem(frame, QStringLiteral("Линия"), QStringLiteral("Графики"));
  if (!plots) {
    std::fprintf(stderr, "no \"Графики\" in the menu\n");
    return 1;
  }
  plots->trigger();
  bench::RunLoopFor(2000);  // the series appear with their first points
  QStringList ticked;
  for (QTreeWidgetItemIterator it(frame.plots()->series_tree()); *it && ticked.size() < series;
       ++it)
    if ((*it)->flags() & Qt::ItemIsUserCheckable) {
      (*it)->setCheckState(0, Qt::Checked);
      ticked << (*it)->data(0, Qt::UserRole).toString();
    }
  std::printf("plot: %lld series ticked: %s\n", static_cast<long long>(ticked.size()),
              ticked.join(QStringLiteral(", ")).toUtf8().constData());
  bench::RunLoopFor(1000);
  Measure("plot open", seconds, *frame.traffic());
#else
  std::printf("built without Qt Charts: no plot\n");
#endif
  frame.traffic()->toggleViewAction()->trigger();
  bench::RunLoopFor(1000);
  for (int round = 0; round < rounds; ++round)
    Measure("plot and traffic panel open", seconds, *frame.traffic());
  view.EndPolling();
  return polled > 0 ? 0 : 1;
}
