#pragma once
// The progress window "Прибор <==> программа" of the exchange tasks: a modal dialog with the
// log list, the elapsed time, the "%i из %i" counter, the progress bar and "Прервать!".
// The engine talks to it from the exchange thread; every such call is queued to the
// windows' thread and returns at once.

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>

#include "exchange/progress_sink.h"

class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace vesk::ui {

inline constexpr const char* kProgressTitle = QT_TRANSLATE_NOOP("vesk", "Прибор <==> программа");
inline constexpr const char* kCancelButtonText = QT_TRANSLATE_NOOP("vesk", "Прервать!");
// The window's first width: its usual lines ("Прочитан параметр …") fit.
inline constexpr int kProgressWidth = 640;

// The dialog itself. "Прервать!", Enter and Escape ask for the cancel; nothing but the
// end of the task closes it.
class ProgressDialog : public QDialog {
  Q_OBJECT
 public:
  explicit ProgressDialog(QWidget* parent = nullptr);

  void AddLine(const exchange::ProgressLine& line);
  void ScrollToBottom();
  void SetRange(int range);

  QListWidget* list() const { return list_; }
  QLineEdit* elapsed() const { return elapsed_; }
  QLineEdit* counter() const { return counter_; }
  QProgressBar* bar() const { return bar_; }
  QPushButton* CancelButton() const { return cancel_; }

 signals:
  void CancelRequested();

 public slots:
  // Escape: the same as "Прервать!"; the window stays until the task ends.
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FitLine(const QString& text);

  QListWidget* list_;
  QLineEdit* elapsed_;
  QLineEdit* counter_;
  QProgressBar* bar_;
  QPushButton* cancel_;
};

class ProgressWindow : public QObject, public exchange::ProgressSink {
  Q_OBJECT
 public:
  explicit ProgressWindow(QObject* parent = nullptr);

  // What "Прервать!" does (the engine's Cancel).
  void set_cancel(std::function<void()> cancel) { cancel_ = std::move(cancel); }
  // The window the dialog is modal over.
  void set_parent_widget(QWidget* parent) { parent_widget_ = parent; }

  bool Run(int code, std::string_view caption, int range,
           const std::function<void()>& opened) override;
  void Log(const exchange::ProgressLine& line) override;
  void ScrollToBottom() override;
  bool Close() override;

  // The open dialog, or nullptr (tests and the main frame look at it).
  ProgressDialog* dialog() const { return dialog_; }
  bool IsOpen() const { return dialog_ != nullptr; }

 signals:
  // The dialog has opened (the task is starting) / has closed.
  void Opened();
  void Finished();

 private:
  std::function<void()> cancel_;
  QPointer<QWidget> parent_widget_;
  ProgressDialog* dialog_ = nullptr;
  std::atomic<bool> open_{false};
};

}  // namespace vesk::ui
