#include "window_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTreeWidgetItemIterator>

#include "app/cell_commit.h"
#include "exchange/parameter_tasks.h"
#include "link/exit_status.h"
#include "model/program_line_settings.h"
#include "platform/paths.h"
#include "ui/main_window.h"
#include "ui/tree_list_view.h"

namespace vesk::ui::test {

ScratchDir::ScratchDir() {
  char templ[] = "/tmp/vesk-ui-XXXXXX";
  if (!::mkdtemp(templ)) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

SimProcess::SimProcess(const ScratchDir& dir, const std::vector<std::string>& extra) {
  const std::string out = dir / "sim.out";
  const std::string sim = std::string(VESK_BIN_DIR) + "/vesk-sim";
  const std::string tree = std::getenv("VESK_TREE_DAT")
                               ? std::getenv("VESK_TREE_DAT")
                               : std::string(VESK_BIN_DIR) + "/vesk.tree.dat";
  std::vector<std::string> args = {sim, "--tree", tree, "--bps", "115200"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      ::dup2(fd, 1);
      ::dup2(fd, 2);
    }
    ::execv(sim.c_str(), argv.data());
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(out);
    std::string line;
    if (std::getline(in, line) && !in.eof()) {
      pty_ = line;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  throw std::runtime_error("vesk-sim did not name its terminal");
}

SimProcess::~SimProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
}

bool CloseModal() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal) return false;
  if (auto* dialog = qobject_cast<QDialog*>(modal))
    dialog->reject();
  else
    modal->close();
  return true;
}

void ChooseMenuItem(MainWindow& frame, const QString& menu, const QString& item) {
  QMenuBar* bar = frame.menuBar();
  QAction* top = nullptr;
  for (QAction* a : bar->actions())
    if (a->text().remove('&') == menu) top = a;
  ASSERT_NE(top, nullptr) << menu.toStdString();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(top).center());
  ASSERT_TRUE(QTest::qWaitFor([&] { return top->menu()->isVisible(); }, 2000));
  QAction* chosen = nullptr;
  for (QAction* a : top->menu()->actions())
    if (a->text().remove('&').section('\t', 0, 0) == item) chosen = a;
  ASSERT_NE(chosen, nullptr) << item.toStdString();
  QTest::mouseClick(top->menu(), Qt::LeftButton, {}, top->menu()->actionGeometry(chosen).center());
}

QTreeWidgetItem* FirstRow(TreeListView& view,
                          const std::function<bool(const link::Parameter&)>& want) {
  for (QTreeWidgetItemIterator it(&view); *it; ++it)
    if (link::Parameter* p = TreeListView::ParameterOf(*it); p && !p->IsPolled() && want(*p))
      return *it;
  return nullptr;
}

QTreeWidgetItem* RowCaptioned(TreeListView& view, const QString& caption) {
  for (QTreeWidgetItemIterator it(&view); *it; ++it)
    if ((*it)->text(0) == caption) return *it;
  return nullptr;
}

bool PlainEditable(const link::Parameter& p) {
  return p.writable && !p.owned_by_firm && !exchange::IsNetworkParameter(p.short_name) &&
         p.short_name != "Prot";
}

QTreeWidgetItem* EditableTextRow(TreeListView& view) {
  return FirstRow(view, [](const link::Parameter& p) {
    return PlainEditable(p) && app::ValueChoices(p).empty() && p.maximum > p.minimum;
  });
}

void DoubleClickCell(TreeListView& view, QTreeWidgetItem* item, int column) {
  for (QTreeWidgetItem* up = item->parent(); up; up = up->parent()) up->setExpanded(true);
  view.scrollToItem(item);
  QTest::qWait(1);  // the delayed layout
  const QPoint at(view.columnViewportPosition(column) + view.columnWidth(column) / 2,
                  view.visualItemRect(item).center().y());
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at);
  QTest::qWait(QApplication::doubleClickInterval() + 20);
  QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, at);
  QTest::qWait(1);
}

void TypeIntoCell(TreeListView& view, QTreeWidgetItem* item, const QString& text, Qt::Key key) {
  DoubleClickCell(view, item, app::column::kValue);
  auto* editor = qobject_cast<QLineEdit*>(view.editor());
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(editor, text);
  QTest::keyClick(editor, key);
  QTest::qWait(1);
}

void WindowTest::SetUp() {
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  if (!std::getenv("VESK_TREE_DAT"))
    setenv("VESK_TREE_DAT", (std::string(VESK_BIN_DIR) + "/vesk.tree.dat").c_str(), 1);
  store = std::make_unique<platform::SettingsStore>(dir / "settings.ini");
  link::SetPresenter(&captured);
  link::exit_status.store(0);
  fe = std::make_unique<QtFrontEnd>();
}

void WindowTest::TearDown() {
  // The program's order: the document goes first, and takes the window with it.
  doc.reset();
  fe.reset();
  link::SetPresenter(nullptr);
}

app::Document& WindowTest::MakeDocument(const std::string& pty, bool quiet) {
  // No test reaches a serial port of the machine.
  store->WriteText(platform::kSettingsKey, model::kPortPathValue,
                   pty.empty() ? dir / "no-such-tty" : pty);
  store->WriteDword(platform::kSettingsKey, model::kBaudRateValue, 115200);
  app::DocumentEnvironment env;
  env.front_end = fe.get();
  env.store = store.get();
  env.list_ports = [] { return std::string("COM1"); };
  if (quiet) env.settings.flags = app::cmdflag::kCommandLineRun;
  if (pty.empty()) {
    env.settings.flags = app::cmdflag::kCommandLineRun;
    env.settings.modes = app::modebit::kSilent;
  }
  env.program_path = dir / "vesk-configurator";
  env.program_directory = dir.path() + "/";
  doc = std::make_unique<app::Document>(std::move(env));
  doc->engine().SetLinger(std::chrono::milliseconds(0));
  EXPECT_TRUE(doc->NewDocument());
  return *doc;
}

void WindowTest::ReopenAt(const char* bps) {
  {
    const auto values = doc->engine().program_line().LockValues();
    doc->engine().program_line().SetValue("bPS", bps);
  }
  doc->engine().OpenPort(true);
}

MainWindow& WindowTest::MakeWindow() {
  EXPECT_TRUE(fe->CreateMainWindow(*doc));
  return *fe->frame();
}

}  // namespace vesk::ui::test
