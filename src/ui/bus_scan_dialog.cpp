#include "ui/bus_scan_dialog.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/document.h"
#include "exchange/base_address.h"
#include "exchange/exchange_engine.h"
#include "link/port_settings.h"
#include "link/presenter.h"
#include "platform/event.h"
#include "platform/wait.h"
#include "ui/ui_text.h"

namespace vesk::ui {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

}  // namespace

// The dialog is the bus scan task's progress window: it is up already, so Run only starts
// the task; the end comes back to the window's thread.
class BusScanDialog::Sink : public exchange::ProgressSink {
 public:
  explicit Sink(BusScanDialog* dialog) : dialog_(dialog) {}
  bool Run(int, std::string_view, int, const std::function<void()>& opened) override {
    ended.reset();
    opened();
    return true;
  }
  void Log(const exchange::ProgressLine&) override {}
  void ScrollToBottom() override {}
  bool Close() override { return true; }
  void TaskEnded() override {
    QMetaObject::invokeMethod(
        dialog_, [d = dialog_] { d->Ended(); }, Qt::QueuedConnection);
    ended.Set();
  }
  platform::Event ended{platform::Event::Reset::Manual, true};

 private:
  BusScanDialog* dialog_;
};

BusScanDialog::BusScanDialog(exchange::ExchangeEngine& engine, QWidget* parent)
    : QDialog(parent), engine_(engine), sink_(std::make_unique<Sink>(this)) {
  setWindowTitle(UiText(kBusScanTitle));
  link::PortSettings line;
  engine_.program_line().ToPortSettings(line);
  const int max_address = line.address_length > 8 ? 2047 : 255;

  auto* layout = new QVBoxLayout(this);
  auto* range = new QHBoxLayout;
  from_ = new QSpinBox(this);
  to_ = new QSpinBox(this);
  for (QSpinBox* box : {from_, to_}) box->setRange(0, max_address);
  to_->setValue(max_address);
  start_ = new QPushButton(UiText(kBusScanStartText), this);
  range->addWidget(new QLabel(tr("Адреса от"), this));
  range->addWidget(from_);
  range->addWidget(new QLabel(tr("до"), this));
  range->addWidget(to_);
  range->addStretch();
  range->addWidget(start_);
  layout->addLayout(range);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 1);
  bar_->setValue(0);
  layout->addWidget(bar_);
  list_ = new QTableWidget(0, 4, this);
  list_->setHorizontalHeaderLabels({tr("Адрес"), tr("Прибор"), tr("Версия"), tr("Ответ, мс")});
  list_->horizontalHeader()->setStretchLastSection(true);
  list_->verticalHeader()->hide();
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(list_);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  layout->addWidget(status_);
  auto* buttons = new QHBoxLayout;
  choose_ = new QPushButton(UiText(kBusScanChooseText), this);
  choose_->setEnabled(false);
  auto* close = new QPushButton(tr("Закрыть"), this);
  buttons->addStretch();
  buttons->addWidget(choose_);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  for (QPushButton* b : {start_, choose_, close}) b->setAutoDefault(false);
  resize(520, 400);

  connect(start_, &QPushButton::clicked, this, &BusScanDialog::StartOrStop);
  connect(close, &QPushButton::clicked, this, &BusScanDialog::reject);
  connect(list_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { Choose(row); });
  connect(choose_, &QPushButton::clicked, this, [this] { Choose(list_->currentRow()); });
  connect(list_, &QTableWidget::itemSelectionChanged, this,
          [this] { choose_->setEnabled(!list_->selectedItems().isEmpty()); });
}

BusScanDialog::~BusScanDialog() {
  // The task calls back into this dialog until it has ended.
  Stop();
}

