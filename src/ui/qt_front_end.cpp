#include "ui/qt_front_end.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QProcess>
#include <cerrno>

#include <atomic>
#include <memory>

#include "app/document.h"
#include "exchange/exchange_engine.h"
#include "exchange/task_codes.h"
#include "exchange/task_commands.h"
#include "link/presenter.h"
#include "model/tree_builder.h"
#include "platform/language.h"
#include "ui/gui_thread.h"
#include "ui/io_state_dialog.h"
#include "ui/main_window.h"
#include "ui/net_mode_dialog.h"
#include "ui/setup_dialog.h"
#include "ui/single_parameter_dialog.h"
#include "ui/tree_list_view.h"

namespace vesk::ui {
namespace {

constexpr const char* kDesktopOpener = "xdg-open";
constexpr int kOpenerStartMs = 5000;

}  // namespace

QtFrontEnd::QtFrontEnd() = default;

QtFrontEnd::~QtFrontEnd() {
  DestroyMainWindow();
}

void QtFrontEnd::DestroyMainWindow() {
  has_window_.store(false);
  status_.ClearQueue();
  delete frame_.data();
}

bool QtFrontEnd::CreateMainWindow(app::Document& document) {
  frame_ = new MainWindow(document, progress_, status_);
  presenter_.set_parent(frame_);
  progress_.set_parent_widget(frame_);
  progress_.set_cancel([&document] { document.engine().Cancel(); });
  status_.set_cancel([&document] { document.engine().Cancel(); });
  frame_->DocumentChanged();
  has_window_.store(true);
  return true;
}

void QtFrontEnd::PlaceMainWindow(const app::CommandLineSettings& settings) {
  if (frame_) frame_->Place(settings);
}

void QtFrontEnd::ClearPlacementLock() {
  QPointer<MainWindow> frame = frame_;
  PostToGui([frame] {
    if (frame) frame->ClearPlacementLock();
  });
}

void QtFrontEnd::Post(std::function<void()> work) {
  if (work) PostToGui(std::move(work));
}

void QtFrontEnd::Send(std::function<void()> work) {
  if (!work) return;
  // Without a running loop nobody would take the request: the caller does it itself (the
  // windows' thread is then past the loop, waiting for the caller's thread to end).
  if (OnGuiThread() || !loop_running_.load()) {
    work();
    return;
  }
  RunOnGuiAndWait(work);
}

bool QtFrontEnd::SendsInline() const {
  return OnGuiThread() || !loop_running_.load();
}

void QtFrontEnd::RequestClose() {
  close_requested_.store(true);
  QPointer<MainWindow> frame = frame_;
  PostToGui([frame] {
    if (frame)
      frame->CloseWithoutAsking();
    else
      QCoreApplication::quit();
  });
}

void QtFrontEnd::Run() {
  if (!frame_) return;
  if (!frame_->isVisible() && !frame_->isMinimized()) frame_->showMaximized();
  // The window may have closed already (a close request served before the loop).
  loop_running_.store(true);
  QObject::connect(frame_, &QObject::destroyed, qApp, &QCoreApplication::quit);
  QApplication::exec();
  loop_running_.store(false);
  // The document goes before the window does; its polling must end while it is there.
  if (frame_ && frame_->view()) frame_->view()->EndPolling();
  has_window_.store(false);
}

void QtFrontEnd::RefreshViews() {
  QPointer<MainWindow> frame = frame_;
  auto refresh = [frame] {
    if (frame && frame->view()) frame->view()->RefreshAll();
  };
  if (OnGuiThread())
    refresh();
  else
    PostToGui(refresh);
}

void QtFrontEnd::BeginWaitCursor() {
  if (OnGuiThread()) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtFrontEnd::EndWaitCursor() {
  if (OnGuiThread()) QApplication::restoreOverrideCursor();
}

app::SetupOutcome QtFrontEnd::RunSetupCarrier(exchange::ExchangeEngine& engine,
                                              bool offline_allowed) {
  SetupDialog dialog(engine, offline_allowed, frame_.data());
  switch (dialog.RunModal()) {
    case exchange::SetupOutcome::Connected:
    case exchange::SetupOutcome::Offline:
      return app::SetupOutcome::Connected;
    case exchange::SetupOutcome::Exit:
    case exchange::SetupOutcome::Open:
      break;
  }
  return app::SetupOutcome::Exit;
}

bool QtFrontEnd::RunApplyDialog(exchange::ApplyDialog& model) {
  NetModeDialog dialog(model, frame_.data());
  return dialog.exec() == QDialog::Accepted;
}

void QtFrontEnd::ShowSinglePoint(app::Document& document) {
  SingleParameterDialog dialog(document, frame_.data());
  dialog.exec();
}

void QtFrontEnd::RunInBackground(exchange::ExchangeEngine& engine, std::string text,
                                 std::function<void()> job, std::function<void()> done) {
  // The report is for the window that asked; one closed meanwhile takes its document along.
  QPointer<MainWindow> frame = frame_;
  const bool windowed = frame;
  auto start = [this, &engine, frame, windowed, text = QString::fromStdString(text),
                job = std::move(job), done = std::move(done)]() -> bool {
    if (windowed && !frame) return false;
    // Qt's queue is a hand-over the thread checker does not see; this flag is one it does.
    auto finished = std::make_shared<std::atomic<bool>>(false);
    auto report = [frame, windowed, done, finished] {
      if ((frame || !windowed) && finished->load(std::memory_order_acquire) && done) done();
    };
    status_.set_next_text(text);
    // Every tree starts the thread; a command may come before the first one. One that
    // cannot start has said why.
    if (!engine.TransmitThreadRunning() && engine.StartTransmitThread() != 0) {
      status_.set_next_text({});
      if (done) done();
      return false;
    }
    if (engine.RunJob(
            exchange::kTaskBackground,
            [job, report, finished] {
              if (job) job();
              finished->store(true, std::memory_order_release);
              PostToGui(report);
            },
            1, &status_))
      return true;
    status_.set_next_text({});
    exchange::ShowLineBusy();
    // The report of nothing done: whoever waits for it (a disabled button) is set free.
    if (done) done();
    return false;
  };
  status_.Enqueue(std::move(start));
}

void QtFrontEnd::ShowStateInOut(app::Document& document) {
  IoStateDialog dialog(document, frame_.data());
  dialog.exec();
}

int QtFrontEnd::OpenDocumentFile(const std::string& path) {
  const QFileInfo file(QString::fromStdString(path));
  if (!file.exists()) return ENOENT;
  const QString absolute = file.absoluteFilePath();
  // The opener's status is the only word of a desktop without a program for the file
  // ("no method available"); it is watched, not waited for, since it may run as long as
  // the program it starts.
  auto* opener = new QProcess(this);
  opener->setStandardInputFile(QProcess::nullDevice());
  opener->setStandardOutputFile(QProcess::nullDevice());
  opener->setStandardErrorFile(QProcess::nullDevice());
  opener->start(QString::fromUtf8(kDesktopOpener), {absolute});
  if (!opener->waitForStarted(kOpenerStartMs)) {
    delete opener;
    return ENOEXEC;
  }
  connect(opener, &QProcess::finished, this,
          [this, opener, absolute](int code, QProcess::ExitStatus status) {
            opener->deleteLater();
            if (status != QProcess::NormalExit || code != 0) OpenerFailed(absolute);
          });
  return 0;
}

void QtFrontEnd::OpenerFailed(const QString& path) {
  if (!ViewerReads(path)) {
    link::presenter().ShowMessage(platform::Tr(app::kNoOpenerText) + path.toStdString(),
                                  platform::Tr(model::kProgramTitle), link::MsgIcon::Warning,
                                  link::MsgButtons::Ok);
    return;
  }
  if (!viewer_) viewer_ = new DocumentViewer(frame_.data());
  viewer_->ShowFile(path);
}

}  // namespace vesk::ui
