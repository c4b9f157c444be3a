#include "ui/qt_front_end.h"

#include <QApplication>
#include <QCursor>

#include "app/document.h"
#include "ui/gui_thread.h"
#include "ui/main_frame.h"
#include "ui/net_mode_dialog.h"
#include "ui/setup_dialog.h"
#include "ui/single_point_dialog.h"
#include "ui/state_in_out_dialog.h"
#include "ui/tree_list_view.h"

namespace vesk::ui {

QtFrontEnd::QtFrontEnd() = default;

QtFrontEnd::~QtFrontEnd() {
  hasWindow_.store(false);
  delete frame_.data();
}

bool QtFrontEnd::CreateMainWindow(app::CTRB6Doc& document) {
  frame_ = new CMainFrame(document, progress_);
  presenter_.set_parent(frame_);
  progress_.set_parent_widget(frame_);
  progress_.set_cancel([&document] { document.engine().Cancel(); });
  frame_->DocumentChanged();
  hasWindow_.store(true);
  return true;
}

void QtFrontEnd::PlaceMainWindow(const app::CommandLineSettings& settings) {
  if (frame_) frame_->Place(settings);
}

void QtFrontEnd::ClearPlacementLock() {
  QPointer<CMainFrame> frame = frame_;
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
  if (OnGuiThread() || !loopRunning_.load()) {
    work();
    return;
  }
  RunOnGuiAndWait(work);
}

void QtFrontEnd::RequestClose() {
  closeRequested_.store(true);
  QPointer<CMainFrame> frame = frame_;
  PostToGui([frame] {
    if (frame)
      frame->close();
    else
      QCoreApplication::quit();
  });
}

void QtFrontEnd::Run() {
  if (!frame_) return;
  if (!frame_->isVisible() && !frame_->isMinimized()) frame_->showMaximized();
  // The window may have closed already (a close request served before the loop).
  loopRunning_.store(true);
  QObject::connect(frame_, &QObject::destroyed, qApp, &QCoreApplication::quit);
  QApplication::exec();
  loopRunning_.store(false);
  // The document goes before the window does; its polling must end while it is there.
  if (frame_ && frame_->view()) frame_->view()->EndPolling();
  hasWindow_.store(false);
}

void QtFrontEnd::UpdateAllViews() {
  QPointer<CMainFrame> frame = frame_;
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

void QtFrontEnd::ShowSinglePoint(app::CTRB6Doc& document) {
  CSinglePoint dialog(document, frame_.data());
  dialog.exec();
}

void QtFrontEnd::ShowStateInOut(app::CTRB6Doc& document) {
  CStateInOutDlg dialog(document, frame_.data());
  dialog.exec();
}

}  // namespace vesk::ui
