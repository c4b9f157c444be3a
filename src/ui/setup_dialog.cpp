#include "ui/setup_dialog.h"
#include "platform/language.h"
#include "ui/ui_text.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

namespace vesk::ui {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

SetupDialog::SetupDialog(exchange::ExchangeEngine& engine, bool offline_allowed, QWidget* parent,
                         exchange::SetupWorker::Prober prober)
    : QDialog(parent),
      worker_(std::make_unique<exchange::SetupWorker>(engine, offline_allowed, std::move(prober))) {
  setWindowTitle(QString::fromUtf8(platform::Tr(exchange::kSetupTitle)));
  auto* layout = new QVBoxLayout(this);
  table_ = new QTableWidget(0, 2, this);
  table_->setHorizontalHeaderLabels(
      {QString::fromUtf8(platform::Tr(exchange::kSetupParameterColumn)),
       QString::fromUtf8(platform::Tr(exchange::kSetupValueColumn))});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setColumnWidth(0, 200);
  layout->addWidget(table_);
  status_ = new QLabel(this);
  status_->setObjectName("status");
  layout->addWidget(status_);
  sweep_progress_ = new QProgressBar(this);
  sweep_progress_->setObjectName("sweep_progress");
  sweep_progress_->setFormat(UiText(kSweepStepFormat));
  sweep_progress_->hide();
  layout->addWidget(sweep_progress_);
  auto* row = new QHBoxLayout;
  const std::pair<int, const char*> buttons[] = {
      {exchange::kSetupConnect, exchange::kSetupConnectButton},
      {exchange::kSetupSweepRates, exchange::kSetupSweepRatesButton},
      {exchange::kSetupFactory, exchange::kSetupFactoryButton},
      {exchange::kSetupOffline, exchange::kSetupOfflineButton},
      {exchange::kSetupExit, exchange::kSetupExitButton},
  };
  for (const auto& [id, text] : buttons) {
    auto* b = new QPushButton(QString::fromUtf8(platform::Tr(text)), this);
    b->setAutoDefault(false);
    const int command = id;
    connect(b, &QPushButton::clicked, this, [this, command] { worker_->Command(command); });
    buttons_[id] = b;
    row->addWidget(b);
  }
  layout->addLayout(row);
  resize(640, 360);
  connect(table_, &QTableWidget::cellDoubleClicked, this, &SetupDialog::EditCell);
  // The worker tells from its own thread; the window draws on its own.
  QPointer<SetupDialog> self(this);
  worker_->set_on_change([self](unsigned changes) {
    QMetaObject::invokeMethod(
        qApp,
        [self, changes] {
          if (self) self->Show(changes);
        },
        Qt::QueuedConnection);
  });
}

SetupDialog::~SetupDialog() {
  // The worker ends before the widgets it reports to.
  worker_.reset();
}

QPushButton* SetupDialog::Button(int command) const {
  const auto it = buttons_.find(command);
  return it == buttons_.end() ? nullptr : it->second;
}

exchange::SetupOutcome SetupDialog::RunModal() {
  worker_->Open();
  Show(exchange::kRowsChanged | exchange::kStatusChanged | exchange::kListSwitched);
  if (worker_->outcome() == exchange::SetupOutcome::Open) exec();
  return worker_->outcome();
}

void SetupDialog::Show(unsigned changes) {
  if (changes & exchange::kCommandPosted) worker_->ServePosted();
  const exchange::SetupState state = worker_->State();
  filling_ = true;
  table_->setRowCount(static_cast<int>(state.rows.size()));
  for (size_t i = 0; i < state.rows.size(); ++i) {
    const int r = static_cast<int>(i);
    if (!table_->item(r, 0)) table_->setItem(r, 0, new QTableWidgetItem);
    if (!table_->item(r, 1)) table_->setItem(r, 1, new QTableWidgetItem);
    table_->item(r, 0)->setText(Q(state.rows[i].caption));
    table_->item(r, 1)->setText(Q(state.rows[i].value));
  }
  filling_ = false;
  table_->setEnabled(state.list_enabled);
  status_->setText(Q(state.status));
  const link::Rgb c = state.StatusColour();
  status_->setStyleSheet(QString("color: rgb(%1,%2,%3);").arg(c.r).arg(c.g).arg(c.b));
  if (QPushButton* b = Button(exchange::kSetupOffline)) b->setEnabled(state.offline_enabled);
  // While the worker tries the link the buttons that would start another try rest; "Выход"
  // and "Работать offline" stay to stop it.
  for (int id : {exchange::kSetupConnect, exchange::kSetupSweepRates, exchange::kSetupFactory})
    if (QPushButton* b = Button(id)) b->setEnabled(state.list_enabled);
  sweep_progress_->setVisible(state.sweep_steps > 0);
  if (state.sweep_steps > 0) {
    sweep_progress_->setRange(0, static_cast<int>(state.sweep_steps));
    sweep_progress_->setValue(static_cast<int>(state.sweep_step));
  }
  if (changes & exchange::kAlarmBeep) QApplication::beep();
  if (state.outcome != exchange::SetupOutcome::Open && isVisible()) QDialog::done(0);
}

namespace {

// Escape in a cell's editor drops the edit; it does not end the dialog.
class EscapeDrops : public QObject {
 public:
  EscapeDrops(QObject* parent, std::function<void()> drop) : QObject(parent), drop_(drop) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      QTimer::singleShot(0, parent(), drop_);
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> drop_;
};

}  // namespace

void SetupDialog::EditCell(int row, int column) {
  if (column != 1 || !table_->isEnabled()) return;
  const exchange::SetupState state = worker_->State();
  if (row < 0 || static_cast<size_t>(row) >= state.rows.size()) return;
  const exchange::SetupRow& r = state.rows[static_cast<size_t>(row)];
  QWidget* editor = nullptr;
  if (r.choices.empty()) {
    auto* line = new QLineEdit(Q(r.value));
    line->selectAll();
    connect(line, &QLineEdit::returnPressed, this,
            [this, row, line] { ApplyEdit(row, line->text()); });
    editor = line;
  } else {
    auto* combo = new QComboBox;
    // The stable by-id names come before the kernel's numbered ones.
    std::vector<std::string> choices = r.choices;
    std::stable_partition(choices.begin(), choices.end(), [](const std::string& name) {
      return name.starts_with("/dev/serial/by-id/");
    });
    for (const std::string& c : choices) combo->addItem(Q(c));
    combo->setEditable(r.free_text);
    if (r.free_text) {
      combo->setInsertPolicy(QComboBox::NoInsert);
      connect(combo->lineEdit(), &QLineEdit::returnPressed, this,
              [this, row, combo] { ApplyEdit(row, combo->currentText()); });
      combo->lineEdit()->installEventFilter(
          new EscapeDrops(combo, [this, row] { table_->removeCellWidget(row, 1); }));
    }
    combo->setCurrentText(Q(r.value));
    connect(combo, qOverload<int>(&QComboBox::activated), this,
            [this, row, combo] { ApplyEdit(row, combo->currentText()); });
    editor = combo;
  }
  editor->installEventFilter(
      new EscapeDrops(editor, [this, row] { table_->removeCellWidget(row, 1); }));
  table_->setCellWidget(row, 1, editor);
  editor->setFocus();
}

void SetupDialog::ApplyEdit(int row, const QString& text) {
  if (worker_->EditRow(static_cast<size_t>(row), text.toStdString())) {
    table_->removeCellWidget(row, 1);
    table_->setFocus();
    Show(exchange::kRowsChanged);
    return;
  }
  // Refused where it is typed: the editor stays for another try.
  const QString caption = table_->item(row, 0) ? table_->item(row, 0)->text() : QString();
  status_->setText(UiText(kSetupRefusedText).arg(text, caption));
  const link::Rgb c = exchange::kStatusAlarmColour;
  status_->setStyleSheet(QString("color: rgb(%1,%2,%3);").arg(c.r).arg(c.g).arg(c.b));
  QApplication::beep();
}

void SetupDialog::reject() {
  worker_->Command(exchange::kSetupExit);
  Show(0);
}

void SetupDialog::accept() {
  worker_->Command(exchange::kSetupOk);
  Show(0);
}

}  // namespace vesk::ui
