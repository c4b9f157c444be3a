#pragma once
// "Графики": the polled operative values over time, one series a parameter copy, ticked in
// a tree; a time window from 10 s to 1 h, pause, zoom by dragging, export as PNG; and
// "Записывать в CSV…", which logs the ticked series in the layout of --watch. The values
// come from the line's events, so the plot shows what the device answered, and a read that
// failed or never came breaks the line.

#include <QPointer>
#include <QWidget>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "exchange/polling.h"
#include "link/device_link.h"
#include "link/line_event_queue.h"
#include "ui/point_ring.h"

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QImage;
class QLineSeries;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QValueAxis;

namespace vesk::ui {

class TreeListView;

inline constexpr const char* kLogStartCaption = QT_TRANSLATE_NOOP("vesk", "Записывать в CSV…");
inline constexpr const char* kLogStopCaption = QT_TRANSLATE_NOOP("vesk", "Остановить запись в CSV");
// %1 the file, %2 the system's reason.
inline constexpr const char* kLogOpenFailed =
    QT_TRANSLATE_NOOP("vesk", "Не удалось открыть \"%1\": %2");
// Under the PNG's plot: %1 the date and time, %2 the port, %3 the device's address.
inline constexpr const char* kPlotStamp = QT_TRANSLATE_NOOP("vesk", "%1, порт %2, адрес %3");

class PlotWindow : public QWidget {
  Q_OBJECT
 public:
  PlotWindow(link::DeviceLink& link, QWidget* parent = nullptr);
  ~PlotWindow() override;

  QTreeWidget* series_tree() const { return tree_; }
  QPushButton* pause_button() const { return pause_; }
  QComboBox* span_box() const { return span_; }
  // Points the series of NAME[:INDEX] holds; -1 when there is no such series.
  int PointCount(const std::string& key) const;
  // Points the chart shows for it (ticked series only).
  int ShownCount(const std::string& key) const;
  // The unbroken pieces of its line the chart shows (ticked series only).
  int ShownPieces(const std::string& key) const;
  QValueAxis* value_axis() const { return value_axis_; }
  QDateTimeAxis* time_axis() const { return time_axis_; }
  QPushButton* log_button() const { return log_button_; }
  // The picture "Сохранить PNG…" writes, with the date, the port and the address.
  QImage Picture();

  // Starts logging the ticked series into `path` (replacing it), the header at once; false
  // with the reason in `error`. StopLog ends it.
  bool StartLog(const std::string& path, std::string& error);
  void StopLog();

  // Takes the events since the last call and redraws (the timer calls it).
  void Refresh();

  // Offers every polled parameter of the view's operative tree as a series under its
  // caption path, with the short name and index beside it. Ticking one polls it through
  // the view at its own period for as long as it stays ticked.
  void OfferPolledRows(TreeListView* view);
  // The name of the series in the list, the legend and the CSV header.
  QString Label(const std::string& key) const;

 private:
  // The longest span at the fastest polling; breaks make the oldest go a little sooner.
  static constexpr size_t kPointsKept = 3600 * 1000 / exchange::kMinPollPeriodMs;
  struct Series {
    // A NaN value marks a break: a read that failed or never came.
    PointRing points{kPointsKept};
    std::map<std::string, double> levels;  // texts that are not numbers, in order seen
    std::vector<QLineSeries*> pieces;      // the first carries the name in the legend
    QTreeWidgetItem* item = nullptr;
    QString label;                            // caption path and key; the key alone when unknown
    const link::Parameter* source = nullptr;  // the tree's parameter, when offered from it
    bool polls = false;                       // its polling was switched on by ticking it here
    bool asking = false;                      // a read went out and no value came back yet
    qint64 step = 0;                          // the usual time between two values
  };

  Series& SeriesFor(const std::string& name, const std::string& key);
  void Redraw();
  void DrawSeries(Series& s, qint64 from, double& low, double& high);
  void Take(const link::LineEvent& e);
  void Ticked(QTreeWidgetItem* item);
  QTreeWidgetItem* RowOf(const link::Parameter* parameter) const;
  void ExportPng();
  void ToggleLog();

  link::DeviceLink& link_;
  QPointer<TreeListView> rows_;
  link::LineEventQueue queue_{20000};
  std::map<std::string, Series> series_;
  QTreeWidget* tree_;
  QChart* chart_;
  QChartView* view_;
  QDateTimeAxis* time_axis_;
  QValueAxis* value_axis_;
  QComboBox* span_;
  QPushButton* pause_;
  QPushButton* log_button_;
  QTimer* timer_;
  std::FILE* log_ = nullptr;
  std::vector<std::string> log_columns_;
};

}  // namespace vesk::ui
