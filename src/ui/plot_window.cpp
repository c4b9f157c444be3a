#include "ui/plot_window.h"

#include <sys/stat.h>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>

#include "app/csv_text.h"
#include "ui/message_box.h"

namespace vesk::ui {
namespace {

constexpr int kRefreshMs = 250;
constexpr qint64 kLongestSpanMs = 3600 * 1000;
constexpr size_t kMostShownPoints = 2000;  // per series; more are thinned out

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
  setWindowTitle(QStringLiteral("Графики"));
  setObjectName(QStringLiteral("plots"));
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  span_ = new QComboBox(this);
  for (const auto& [text, seconds] : std::initializer_list<std::pair<const char*, int>>{
           {"10 с", 10}, {"1 мин", 60}, {"10 мин", 600}, {"1 ч", 3600}})
    span_->addItem(QString::fromUtf8(text), seconds);
  span_->setCurrentIndex(1);
  pause_ = new QPushButton(QStringLiteral("Пауза"), this);
  pause_->setCheckable(true);
  auto* zoom_out = new QPushButton(QStringLiteral("Сбросить масштаб"), this);
  auto* png = new QPushButton(QStringLiteral("Сохранить PNG…"), this);
  log_button_ = new QPushButton(QStringLiteral("Записывать в CSV…"), this);
  log_button_->setCheckable(true);
  for (QWidget* w : std::initializer_list<QWidget*>{span_, pause_, zoom_out, png, log_button_})
    bar->addWidget(w);
  bar->addStretch();
  layout->addLayout(bar);

  auto* split = new QSplitter(this);
  tree_ = new QTreeWidget(split);
  tree_->setHeaderLabels({QStringLiteral("Параметр")});
  chart_ = new QChart;
  chart_->legend()->setAlignment(Qt::AlignBottom);
  time_axis_ = new QDateTimeAxis(chart_);
  time_axis_->setFormat(QStringLiteral("HH:mm:ss"));
  value_axis_ = new QValueAxis(chart_);
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

  connect(tree_, &QTreeWidget::itemChanged, this, [this] { Redraw(); });
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
  return s;
}

void PlotWindow::Refresh() {
  std::vector<link::LineEvent> events;
  queue_.TakeAll(events);
  for (const link::LineEvent& e : events) {
    if (!e.polled || e.kind != link::LineEventKind::kReceived || e.fault != link::LineFault::kNone)
      continue;
    const std::string key = e.index >= 0 ? e.name + ":" + std::to_string(e.index) : e.name;
    Series& s = SeriesFor(e.name, key);
    const auto when = WallTime(e.time_ns);
    bool number = false;
    double value = QString::fromStdString(e.text).toDouble(&number);
    if (!number) {
      // A state shown as text becomes a level: 0 for the first text seen, 1 for the next.
      value = s.levels.try_emplace(e.text, static_cast<double>(s.levels.size())).first->second;
    }
    const qint64 ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    s.points.emplace_back(ms, value);
    while (!s.points.empty() && s.points.front().first < ms - kLongestSpanMs) s.points.pop_front();
    if (log_) {
      const std::string row = app::CsvRow({app::IsoTimeMs(when), key, e.text}) + "\n";
      std::fwrite(row.data(), 1, row.size(), log_);
    }
  }
  if (log_ && !events.empty()) std::fflush(log_);
  if (!pause_->isChecked() && !events.empty()) Redraw();
}

void PlotWindow::Redraw() {
  if (chart_->isZoomed()) return;  // the user's zoom stays until it is reset
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  const qint64 from = now - span_->currentData().toLongLong() * 1000;
  double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
  for (auto& [key, s] : series_) {
    const bool ticked = s.item->checkState(0) == Qt::Checked;
    if (!ticked) {
      if (s.line) s.line->hide();
      continue;
    }
    if (!s.line) {
      s.line = new QLineSeries(chart_);
      s.line->setName(Q(key));
      chart_->addSeries(s.line);
      s.line->attachAxis(time_axis_);
      s.line->attachAxis(value_axis_);
    }
    s.line->show();
    size_t first = 0;
    while (first < s.points.size() && s.points[first].first < from) ++first;
    const size_t count = s.points.size() - first;
    const size_t step = count > kMostShownPoints ? count / kMostShownPoints + 1 : 1;
    QList<QPointF> shown;
    shown.reserve(static_cast<qsizetype>(count / step + 1));
    for (size_t i = first; i < s.points.size(); i += step) {
      shown.append(QPointF(static_cast<double>(s.points[i].first), s.points[i].second));
      low = std::min(low, s.points[i].second);
      high = std::max(high, s.points[i].second);
    }
    s.line->replace(shown);
  }
  time_axis_->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(now));
  if (low <= high) {
    const double margin = high > low ? (high - low) * 0.05 : 1.0;
    value_axis_->setRange(low - margin, high + margin);
  }
}

int PlotWindow::PointCount(const std::string& key) const {
  const auto it = series_.find(key);
  return it == series_.end() ? -1 : static_cast<int>(it->second.points.size());
}

int PlotWindow::ShownCount(const std::string& key) const {
  const auto it = series_.find(key);
  return it == series_.end() || !it->second.line || !it->second.line->isVisible()
             ? 0
             : static_cast<int>(it->second.line->count());
}

bool PlotWindow::StartLog(const std::string& path, std::string& error) {
  StopLog();
  struct stat st {};
  const bool fresh = ::stat(path.c_str(), &st) != 0 || st.st_size == 0;
  log_ = std::fopen(path.c_str(), "ae");
  if (!log_) {
    error = std::strerror(errno);
    return false;
  }
  if (fresh) std::fputs("time,parameter,value\n", log_);
  return true;
}

void PlotWindow::StopLog() {
  if (log_) std::fclose(log_);
  log_ = nullptr;
}

void PlotWindow::ToggleLog() {
  if (!log_button_->isChecked()) {
    StopLog();
    return;
  }
  const QString path = QFileDialog::getSaveFileName(
      this, log_button_->text(), QStringLiteral("опрос.csv"), QStringLiteral("CSV (*.csv)"),
      nullptr, QFileDialog::DontConfirmOverwrite);
  std::string error;
  if (path.isEmpty() || !StartLog(path.toStdString(), error)) {
    log_button_->setChecked(false);
    if (!path.isEmpty())
      ShowErrorBox(this, windowTitle(),
                   QStringLiteral("Не удалось открыть \"%1\": %2").arg(path, Q(error)));
  }
}

void PlotWindow::ExportPng() {
  const QString path =
      QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить PNG"),
                                   QStringLiteral("графики.png"), QStringLiteral("PNG (*.png)"));
  if (path.isEmpty()) return;
  if (!view_->grab().save(path, "PNG"))
    ShowErrorBox(this, windowTitle(), QStringLiteral("Не удалось записать \"%1\"").arg(path));
}

}  // namespace vesk::ui
