#pragma once
// The connection set-up dialog "Установка связи с прибором" over the core's SetupWorker:
// the port-settings list (values chosen from lists in place), the status line, and the buttons.
// The worker's notifications come from its thread and are queued to the window's.

#include <QDialog>
#include <QPointer>
#include <map>
#include <memory>

#include "exchange/setup_worker.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace vesk::ui {

inline constexpr const char* kSetupRefusedText =
    QT_TRANSLATE_NOOP("vesk", "Значение «%1» не подходит: %2");
// The rate sweep's progress bar: the rate tried now of how many.
inline constexpr const char* kSweepStepFormat = QT_TRANSLATE_NOOP("vesk", "скорость %v из %m");

class SetupDialog : public QDialog {
  Q_OBJECT
 public:
  SetupDialog(exchange::ExchangeEngine& engine, bool offline_allowed, QWidget* parent = nullptr,
              exchange::SetupWorker::Prober prober = {});
  ~SetupDialog() override;

  // Opens the worker and runs the dialog; returns how it ended.
  exchange::SetupOutcome RunModal();

  QTableWidget* table() const { return table_; }
  QLabel* status() const { return status_; }
  // Shown while the rate sweep runs.
  QProgressBar* sweep_progress() const { return sweep_progress_; }
  QPushButton* Button(int command) const;
  exchange::SetupWorker& worker() { return *worker_; }

 public slots:
  void reject() override;  // Escape and the close box: "Выход"
  void accept() override;  // Enter: OK

 private:
  void Show(unsigned changes);
  void EditCell(int row, int column);
  void ApplyEdit(int row, const QString& text);

  std::unique_ptr<exchange::SetupWorker> worker_;
  QTableWidget* table_;
  QLabel* status_;
  QProgressBar* sweep_progress_;
  std::map<int, QPushButton*> buttons_;
  bool filling_ = false;
};

}  // namespace vesk::ui
