#pragma once
// The window's front end of the application shell: the Qt presenter, the progress window,
// the main frame over the document, and the Qt event loop that runs the posted work.

#include <QObject>
#include <QPointer>
#include <atomic>
#include <memory>

#include "app/front_end.h"
#include "ui/document_viewer.h"
#include "ui/exchange_status.h"
#include "ui/main_window.h"
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
  exchange::ProgressSink* Progress() override { return &progress_; }
  ProgressWindow& progress_window() { return progress_; }
  // The status bar's share of the background exchanges (a branch's automatic read).
  ExchangeStatus& exchange_status() { return status_; }

  bool CreateMainWindow(app::Document& document) override;
  bool HasMainWindow() const override { return has_window_.load(); }
  // Polling ends with the view; the traffic panel and the plots let go of the link.
  void DestroyMainWindow() override;
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

  void RefreshViews() override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;

  app::SetupOutcome RunSetupCarrier(exchange::ExchangeEngine& engine,
                                    bool offline_allowed) override;
  bool RunApplyDialog(exchange::ApplyDialog& dialog) override;
  void ShowSinglePoint(app::Document& document) override;
  void RunInBackground(exchange::ExchangeEngine& engine, std::string text,
                       std::function<void()> job, std::function<void()> done) override;
  void ShowStateInOut(app::Document& document) override;
  // The desktop's opener (xdg-open) for the file: ENOEXEC when there is none. When the
  // opener finds no program for it, an HTML file is shown in the window's own reader and
  // anything else gets the message that says where it is.
  int OpenDocumentFile(const std::string& path) override;

  MainWindow* frame() const { return frame_; }

 protected:
  bool SendsInline() const override;

 private:
  QtPresenter presenter_;
  ProgressWindow progress_;
  ExchangeStatus status_;
  void OpenerFailed(const QString& path);

  QPointer<MainWindow> frame_;
  QPointer<DocumentViewer> viewer_;
  std::atomic<bool> has_window_{false};
  std::atomic<bool> loop_running_{false};
  std::atomic<bool> close_requested_{false};
};

}  // namespace vesk::ui
