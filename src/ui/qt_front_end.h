#pragma once
// The window's front end of the application shell: the Qt presenter, the progress window,
// the main frame over the document, and the Qt event loop that runs the posted work.

#include <QObject>
#include <QPointer>
#include <atomic>
#include <memory>

#include "app/front_end.h"
#include "ui/main_frame.h"
#include "ui/progress_window.h"
#include "ui/qt_presenter.h"

namespace vesk::ui {

class QtFrontEnd : public QObject, public app::FrontEnd {
  Q_OBJECT
 public:
  // Needs a QApplication that outlives it.
  QtFrontEnd();
  ~QtFrontEnd() override;

  link::Presenter& presenter() override { return presenter_; }
  exchange::ProgressSink* progress() override { return &progress_; }
  ProgressWindow& progressWindow() { return progress_; }

  bool CreateMainWindow(app::CTRB6Doc& document) override;
  bool HasMainWindow() const override { return hasWindow_.load(); }
  void PlaceMainWindow(const app::CommandLineSettings& settings) override;
  void ClearPlacementLock() override;
  bool StaysOpenAfterTask() const override { return true; }

  void Post(std::function<void()> work) override;
  // On the windows' thread, or while no loop runs, the work runs at once; otherwise the
  // caller waits until the loop has run it.
  void Send(std::function<void()> work) override;
  void RequestClose() override;
  // Runs the Qt loop until the main window closes.
  void Run() override;

  void UpdateAllViews() override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;

  app::SetupOutcome RunSetupCarrier(exchange::ExchangeEngine& engine,
                                    bool offline_allowed) override;
  bool RunApplyDialog(exchange::ApplyDialog& dialog) override;
  void ShowSinglePoint(app::CTRB6Doc& document) override;
  void ShowStateInOut(app::CTRB6Doc& document) override;

  CMainFrame* frame() const { return frame_; }

 private:
  QtPresenter presenter_;
  ProgressWindow progress_;
  QPointer<CMainFrame> frame_;
  std::atomic<bool> hasWindow_{false};
  std::atomic<bool> loopRunning_{false};
  std::atomic<bool> closeRequested_{false};
};

}  // namespace vesk::ui
