#pragma once
// BusScanDialog: "Найти приборы на линии" over the core's bus scan, run as a task of the
// exchange thread: the range, Start/Stop, a progress bar and the devices as they are
// found. Choosing one (double-click or "Выбрать") ends the dialog with its address;
// RunBusScanDialog then makes it the base address and reads the device.

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>

#include "exchange/bus_scan.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace vesk::app {
class Document;
}
namespace vesk::exchange {
class ExchangeEngine;
}

namespace vesk::ui {

inline constexpr const char* kBusScanTitle = QT_TRANSLATE_NOOP("vesk", "Найти приборы на линии");
inline constexpr const char* kBusScanStartText = QT_TRANSLATE_NOOP("vesk", "Начать");
inline constexpr const char* kBusScanStopText = QT_TRANSLATE_NOOP("vesk", "Остановить");
inline constexpr const char* kBusScanChooseText = QT_TRANSLATE_NOOP("vesk", "Выбрать");
inline constexpr const char* kBusScanRefusedText =
    QT_TRANSLATE_NOOP("vesk", "Адрес %1 не подходит к настройкам порта");

class BusScanDialog : public QDialog {
  Q_OBJECT
 public:
  explicit BusScanDialog(exchange::ExchangeEngine& engine, QWidget* parent = nullptr);
  // Stops a bus scan that still runs and waits for its end.
  ~BusScanDialog() override;

  QSpinBox* from() const { return from_; }
  QSpinBox* to() const { return to_; }
  QPushButton* start_stop() const { return start_; }
  QPushButton* choose() const { return choose_; }
  QProgressBar* bar() const { return bar_; }
  QTableWidget* list() const { return list_; }
  QLabel* status() const { return status_; }
  bool Running() const { return running_; }
  // The device chosen, once the dialog has been accepted.
  std::optional<int32_t> chosen() const { return chosen_; }

 signals:
  // The bus scan has ended (done, stopped, or failed).
  void Finished();

 public slots:
  void reject() override;

 private:
  class Sink;
  void StartOrStop();
  void Stop();
  void Choose(int row);
  void AddDevice(const exchange::FoundDevice& device);
  void Done(const exchange::BusScanOutcome& outcome, double seconds);
  void Ended();

  exchange::ExchangeEngine& engine_;
  std::unique_ptr<Sink> sink_;
  QSpinBox* from_;
  QSpinBox* to_;
  QPushButton* start_;
  QPushButton* choose_;
  QProgressBar* bar_;
  QTableWidget* list_;
  QLabel* status_;
  bool running_ = false;
  std::optional<int32_t> chosen_;
};

// Runs the dialog; a device chosen becomes the base address (as in the set-up dialog)
// and is read into the document, once `may_read` (given the address) allows it. Returns
// the address chosen, or nothing when the dialog was cancelled or the read refused.
std::optional<int32_t> RunBusScanDialog(app::Document& document, QWidget* parent,
                                        const std::function<bool(int32_t)>& may_read = {});

}  // namespace vesk::ui
