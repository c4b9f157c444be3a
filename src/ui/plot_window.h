#pragma once
// "Графики": the polled operative values over time, one series a parameter copy, ticked in
// a tree; a time window from 10 s to 1 h, pause, zoom by dragging, export as PNG; and
// "Записывать в CSV…", which logs every polled value with its time while polling runs.
// The values come from the line's events, so the plot shows what the device answered.

#include <QWidget>
#include <cstdio>
#include <deque>
#include <map>
#include <string>

#include "link/device_link.h"
#include "link/line_event_queue.h"

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLineSeries;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QValueAxis;

namespace vesk::ui {

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

  // Starts logging into `path` (appending a header when the file is new); false with the
  // reason in `error`. StopLog ends it.
  bool StartLog(const std::string& path, std::string& error);
  void StopLog();

  // Takes the events since the last call and redraws (the timer calls it).
  void Refresh();

 private:
  struct Series {
    std::deque<std::pair<qint64, double>> points;  // ms since the epoch, value
    std::map<std::string, double> levels;          // texts that are not numbers, in order seen
    QLineSeries* line = nullptr;
    QTreeWidgetItem* item = nullptr;
  };

  Series& SeriesFor(const std::string& name, const std::string& key);
  void Redraw();
  void ExportPng();
  void ToggleLog();

  link::DeviceLink& link_;
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
};

}  // namespace vesk::ui
