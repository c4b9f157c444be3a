#pragma once
// ExchangeStatus: the progress of a background exchange (the automatic read of an
// expanded branch, an immediate write, a device command) in the main window's status bar,
// with "Прервать!" beside it, instead of a progress window. The window keeps answering
// meanwhile. What waits for the line queues here and starts when the line is free.
//
// Threads: Run is called on the windows' thread; Log, ScrollToBottom, Close and TaskEnded
// come from the exchange thread and are queued to the windows' thread. The front end owns
// it, so it outlives the engine's threads and the main window alike.

#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>

#include "exchange/progress_sink.h"

class QLabel;
class QPushButton;

namespace vesk::ui {

// What the status bar shows while the exchange runs: the task's words, then the counter
// ("3 из 8").
inline constexpr const char* kExchangeStatusFormat = "%1: %2";

class ExchangeStatus : public QObject, public exchange::ProgressSink {
  Q_OBJECT
 public:
  explicit ExchangeStatus(QObject* parent = nullptr);

  // The status bar's label and "Прервать!" button it shows the exchange with.
  void Attach(QLabel* label, QPushButton* stop);
  // What "Прервать!" and Escape do (the engine's Cancel).
  void set_cancel(std::function<void()> cancel) { cancel_ = std::move(cancel); }
  // The words of the next task in the status bar ("Чтение ветви «…»").
  void set_next_text(const QString& text) { next_text_ = text; }

  // True from the task's start until its end has reached the windows' thread.
  bool IsBusy() const { return busy_; }
  // Escape or "Прервать!": asks the engine to end the exchange and drops what waits for
  // its turn; false when none runs.
  bool Stop();
  // Queues `start` behind what waits already: it runs on the windows' thread once nothing
  // is on the wire, and returns whether it put an exchange there.
  void Enqueue(std::function<bool()> start);
  // Drops what waits (the document it was for is going).
  void ClearQueue() { queue_.clear(); }

  bool Run(int code, std::string_view caption, int range,
           const std::function<void()>& opened) override;
  void Log(const exchange::ProgressLine& line) override;
  void ScrollToBottom() override {}
  bool Close() override { return true; }
  void TaskEnded() override;

 signals:
  // The exchange has ended (done, cancelled or stopped); on the windows' thread.
  void Ended();

 private:
  void Show(const QString& counter);
  void StartNext();

  QPointer<QLabel> label_;
  QPointer<QPushButton> stop_;
  std::function<void()> cancel_;
  QString next_text_;
  QString text_;
  bool busy_ = false;
  std::deque<std::function<bool()>> queue_;
};

}  // namespace vesk::ui