void BusScanDialog::StartOrStop() {
  if (running_) {
    engine_.Cancel();
    start_->setEnabled(false);
    return;
  }
  const int32_t from = from_->value(), to = to_->value();
  if (from > to) {
    status_->setText(tr("Начальный адрес больше конечного"));
    return;
  }
  list_->setRowCount(0);
  bar_->setRange(0, to - from + 1);
  bar_->setValue(0);
  status_->clear();
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  exchange::BusScanObserver observer;
  // Called on the exchange thread; the dialog lives until the task's end (Stop waits).
  observer.progress = [this](int32_t done, int32_t) {
    QMetaObject::invokeMethod(
        this, [this, done] { bar_->setValue(done); }, Qt::QueuedConnection);
  };
  observer.found = [this](const exchange::FoundDevice& device) {
    QMetaObject::invokeMethod(
        this, [this, device] { AddDevice(device); }, Qt::QueuedConnection);
  };
  observer.finished = [this, clock](const exchange::BusScanOutcome& outcome) {
    const double seconds = static_cast<double>(clock->elapsed()) / 1000.0;
    QMetaObject::invokeMethod(
        this, [this, outcome, seconds] { Done(outcome, seconds); }, Qt::QueuedConnection);
  };
  if (engine_.StartTransmitThread() != 0) return;
  running_ = true;
  if (!exchange::RunBusScanTask(engine_, from, to, std::move(observer), sink_.get())) {
    running_ = false;
    status_->setText(tr("Прибор занят другим заданием"));
    return;
  }
  start_->setText(UiText(kBusScanStopText));
  from_->setEnabled(false);
  to_->setEnabled(false);
}

void BusScanDialog::Stop() {
  if (!running_) return;
  engine_.Cancel();
  platform::WaitAny({platform::Signalled(sink_->ended)}, std::chrono::milliseconds(-1));
  running_ = false;
}

void BusScanDialog::AddDevice(const exchange::FoundDevice& device) {
  const int row = list_->rowCount();
  list_->insertRow(row);
  list_->setItem(row, 0, Cell(QString::number(device.address)));
  list_->setItem(row, 1, Cell(Q(device.name)));
  list_->setItem(row, 2, Cell(Q(device.version)));
  list_->setItem(row, 3, Cell(QString::number(device.reply_ms, 'f', 1)));
}

void BusScanDialog::Done(const exchange::BusScanOutcome& outcome, double seconds) {
  // The final list is sorted and holds the versions, read at the end.
  list_->setRowCount(0);
  for (const exchange::FoundDevice& d : outcome.devices) AddDevice(d);
  QString text =
      tr("Найдено приборов: %1 за %2 с").arg(outcome.devices.size()).arg(seconds, 0, 'f', 1);
  if (outcome.cancelled) text += tr(" (поиск остановлен)");
  if (!outcome.error.empty()) text += QStringLiteral("; ") + Q(outcome.error);
  status_->setText(text);
}

void BusScanDialog::Ended() {
  running_ = false;
  start_->setText(UiText(kBusScanStartText));
  start_->setEnabled(true);
  from_->setEnabled(true);
  to_->setEnabled(true);
  emit Finished();
}

void BusScanDialog::Choose(int row) {
  const QTableWidgetItem* item = row >= 0 ? list_->item(row, 0) : nullptr;
  if (!item) return;
  Stop();
  chosen_ = item->text().toInt();
  accept();
}

void BusScanDialog::reject() {
  Stop();
  QDialog::reject();
}

std::optional<int32_t> RunBusScanDialog(app::Document& document, QWidget* parent,
                                        const std::function<bool(int32_t)>& may_read) {
  BusScanDialog dialog(document.engine(), parent);
  if (dialog.exec() != QDialog::Accepted || !dialog.chosen()) return std::nullopt;
  const int32_t address = *dialog.chosen();
  if (may_read && !may_read(address)) return std::nullopt;
  if (!exchange::UseBaseAddress(document.engine(), address)) {
    link::presenter().ShowMessage(UiText(kBusScanRefusedText).arg(address).toStdString(),
                                  UiTextUtf8(kBusScanTitle), link::MsgIcon::Error);
    return std::nullopt;
  }
  document.RunCommand(app::cmd::kReadAll);
  return address;
}

}  // namespace vesk::ui
