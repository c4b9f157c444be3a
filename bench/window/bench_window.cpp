// The window's own costs, on the offscreen platform:
//  fill   the time from the document's tree being built to the view showing every row
//         (rows made, all branches expanded, one paint), median of several runs;
//  poll   the window thread's CPU share while every operative parameter is polled at its
//         default period against vesk-sim, over --seconds (10 by default).
// Prints one line per figure. Build it in the release preset for figures worth quoting.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/document.h"
#include "exchange/polling.h"
#include "link/presenter.h"
#include "model/program_line_settings.h"
#include "platform/paths.h"
#include "platform/settings_store.h"
#include "ui/main_window.h"
#include "ui/qt_front_end.h"
#include "ui/tree_list_view.h"

namespace {

using namespace vesk;

class QuietPresenter : public link::Presenter {
 public:
  link::MsgAnswer ShowMessage(std::string_view text, std::string_view, link::MsgIcon,
                              link::MsgButtons) override {
    std::fprintf(stderr, "message: %.*s\n", static_cast<int>(text.size()), text.data());
    return link::MsgAnswer::No;
  }
};

double ThreadCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// vesk-sim on a pseudo-terminal; returns its pid and the terminal's path.
pid_t StartSim(const std::string& folder, std::string& pty) {
  const std::string out = folder + "/sim.out";
  const std::string sim = std::string(VESK_BIN_DIR) + "/vesk-sim";
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    execl(sim.c_str(), sim.c_str(), "--bps", "115200", nullptr);
    _exit(127);
  }
  for (int i = 0; i < 1000 && pty.empty(); ++i) {
    std::ifstream in(out);
    std::string line;
    if (std::getline(in, line) && !in.eof()) pty = line;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int seconds = 10;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--seconds") seconds = std::atoi(argv[i + 1]);
  QApplication qt(argc, argv);
  char templ[] = "/tmp/vesk-bench-XXXXXX";
  const std::string folder = mkdtemp(templ);
  setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
  if (!std::getenv("VESK_TREE_DAT"))
    setenv("VESK_TREE_DAT", (std::string(VESK_BIN_DIR) + "/vesk.tree.dat").c_str(), 1);
  QuietPresenter presenter;
  link::SetPresenter(&presenter);

  std::string pty;
  const pid_t sim = StartSim(folder, pty);
  if (pty.empty()) {
    std::fprintf(stderr, "vesk-sim did not start\n");
    return 1;
  }
  platform::SettingsStore store(folder + "/settings.ini");
  store.WriteText(platform::kSettingsKey, model::kPortPathValue, pty);
  store.WriteDword(platform::kSettingsKey, model::kBaudRateValue, 115200);
  int code = 0;
  {
    ui::QtFrontEnd fe;
    app::DocumentEnvironment env;
    env.front_end = &fe;
    env.store = &store;
    env.list_ports = [] { return std::string("COM1"); };
    env.program_path = folder + "/vesk-configurator";
    env.program_directory = folder + "/";
    app::Document doc(std::move(env));
    fe.CreateMainWindow(doc);
    ui::MainWindow& frame = *fe.frame();
    frame.resize(1100, 700);
    frame.show();
    ui::TreeListView& view = *frame.view();

    std::vector<double> fills;
    size_t rows = 0;
    // Expanding reads the branch in the automatic read mode: that is the line's time, not
    // the window's, and is left out here.
    doc.modes().auto_read.store(false);
    for (int run = 0; run < 7; ++run) {
      view.ClearRows();
      doc.NewDocument();  // the tree is built here
      QElapsedTimer clock;
      clock.start();
      frame.DocumentChanged();
      view.expandAll();
      view.viewport()->repaint();
      QCoreApplication::processEvents();
      fills.push_back(clock.nsecsElapsed() / 1e6);
      rows = 0;
      for (QTreeWidgetItemIterator it(&view); *it; ++it) ++rows;
    }
    std::sort(fills.begin(), fills.end());
    std::printf("fill: %zu rows, median %.1f ms (min %.1f, max %.1f)\n", rows,
                fills[fills.size() / 2], fills.front(), fills.back());

    doc.modes().auto_read.store(true);
    int polled = 0;
    for (QTreeWidgetItemIterator it(&view); *it; ++it)
      if (link::Parameter* p = ui::TreeListView::ParameterOf(*it); p && p->IsPolled()) {
        if (view.SetPolling(*it, true)) ++polled;
      }
    const double cpu_before = ThreadCpuSeconds();
    rusage all_before{};
    getrusage(RUSAGE_SELF, &all_before);
    QElapsedTimer wall;
    wall.start();
    // The window's own loop, idle but for what polling and the status bar bring.
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double window_cpu = ThreadCpuSeconds() - cpu_before;
    rusage all_after{};
    getrusage(RUSAGE_SELF, &all_after);
    auto secs = [](const rusage& u) {
      return u.ru_utime.tv_sec + u.ru_stime.tv_sec +
             (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const double elapsed = wall.elapsed() / 1000.0;
    std::printf(
        "poll: %d parameters for %.1f s: window thread %.2f %% CPU, whole process %.2f %%\n",
        polled, elapsed, 100 * window_cpu / elapsed,
        100 * (secs(all_after) - secs(all_before)) / elapsed);
    code = polled > 0 ? 0 : 1;
    view.EndPolling();
  }
  link::SetPresenter(nullptr);
  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);
  std::system(("rm -rf " + folder).c_str());
  return code;
}
