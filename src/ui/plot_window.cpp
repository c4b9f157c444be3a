#include "ui/plot_window.h"

#include <sys/stat.h>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

#include "app/csv_text.h"
#include "exchange/polling.h"
#include "ui/message_box.h"
#include "ui/tree_list_view.h"
#include "ui/ui_text.h"

namespace vesk::ui {
namespace {

constexpr int kRefreshMs = 250;
constexpr qint64 kLongestSpanMs = 3600 * 1000;
constexpr size_t kMostShownPoints = 2000;  // per series; more are thinned out
// Values this many usual steps apart, and at least this far, are not joined: the second
// keeps the jitter of a busy machine from breaking a line that is polled fast.
constexpr qint64 kGapSteps = 3;
constexpr qint64 kShortestGapMs = 1000;

// The step of the time axis's ticks: a round time that splits the window into at most six,
// so that every label has room for its whole time.
qint64 TickMs(qint64 span_ms) {
  for (const qint64 step : {1000, 2000, 5000, 10000, 30000, 60000, 120000, 300000, 600000})
    if (span_ms / step <= 6) return step;
  return span_ms / 6;
}

QString Q(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

// The wall time of a monotonic event time.
std::chrono::system_clock::time_point WallTime(int64_t event_ns) {
  const int64_t age_ns = link::MonotonicSinceStart() - event_ns;
  return std::chrono::system_clock::now() -
         std::chrono::duration_cast<std::chrono::system_clock::duration>(
             std::chrono::nanoseconds(age_ns));
}

}  // namespace

PlotWindow::PlotWindow(link::DeviceLink& link, QWidget* parent)
    : QWidget(parent, Qt::Window), link_(link) {
  setWindowTitle(tr("Графики"));
  setObjectName(QStringLiteral("plots"));
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  span_ = new QComboBox(this);
  for (const auto& [text, seconds] : std::initializer_list<std::pair<const char*, int>>{
           {QT_TRANSLATE_NOOP("vesk", "10 с"), 10},
           {QT_TRANSLATE_NOOP("vesk", "1 мин"), 60},
           {QT_TRANSLATE_NOOP("vesk", "10 мин"), 600},
           {QT_TRANSLATE_NOOP("vesk", "1 ч"), 3600}})
    span_->addItem(UiText(text), seconds);
  span_->setCurrentIndex(1);
  pause_ = new QPushButton(tr("Пауза"), this);
  pause_->setCheckable(true);
  auto* zoom_out = new QPushButton(tr("Сбросить масштаб"), this);
  auto* png = new QPushButton(tr("Сохранить PNG…"), this);
  log_button_ = new QPushButton(UiText(kLogStartCaption), this);
  log_button_->setCheckable(true);
  for (QWidget* w : std::initializer_list<QWidget*>{span_, pause_, zoom_out, png, log_button_})
    bar->addWidget(w);
  bar->addStretch();
  layout->addLayout(bar);

  auto* split = new QSplitter(this);
  tree_ = new QTreeWidget(split);
  tree_->setHeaderLabels({tr("Параметр")});
  chart_ = new QChart;
  chart_->legend()->setAlignment(Qt::AlignBottom);
  time_axis_ = new QDateTimeAxis(chart_);
  time_axis_->setFormat(QStringLiteral("HH:mm:ss"));
  value_axis_ = new QValueAxis(chart_);
  value_axis_->setLabelFormat(QStringLiteral("%g"));
  chart_->addAxis(time_axis_, Qt::AlignBottom);
  chart_->addAxis(value_axis_, Qt::AlignLeft);
  view_ = new QChartView(chart_, split);
  view_->setRubberBand(QChartView::RectangleRubberBand);  // drag to zoom in
  view_->setRenderHint(QPainter::Antialiasing, false);
  split->addWidget(tree_);
  split->addWidget(view_);
  split->setStretchFactor(1, 4);
  layout->addWidget(split);
  resize(1000, 560);

  connect(tree_, &QTreeWidget::itemChanged, this, &PlotWindow::Ticked);
  connect(span_, &QComboBox::currentIndexChanged, this, [this] { Redraw(); });
  connect(pause_, &QPushButton::toggled, this, [this](bool on) {
    if (!on) Redraw();
  });
  connect(zoom_out, &QPushButton::clicked, this, [this] {
    chart_->zoomReset();
    Redraw();
  });
  connect(png, &QPushButton::clicked, this, &PlotWindow::ExportPng);
  connect(log_button_, &QPushButton::clicked, this, &PlotWindow::ToggleLog);

  link_.AddObserver(&queue_);
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &PlotWindow::Refresh);
  timer_->start(kRefreshMs);
  // The time axis gets its range before the chart is first laid out: one laid out with
  // the axis's empty default range never shows its labels or grid again.
  Redraw();
}

PlotWindow::~PlotWindow() {
  link_.RemoveObserver(&queue_);
  StopLog();
}

PlotWindow::Series& PlotWindow::SeriesFor(const std::string& name, const std::string& key) {
  auto [it, added] = series_.try_emplace(key);
  Series& s = it->second;
  if (!added) return s;
  // Copies of one parameter gather under its name.
  QTreeWidgetItem* parent = nullptr;
  const QList<QTreeWidgetItem*> found = tree_->findItems(Q(name), Qt::MatchExactly);
  if (!found.isEmpty()) {
    parent = found.front();
  } else {
    parent = new QTreeWidgetItem(tree_, {Q(name)});
    parent->setExpanded(true);
  }
  const QSignalBlocker quiet(tree_);
  s.item = key == name ? parent : new QTreeWidgetItem(parent, {Q(key)});
  s.item->setFlags(s.item->flags() | Qt::ItemIsUserCheckable);
  s.item->setCheckState(0, Qt::Unchecked);
  s.item->setData(0, Qt::UserRole, Q(key));
  s.label = Q(key);
  return s;
}

namespace {

// The key the line's events give a polled parameter.
std::string KeyOf(const link::Parameter& p) {
  const int32_t index = p.indexed ? p.linear_index : p.poll_index != 0 ? p.poll_index : -1;
  return index >= 0 ? p.short_name + ":" + std::to_string(index) : p.short_name;
}

void PolledRows(QTreeWidgetItem* item, std::vector<QTreeWidgetItem*>& out) {
  for (int i = 0; i < item->childCount(); ++i) {
    QTreeWidgetItem* child = item->child(i);
    if (const link::Parameter* p = TreeListView::ParameterOf(child); p && p->IsPolled())
      out.push_back(child);
    PolledRows(child, out);
  }
}

}  // namespace

void PlotWindow::OfferPolledRows(TreeListView* view) {
  rows_ = view;
  if (!view || !view->pollers_item()) return;
  std::vector<QTreeWidgetItem*> rows;
  PolledRows(view->pollers_item(), rows);
  const QSignalBlocker quiet(tree_);
  for (QTreeWidgetItem* row : rows) {
    const link::Parameter* p = TreeListView::ParameterOf(row);
    const std::string key = KeyOf(*p);
    if (series_.count(key)) continue;
    // The path a user finds it by in the tree, from under the operative branch.
    QStringList path;
    for (QTreeWidgetItem* up = row; up && up != view->pollers_item(); up = up->parent())
      path.prepend(up->text(0));
    Series& s = series_[key];
    s.label = path.join(QStringLiteral(" / ")) + QStringLiteral(" (") + Q(key) + ')';
    s.source = p;
    s.item = new QTreeWidgetItem(tree_, {s.label});
    s.item->setFlags(s.item->flags() | Qt::ItemIsUserCheckable);
    s.item->setCheckState(0, Qt::Unchecked);
    s.item->setData(0, Qt::UserRole, Q(key));
  }
}

QString PlotWindow::Label(const std::string& key) const {
  const auto it = series_.find(key);
  return it == series_.end() ? QString() : it->second.label;
}

QTreeWidgetItem* PlotWindow::RowOf(const link::Parameter* parameter) const {
  if (!rows_ || !rows_->pollers_item()) return nullptr;
  std::vector<QTreeWidgetItem*> rows;
  PolledRows(rows_->pollers_item(), rows);
  for (QTreeWidgetItem* row : rows)
    if (TreeListView::ParameterOf(row) == parameter) return row;
  return nullptr;
}

void PlotWindow::Ticked(QTreeWidgetItem* item) {
  const auto it = series_.find(item->data(0, Qt::UserRole).toString().toStdString());
  if (it != series_.end() && it->second.source) {
    Series& s = it->second;
    // The row is looked up afresh: the tree may have been refilled since it was offered.
    QTreeWidgetItem* row = RowOf(s.source);
    const bool ticked = item->checkState(0) == Qt::Checked;
    if (row && ticked && !exchange::PollingActive(*s.source)) {
      s.polls = rows_->SetPolling(row, true);
    } else if (row && !ticked && s.polls) {
      rows_->SetPolling(row, false);
      s.polls = false;
    }
  }
  Redraw();
}

void PlotWindow::Refresh() {
  std::vector<link::LineEvent> events;
  queue_.TakeAll(events);
  for (const link::LineEvent& e : events)
    if (e.polled && e.read) Take(e);
  if (log_ && !events.empty()) std::fflush(log_);
  // A closed window keeps its series but draws nothing.
  if (!pause_->isChecked() && !events.empty() && isVisible()) Redraw();
}

void PlotWindow::Take(const link::LineEvent& e) {
  const std::string key = e.index >= 0 ? e.name + ":" + std::to_string(e.index) : e.name;
  Series& s = SeriesFor(e.name, key);
  const auto when = WallTime(e.time_ns);
  const qint64 ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  auto mark_break = [&s](qint64 at) {
    if (!s.points.empty() && !std::isnan(s.points.back().second))
      s.points.push_back({at, std::numeric_limits<double>::quiet_NaN()});
  };
  if (e.kind == link::LineEventKind::kSent) {
    // A new read while the last one brought nothing: that one failed.
    if (s.asking) mark_break(ms);
    s.asking = true;
    return;
  }
  if (e.kind != link::LineEventKind::kReceived || e.fault != link::LineFault::kNone) return;
  s.asking = false;
  bool number = false;
  double value = QString::fromStdString(e.text).toDouble(&number);
  if (!number) {
    // A state shown as text becomes a level: 0 for the first text seen, 1 for the next.
    value = s.levels.try_emplace(e.text, static_cast<double>(s.levels.size())).first->second;
  }
  if (!s.points.empty() && !std::isnan(s.points.back().second)) {
    // Values that stopped coming for a while (polling off, the line taken by a task) are
    // not joined across the silence.
    const qint64 since = ms - s.points.back().first;
    if (s.step > 0 && since > kGapSteps * s.step && since > kShortestGapMs)
      mark_break(s.points.back().first + s.step);
    else
      s.step = std::max<qint64>(1, s.step == 0 ? since : (s.step * 7 + since) / 8);
  }
  s.points.push_back({ms, value});
  while (!s.points.empty() && s.points.front().first < ms - kLongestSpanMs) s.points.pop_front();
  if (log_) {
    const auto column = std::find(log_columns_.begin(), log_columns_.end(), key);
    if (column != log_columns_.end()) {
      std::vector<std::string> row(log_columns_.size() + 1);
      row[0] = app::IsoTimeMs(when);
      row[static_cast<size_t>(column - log_columns_.begin()) + 1] = e.text;
      const std::string line = app::CsvRow(row) + "\n";
      std::fwrite(line.data(), 1, line.size(), log_);
    }
  }
}

void PlotWindow::DrawSeries(Series& s, qint64 from, double& low, double& high) {
  const size_t first = s.points.FirstFrom(from);
  const size_t count = s.points.size() - first;
  const size_t step = count > kMostShownPoints ? count / kMostShownPoints + 1 : 1;
  std::vector<QList<QPointF>> pieces(1);
  for (size_t i = first; i < s.points.size(); ++i) {
    const double value = s.points[i].second;
    if (std::isnan(value)) {
      if (!pieces.back().isEmpty()) pieces.emplace_back();
      continue;
    }
    // Thinned out, but never across a break, and the last value of a piece stays.
    const bool last = i + 1 == s.points.size() || std::isnan(s.points[i + 1].second);
    if ((i - first) % step != 0 && !last) continue;
    pieces.back().append(QPointF(static_cast<double>(s.points[i].first), value));
    low = std::min(low, value);
    high = std::max(high, value);
  }
  if (pieces.size() > 1 && pieces.back().isEmpty()) pieces.pop_back();
  while (s.pieces.size() < pieces.size()) {
    auto* line = new QLineSeries(chart_);
    chart_->addSeries(line);
    line->attachAxis(time_axis_);
    line->attachAxis(value_axis_);
    if (s.pieces.empty()) {
      line->setName(s.label);
    } else {
      line->setPen(s.pieces.front()->pen());
      for (QLegendMarker* marker : chart_->legend()->markers(line)) marker->setVisible(false);
    }
    s.pieces.push_back(line);
  }
  for (size_t i = 0; i < s.pieces.size(); ++i) {
    s.pieces[i]->replace(i < pieces.size() ? pieces[i] : QList<QPointF>());
    s.pieces[i]->setVisible(i < pieces.size() || i == 0);
  }
}

void PlotWindow::Redraw() {
  if (chart_->isZoomed()) return;  // the user's zoom stays until it is reset
  // The window ends on a whole tick, so that the ticks fall on round times.
  const qint64 span_ms = span_->currentData().toLongLong() * 1000;
  const qint64 tick_ms = TickMs(span_ms);
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  const qint64 to = (now / tick_ms + 1) * tick_ms;
  const qint64 from = to - span_ms;
  double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
  for (auto& entry : series_) {
    Series& s = entry.second;
    if (s.item->checkState(0) != Qt::Checked) {
      for (QLineSeries* line : s.pieces) line->hide();
      continue;
    }
    DrawSeries(s, from, low, high);
  }
  time_axis_->setTickCount(static_cast<int>(span_ms / tick_ms) + 1);
  time_axis_->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
  if (low <= high) {
    const double margin = high > low ? (high - low) * 0.05 : 1.0;
    value_axis_->setRange(low - margin, high + margin);
    value_axis_->applyNiceNumbers();
  }
}

int PlotWindow::PointCount(const std::string& key) const {
  const auto it = series_.find(key);
  return it == series_.end() ? -1 : static_cast<int>(it->second.points.size());
}

int PlotWindow::ShownCount(const std::string& key) const {
  const auto it = series_.find(key);
  int count = 0;
  if (it != series_.end())
    for (QLineSeries* line : it->second.pieces)
      if (line->isVisible()) count += static_cast<int>(line->count());
  return count;
}

int PlotWindow::ShownPieces(const std::string& key) const {
  const auto it = series_.find(key);
  int pieces = 0;
  if (it != series_.end())
    for (QLineSeries* line : it->second.pieces) pieces += line->isVisible() && line->count() > 0;
  return pieces;
}

bool PlotWindow::StartLog(const std::string& path, std::string& error) {
  StopLog();
  log_ = std::fopen(path.c_str(), "we");
  if (!log_) {
    error = std::strerror(errno);
    return false;
  }
  log_columns_.clear();
  std::vector<std::string> header{"time"};
  for (const auto& [key, s] : series_)
    if (s.item->checkState(0) == Qt::Checked) {
      log_columns_.push_back(key);
      header.push_back(s.label.toStdString());
    }
  // The header goes out at once: a file being recorded shows what it will hold.
  const std::string line = app::CsvRow(header) + "\n";
  std::fwrite(line.data(), 1, line.size(), log_);
  std::fflush(log_);
  log_button_->setChecked(true);
  log_button_->setText(UiText(kLogStopCaption));
  return true;
}

void PlotWindow::StopLog() {
  if (log_) std::fclose(log_);
  log_ = nullptr;
  log_button_->setChecked(false);
  log_button_->setText(UiText(kLogStartCaption));
}

void PlotWindow::ToggleLog() {
  if (log_) {
    StopLog();
    return;
  }
  log_button_->setChecked(false);
  const QString path = QFileDialog::getSaveFileName(this, UiText(kLogStartCaption), tr("опрос.csv"),
                                                    QStringLiteral("CSV (*.csv)"));
  if (path.isEmpty()) return;
  if (std::string error; !StartLog(path.toStdString(), error))
    ShowErrorBox(this, windowTitle(), UiText(kLogOpenFailed).arg(path, Q(error)));
}

QImage PlotWindow::Picture() {
  const link::PortSettings& port = link_.port().settings();
  const QString stamp =
      UiText(kPlotStamp)
          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
               Q(port.port_name))
          .arg(port.device_address);
  // A picture sent on shows where and when it was taken.
  chart_->setTitle(stamp);
  chart_->layout()->activate();
  QImage image = view_->grab().toImage();
  chart_->setTitle({});
  chart_->layout()->activate();
  return image;
}

void PlotWindow::ExportPng() {
  const QString path = QFileDialog::getSaveFileName(this, tr("Сохранить PNG"), tr("графики.png"),
                                                    QStringLiteral("PNG (*.png)"));
  if (path.isEmpty()) return;
  if (!Picture().save(path, "PNG"))
    ShowErrorBox(this, windowTitle(), tr("Не удалось записать \"%1\"").arg(path));
}

}  // namespace vesk::ui
