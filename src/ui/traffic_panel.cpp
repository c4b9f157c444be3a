#include "ui/traffic_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/csv_text.h"
#include "app/line_trace_file.h"
#include "ui/message_box.h"
#include "ui/traffic_model.h"
#include "ui/ui_text.h"

namespace vesk::ui {
namespace {

// Four times a second is as fast as a person reads a scrolling log; faster, the table's
// repainting alone took more of the window's time than the plots while polling fast.
constexpr int kRefreshMs = 250;

enum Outcome { kAll, kGood, kFailed };

// Rows by a part of the parameter's name and by outcome.
class TrafficFilter : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

  void Set(const QString& name, int outcome) {
    name_ = name.trimmed();
    outcome_ = outcome;
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex&) const override {
    const link::LineEvent& e = static_cast<const TrafficModel*>(sourceModel())->At(row);
    if (!name_.isEmpty() && !Names(e)) return false;
    if (outcome_ == kAll) return true;
    return TrafficModel::Failed(e) == (outcome_ == kFailed);
  }

 private:
  // As the tree's Ctrl+F, without regard to case. An attribute exchange belongs to the
  // parameter its text names.
  bool Names(const link::LineEvent& e) const {
    auto has = [this](const std::string& s) {
      return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()))
          .contains(name_, Qt::CaseInsensitive);
    };
    return has(e.name) || (e.hash == link::kAttributeHash && has(e.text));
  }

  QString name_;
  int outcome_ = kAll;
};

}  // namespace

TrafficPanel::TrafficPanel(link::DeviceLink& link, QWidget* parent)
    : QDockWidget(tr("Обмен с прибором"), parent), link_(link) {
  setObjectName(QStringLiteral("traffic"));
  model_ = new TrafficModel(kTrafficRing, this);
  proxy_ = new TrafficFilter(this);

  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  auto* bar = new QHBoxLayout;
  pause_ = new QPushButton(tr("Пауза"), body);
  pause_->setCheckable(true);
  clear_ = new QPushButton(tr("Очистить"), body);
  name_filter_ = new QLineEdit(body);
  name_filter_->setPlaceholderText(tr("Параметр"));
  name_filter_->setClearButtonEnabled(true);
  outcome_filter_ = new QComboBox(body);
  outcome_filter_->addItems({tr("Все"), tr("Успешные"), tr("Сбои")});
  follow_ = new QCheckBox(tr("Следовать за концом"), body);
  follow_->setChecked(true);
  save_ = new QPushButton(tr("Сохранить…"), body);
  lost_ = new QLabel(body);
  for (QWidget* w : std::initializer_list<QWidget*>{pause_, clear_, name_filter_, outcome_filter_,
                                                    follow_, save_, lost_})
    bar->addWidget(w);
  bar->addStretch();
  layout->addLayout(bar);
  table_ = new QTableView(body);
  table_->setModel(model_);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  table_->horizontalHeader()->setStretchLastSection(true);
  // The value or why the exchange failed is what one reads first: it gets room for a whole
  // time-out reason, the short columns what they and their titles hold, and the frame the
  // rest.
  const int ch = fontMetrics().averageCharWidth();
  // A time column that fits a day of running: a narrower one elides the digits that change.
  table_->setColumnWidth(TrafficModel::kTime,
                         fontMetrics().horizontalAdvance(QStringLiteral("000000.000000")) + 4 * ch);
  for (auto [column, chars] : {std::pair{TrafficModel::kDirection, 3},
                               {TrafficModel::kAddress, 5},
                               {TrafficModel::kName, 10},
                               {TrafficModel::kIndex, 5},
                               {TrafficModel::kText, 56}}) {
    const QString title = model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    table_->setColumnWidth(column,
                           std::max(ch * chars, fontMetrics().horizontalAdvance(title) + 4 * ch));
  }
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setWordWrap(false);
  layout->addWidget(table_);
  setWidget(body);

  connect(name_filter_, &QLineEdit::textChanged, this, &TrafficPanel::Refilter);
  connect(outcome_filter_, &QComboBox::currentIndexChanged, this, &TrafficPanel::Refilter);
  connect(clear_, &QPushButton::clicked, this, [this] { model_->Clear(); });
  connect(save_, &QPushButton::clicked, this, &TrafficPanel::Save);

  link_.AddObserver(&queue_);
  link_.AddObserver(&stats_);
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &TrafficPanel::Refresh);
  timer_->start(kRefreshMs);
}

TrafficPanel::~TrafficPanel() {
  link_.RemoveObserver(&queue_);
  link_.RemoveObserver(&stats_);
}

