#pragma once
// What the window benches share: vesk-sim on a pseudo-terminal, the document and the main
// window over it on the offscreen platform, and the clocks they read.

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "app/document.h"
#include "link/presenter.h"
#include "platform/settings_store.h"
#include "ui/main_window.h"
#include "ui/qt_front_end.h"
#include "ui/tree_list_view.h"

namespace vesk::bench {

// Prints a message box's text instead of showing it, and answers "No".
class QuietPresenter : public link::Presenter {
 public:
  link::MsgAnswer ShowMessage(std::string_view text, std::string_view caption, link::MsgIcon icon,
                              link::MsgButtons buttons) override;
};

// vesk-sim with `sim_args` after "--bps BAUD", in its own folder; ended with SIGTERM.
class SimOnPty {
 public:
  SimOnPty(const std::string& folder, int baud, const std::vector<std::string>& sim_args);
  ~SimOnPty();
  SimOnPty(const SimOnPty&) = delete;
  SimOnPty& operator=(const SimOnPty&) = delete;
  const std::string& pty() const { return pty_; }

 private:
  pid_t pid_ = -1;
  std::string pty_;
};

// The document and its main window against a simulator at `baud`, the window shown at
// 1100 × 700; with `port`, against that port instead and without a simulator. With
// `quiet_start` the start is a command-line run's (no set-up dialog for a line that does not
// answer, only a message). Needs a QApplication that outlives it.
class WindowRig {
 public:
  WindowRig(int baud, const std::vector<std::string>& sim_args = {}, const std::string& port = {},
            bool quiet_start = false);
  ~WindowRig();
  bool ok() const { return !port_.empty(); }
  app::Document& doc() { return *doc_; }
  ui::MainWindow& frame() { return *fe_->frame(); }
  ui::QtFrontEnd& front_end() { return *fe_; }
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
  std::string port_;
  QuietPresenter presenter_;
  std::unique_ptr<SimOnPty> sim_;
  std::unique_ptr<platform::SettingsStore> store_;
  std::unique_ptr<ui::QtFrontEnd> fe_;
  std::unique_ptr<app::Document> doc_;
};

// Switches polling on for every operative parameter of the view at `period_ms`; returns
// how many it polls.
int PollEveryOperativeParameter(ui::TreeListView& view, const char* period_ms);
// The item `item_text` of the menu bar's menu `menu_text` (without its '&'), or nullptr.
QAction* MenuItem(ui::MainWindow& frame, const QString& menu_text, const QString& item_text);
// Runs the window's event loop for `ms`.
void RunLoopFor(int ms);
// CPU seconds of the calling thread and of the whole process.
double ThreadCpuSeconds();
double ProcessCpuSeconds();
// Resident memory of the process in KiB.
long ResidentKib();
// The first three fields of /proc/loadavg, to print beside a figure.
std::string LoadAverage();
// The value after `key` on the command line, or `fallback`.
int IntArgument(int argc, char** argv, const std::string& key, int fallback);

}  // namespace vesk::bench
