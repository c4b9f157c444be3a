#pragma once
// The dockable "Обмен с прибором" panel: every frame of the line as the link reports it,
// with pause, clear, a filter by parameter and outcome, follow-the-end and save; and the
// "Статистика линии" panel with the live counters of --stats.

#include <QDockWidget>
#include <memory>

#include "link/device_link.h"
#include "link/line_event_queue.h"
#include "link/line_stats.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTimer;

namespace vesk::ui {

class TrafficModel;

inline constexpr const char* kTrafficSaveCaption = QT_TRANSLATE_NOOP("vesk", "Сохранить обмен");
// %1 the file, %2 the system's reason.
inline constexpr const char* kTrafficSaveFailed =
    QT_TRANSLATE_NOOP("vesk", "Не удалось записать \"%1\": %2");

// Events wait here between two refreshes of the panel; more than this in 100 ms is lost.
inline constexpr size_t kTrafficQueue = 20000;

class TrafficPanel : public QDockWidget {
  Q_OBJECT
 public:
  TrafficPanel(link::DeviceLink& link, QWidget* parent = nullptr);
  ~TrafficPanel() override;

  TrafficModel& model() { return *model_; }
  QTableView* table() const { return table_; }
  QPushButton* pause_button() const { return pause_; }
  QPushButton* clear_button() const { return clear_; }
  QLineEdit* name_filter() const { return name_filter_; }
  QComboBox* outcome_filter() const { return outcome_filter_; }
  QCheckBox* follow_box() const { return follow_; }
  QPushButton* save_button() const { return save_; }
  link::LineStats& stats() { return stats_; }
  link::LineEventQueue& queue() { return queue_; }

  // Writes the rows that pass the filter: CSV for a name ending in ".csv", the trace's
  // text otherwise. Returns false with the reason in `error`.
  bool SaveRows(const QString& path, QString& error) const;

  // Takes what the link reported since the last call (the timer calls it every 100 ms).
  void Refresh();

 signals:
  // The counters changed: requests and failures for the status bar.
  void CountersChanged(quint64 requests, quint64 failures);

 private:
  void Save();
  // Puts the filter between the rows and the table while one is set, and takes it away
  // when none is.
  void Refilter();
  // The row of the model behind a row of the table.
  int SourceRow(int shown_row) const;

  link::DeviceLink& link_;
  link::LineEventQueue queue_{kTrafficQueue};
  link::LineStats stats_;
  TrafficModel* model_;
  QSortFilterProxyModel* proxy_;
  QTableView* table_;
  QPushButton* pause_;
  QPushButton* clear_;
  QLineEdit* name_filter_;
  QComboBox* outcome_filter_;
  QCheckBox* follow_;
  QPushButton* save_;
  QLabel* lost_;
  QTimer* timer_;
};

// The live counters, resettable.
class LineStatsPanel : public QDockWidget {
  Q_OBJECT
 public:
  LineStatsPanel(link::LineStats& stats, QWidget* parent = nullptr);
  void Refresh();
  QPushButton* reset_button() const { return reset_; }
  QLabel* text() const { return text_; }

 private:
  link::LineStats& stats_;
  QLabel* text_;
  QPushButton* reset_;
};

}  // namespace vesk::ui
