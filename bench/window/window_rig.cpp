#include "window_rig.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QEventLoop>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "exchange/polling.h"
#include "model/program_line_settings.h"
#include "platform/paths.h"
#include "ui/tree_list_view.h"

extern char** environ;

namespace vesk::bench {
namespace {

double Seconds(const rusage& u) {
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

link::MsgAnswer QuietPresenter::ShowMessage(std::string_view text, std::string_view, link::MsgIcon,
                                            link::MsgButtons) {
  std::fprintf(stderr, "message: %.*s\n", static_cast<int>(text.size()), text.data());
  return link::MsgAnswer::No;
}

SimOnPty::SimOnPty(const std::string& folder, int baud, const std::vector<std::string>& sim_args) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  std::vector<std::string> args{std::string(VESK_BIN_DIR) + "/vesk-sim", "--bps",
                                std::to_string(baud), "--tree", std::getenv("VESK_TREE_DAT")};
  args.insert(args.end(), sim_args.begin(), sim_args.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  // The first line is the terminal's path.
  for (char c; pid_ > 0;) {
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0 || ::read(fds[0], &c, 1) != 1 || c == '\n') break;
    pty_ += c;
  }
  ::close(fds[0]);
}

SimOnPty::~SimOnPty() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

WindowRig::WindowRig(int baud, const std::vector<std::string>& sim_args, const std::string& port,
                     bool quiet_start) {
  char templ[] = "/tmp/vesk-bench-XXXXXX";
  folder_ = ::mkdtemp(templ);
  setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
  if (!std::getenv("VESK_TREE_DAT"))
    setenv("VESK_TREE_DAT", (std::string(VESK_BIN_DIR) + "/vesk.tree.dat").c_str(), 1);
  link::SetPresenter(&presenter_);
  port_ = port;
  if (port_.empty()) {
    sim_ = std::make_unique<SimOnPty>(folder_, baud, sim_args);
    port_ = sim_->pty();
  }
  if (port_.empty()) {
    std::fprintf(stderr, "vesk-sim did not start\n");
    return;
  }
  store_ = std::make_unique<platform::SettingsStore>(folder_ + "/settings.ini");
  store_->WriteText(platform::kSettingsKey, model::kPortPathValue, port_);
  store_->WriteDword(platform::kSettingsKey, model::kBaudRateValue, static_cast<uint32_t>(baud));
  fe_ = std::make_unique<ui::QtFrontEnd>();
  app::DocumentEnvironment env;
  env.front_end = fe_.get();
  env.store = store_.get();
  env.list_ports = [] { return std::string("COM1"); };
  env.program_path = folder_ + "/vesk-configurator";
  env.program_directory = folder_ + "/";
  if (quiet_start) {
    // A line that never answers would meet the set-up dialog at the start; the start of a
    // command-line run only says so.
    env.settings.flags = app::cmdflag::kCommandLineRun;
  }
  doc_ = std::make_unique<app::Document>(std::move(env));
  fe_->CreateMainWindow(*doc_);
  frame().resize(1100, 700);
  frame().show();
  // A new configuration with every branch open: expanding would read each branch in the
  // automatic read mode, which is the line's time and not asked for here.
  const bool auto_read = doc_->modes().auto_read.exchange(false);
  doc_->NewDocument();
  frame().DocumentChanged();
  frame().view()->expandAll();
  doc_->modes().auto_read.store(auto_read);
}

WindowRig::~WindowRig() {
  if (doc_) doc_->engine().StopThreads();
  doc_.reset();
  fe_.reset();
  link::SetPresenter(nullptr);
  sim_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

QAction* MenuItem(ui::MainWindow& frame, const QString& menu_text, const QString& item_text) {
  for (QAction* menu : frame.menuBar()->actions())
    if (QString(menu->text()).remove(QLatin1Char('&')) == menu_text && menu->menu())
      for (QAction* item : menu->menu()->actions())
        if (item->text() == item_text) return item;
  return nullptr;
}

int PollEveryOperativeParameter(ui::TreeListView& view, const char* period_ms) {
  int polled = 0;
  for (QTreeWidgetItemIterator it(&view); *it; ++it)
    if (link::Parameter* p = ui::TreeListView::ParameterOf(*it); p && p->IsPolled()) {
      exchange::SetPollPeriod(*p, period_ms);
      if (view.SetPolling(*it, true)) ++polled;
    }
  return polled;
}

void RunLoopFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

double ThreadCpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_THREAD, &u);
  return Seconds(u);
}

double ProcessCpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return Seconds(u);
}

long ResidentKib() {
  std::ifstream in("/proc/self/status");
  std::string key;
  long value = 0;
  while (in >> key) {
    if (key == "VmRSS:" && in >> value) return value;
    in.ignore(1 << 12, '\n');
  }
  return -1;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

int IntArgument(int argc, char** argv, const std::string& key, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (argv[i] == key) return std::atoi(argv[i + 1]);
  return fallback;
}

}  // namespace vesk::bench