void TrafficPanel::Refilter() {
  const bool filtered =
      !name_filter_->text().trimmed().isEmpty() || outcome_filter_->currentIndex() != kAll;
  // The filter walks its whole mapping whenever rows come or the oldest go, which with a
  // full ring costs the window more than everything else it does while polling: it sits
  // between the rows and the table only while the user filters.
  QAbstractItemModel* const shown = filtered ? static_cast<QAbstractItemModel*>(proxy_) : model_;
  if (filtered) {
    if (proxy_->sourceModel() != model_) proxy_->setSourceModel(model_);
    static_cast<TrafficFilter*>(proxy_)->Set(name_filter_->text(), outcome_filter_->currentIndex());
  }
  if (table_->model() != shown) {
    // A new model gives the header its sections afresh; the widths the user set stay.
    std::vector<int> widths;
    for (int c = 0; c < TrafficModel::kColumns; ++c) widths.push_back(table_->columnWidth(c));
    table_->setModel(shown);
    for (int c = 0; c < TrafficModel::kColumns; ++c) table_->setColumnWidth(c, widths[c]);
  }
  if (!filtered) proxy_->setSourceModel(nullptr);
  if (follow_->isChecked()) table_->scrollToBottom();
}

int TrafficPanel::SourceRow(int shown_row) const {
  if (table_->model() == model_) return shown_row;
  return proxy_->mapToSource(proxy_->index(shown_row, 0)).row();
}

void TrafficPanel::Refresh() {
  const link::LineCounters c = stats_.Snapshot();
  emit CountersChanged(c.requests, c.Failures());
  if (const uint64_t dropped = queue_.dropped()) lost_->setText(tr("потеряно: %1").arg(dropped));
  // While paused the events wait in the queue (the oldest give way when it is full).
  if (pause_->isChecked()) return;
  std::vector<link::LineEvent> taken;
  queue_.TakeAll(taken);
  if (taken.empty()) return;
  model_->Append(taken);
  if (follow_->isChecked()) table_->scrollToBottom();
}

bool TrafficPanel::SaveRows(const QString& path, QString& error) const {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    error = file.errorString();
    return false;
  }
  const bool csv = path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
  if (csv) file.write("seconds,direction,address,name,index,text,frame\n");
  for (int r = 0; r < table_->model()->rowCount(); ++r) {
    const link::LineEvent& e = model_->At(SourceRow(r));
    std::string line;
    if (csv) {
      const std::string head = app::TraceLine(e);
      line = app::CsvRow({head.substr(0, head.find('\t')), std::string(1, e.Direction()),
                          std::to_string(e.address), e.name,
                          e.index >= 0 ? std::to_string(e.index) : std::string(),
                          TrafficModel::Text(e), link::EscapeLineChars(e.chars)});
    } else {
      line = app::TraceLine(e);
    }
    line += '\n';
    if (file.write(line.data(), static_cast<qint64>(line.size())) < 0) {
      error = file.errorString();
      return false;
    }
  }
  if (!file.flush()) {
    error = file.errorString();
    return false;
  }
  return true;
}

void TrafficPanel::Save() {
  QFileDialog dialog(this, UiText(kTrafficSaveCaption), tr("обмен.csv"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  const QStringList filters{QStringLiteral("CSV (*.csv)"), tr("Текст (*.txt)")};
  dialog.setNameFilters(filters);
  // A name typed without an extension gets the chosen kind's, so that the file is what
  // the filter promised.
  dialog.setDefaultSuffix(QStringLiteral("csv"));
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString& f) {
    dialog.setDefaultSuffix(f == filters[1] ? QStringLiteral("txt") : QStringLiteral("csv"));
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().front();
  if (QString error; !SaveRows(path, error))
    ShowErrorBox(this, windowTitle(), UiText(kTrafficSaveFailed).arg(path, error));
}

LineStatsPanel::LineStatsPanel(link::LineStats& stats, QWidget* parent)
    : QDockWidget(tr("Статистика линии"), parent), stats_(stats) {
  setObjectName(QStringLiteral("line_stats"));
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  text_ = new QLabel(body);
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  reset_ = new QPushButton(tr("Сбросить"), body);
  layout->addWidget(text_);
  layout->addWidget(reset_);
  layout->addStretch();
  setWidget(body);
  connect(reset_, &QPushButton::clicked, this, [this] {
    stats_.Reset();
    Refresh();
  });
  Refresh();
}

void LineStatsPanel::Refresh() {
  text_->setText(QString::fromStdString(link::LineCountersText(stats_.Snapshot())).trimmed());
}

}  // namespace vesk::ui
