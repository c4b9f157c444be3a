#include "ui/single_parameter_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/document.h"
#include "app/front_end.h"
#include "exchange/exchange_engine.h"
#include "link/presenter.h"
#include "model/tree_builder.h"
#include "platform/language.h"
#include "ui/ui_text.h"

namespace vesk::ui {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

QString Q(const char* text) {
  return QString::fromUtf8(text);
}

}  // namespace

SingleParameterDialog::SingleParameterDialog(app::Document& document, QWidget* parent)
    : QDialog(parent), doc_(document) {
  setWindowTitle(UiText(kSinglePointTitle));
  // The definitions the description load kept, flagged from the trees it built.
  access_ = std::make_shared<exchange::SingleAccess>(
      document.engine(), exchange::DescribeCommands(document.tree().definitions, document.tree()));

  auto* grid = new QGridLayout(this);
  BuildCommandRow(*grid);
  BuildOperationBox(*grid);
  BuildIndexBox(*grid);
  BuildValueAndProtocol(*grid);
  BuildButtons(*grid);
  grid->setRowStretch(5, 1);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);

  for (const std::string& name : access_->CommandNames()) command_->addItem(Q(name));
  command_->setCurrentIndex(-1);
  command_->setEditText(Q(exchange::kInitialCommand));
  ConnectControls();

  RefreshDescription();
  ShowOperation();
  ShowIndexPlacement();
  resize(600, 440);
}

void SingleParameterDialog::BuildCommandRow(QGridLayout& grid) {
  grid.addWidget(new QLabel(tr("Определите команду:"), this), 0, 0);
  command_ = new QComboBox(this);
  command_->setEditable(true);
  command_->setInsertPolicy(QComboBox::NoInsert);
  command_->setMaxVisibleItems(20);
  command_->setObjectName("command");
  grid.addWidget(command_, 0, 1);
  grid.addWidget(new QLabel(tr("Хеш-код:"), this), 0, 2);
  hash_ = new QLineEdit(this);
  hash_->setReadOnly(true);
  hash_->setObjectName("hash");
  grid.addWidget(hash_, 0, 3);
}

void SingleParameterDialog::BuildOperationBox(QGridLayout& grid) {
  auto* operation = new QGroupBox(tr("Операция:"), this);
  auto* op_layout = new QHBoxLayout(operation);
  read_ = new QRadioButton(tr("Чтение"), operation);
  write_ = new QRadioButton(tr("Запись"), operation);
  read_->setChecked(true);
  op_layout->addWidget(read_);
  op_layout->addWidget(write_);
  auto* op_group = new QButtonGroup(this);
  op_group->addButton(read_, exchange::kSingleRead);
  op_group->addButton(write_, exchange::kSingleWrite);
  grid.addWidget(operation, 1, 0, 1, 2);
}

void SingleParameterDialog::BuildIndexBox(QGridLayout& grid) {
  auto* index_box = new QGroupBox(this);
  auto* index_layout = new QGridLayout(index_box);
  index_used_ = new QCheckBox(tr("Наличие лин-го индекса:"), index_box);
  index_ = new QLineEdit(QStringLiteral("0"), index_box);
  index_->setObjectName("index");
  in_data_ = new QRadioButton(tr("Индекс в поле данных"), index_box);
  in_address_ = new QRadioButton(tr("Индекс в адресе (3 бит)"), index_box);
  in_data_->setChecked(true);
  auto* place_group = new QButtonGroup(this);
  place_group->addButton(in_data_, static_cast<int>(exchange::IndexPlacement::DataField));
  place_group->addButton(in_address_, static_cast<int>(exchange::IndexPlacement::Address));
  index_layout->addWidget(index_used_, 0, 0);
  index_layout->addWidget(index_, 0, 1);
  index_layout->addWidget(in_data_, 1, 0);
  index_layout->addWidget(in_address_, 1, 1);
  grid.addWidget(index_box, 1, 2, 1, 2);
}

void SingleParameterDialog::BuildValueAndProtocol(QGridLayout& grid) {
  value_label_ = new QLabel(tr("Что записать:"), this);
  value_ = new QComboBox(this);
  value_->setEditable(true);
  value_->setInsertPolicy(QComboBox::NoInsert);
  value_->setObjectName("value");
  grid.addWidget(value_label_, 2, 0);
  grid.addWidget(value_, 2, 1, 1, 3);

  description_ = new QLineEdit(Q(exchange::kDescriptionPlaceholder), this);
  description_->setReadOnly(true);
  description_->setObjectName("description");
  grid.addWidget(description_, 3, 0, 1, 4);

  grid.addWidget(new QLabel(tr("Протокол обмена данными с прибором:"), this), 4, 0, 1, 4);
  protocol_ = new QListWidget(this);
  protocol_->setObjectName("protocol");
  // The trace lines line up their columns only in a fixed-pitch font.
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  protocol_->setFont(fixed);
  grid.addWidget(protocol_, 5, 0, 1, 4);
}

void SingleParameterDialog::BuildButtons(QGridLayout& grid) {
  auto* buttons = new QHBoxLayout;
  execute_ = new QPushButton(tr("Выполнить!"), this);
  exit_ = new QPushButton(tr("Выход"), this);
  execute_->setDefault(true);
  buttons->addStretch(1);
  buttons->addWidget(execute_);
  buttons->addWidget(exit_);
  grid.addLayout(buttons, 6, 0, 1, 4);
}

void SingleParameterDialog::ConnectControls() {
  // Every change of the command text, typed or chosen from the list, refreshes the
  // description.
  connect(command_, &QComboBox::editTextChanged, this, [this] { RefreshDescription(); });
  connect(command_, qOverload<int>(&QComboBox::activated), this, [this](int i) {
    command_->setEditText(command_->itemText(i));
    RefreshDescription();
  });
  connect(read_, &QRadioButton::toggled, this, [this] { ShowOperation(); });
  connect(index_used_, &QCheckBox::toggled, this, [this] { ShowIndexPlacement(); });
  connect(execute_, &QPushButton::clicked, this, [this] { Execute(); });
  connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
}

SingleParameterDialog::~SingleParameterDialog() = default;

void SingleParameterDialog::RefreshDescription() {
  const exchange::CommandView view = access_->Refresh(command_->currentText().toStdString());
  hash_->setText(Q(view.hash_text));
  description_->setText(Q(view.description_line));
  if (view.index_used) index_used_->setChecked(*view.index_used);
  // Emptying the list of an editable box empties its text too; the typed value stays.
  const QString typed = value_->currentText();
  value_->clear();
  for (const std::string& choice : view.choices) value_->addItem(Q(choice));
  value_->setEditText(typed);
}

void SingleParameterDialog::ShowOperation() {
  const bool write = write_->isChecked();
  value_label_->setVisible(write);
  value_->setVisible(write);
}

void SingleParameterDialog::ShowIndexPlacement() {
  const bool used = index_used_->isChecked();
  in_data_->setEnabled(used);
  in_address_->setEnabled(used);
}

exchange::SingleAccessFields SingleParameterDialog::Fields() const {
  exchange::SingleAccessFields f;
  f.command = command_->currentText().toStdString();
  f.operation = write_->isChecked() ? exchange::kSingleWrite : exchange::kSingleRead;
  f.index_used = index_used_->isChecked();
  f.index = index_->text().toStdString();
  f.placement = in_address_->isChecked() ? exchange::IndexPlacement::Address
                                         : exchange::IndexPlacement::DataField;
  f.value = value_->currentText().toStdString();
  return f;
}

void SingleParameterDialog::Execute() {
  if (running_) return;
  const exchange::SingleAccessFields fields = Fields();
  protocol_->clear();
  // An undescribed command sends nothing: its refusal needs no exchange thread.
  if (!access_->Find(fields.command)) {
    ShowOutcome(access_->Execute(fields, false));
    return;
  }
  running_ = true;
  execute_->setEnabled(false);
  auto run = std::make_shared<Run>();
  run_ = run;
  QPointer<SingleParameterDialog> self(this);
  doc_.front_end().RunInBackground(
      doc_.engine(),
      UiText(kSinglePointStatus).arg(QString::fromStdString(fields.command)).toStdString(),
      [access = access_, fields, run] {
        int waiting = Run::kWaiting;
        if (run->state.compare_exchange_strong(waiting, Run::kStarted))
          run->out = access->Execute(fields, false);
      },
      [self, run] {
        if (self) self->ShowOutcome(run->out);
      });
}

void SingleParameterDialog::ShowOutcome(const exchange::ExecuteOutcome& out) {
  running_ = false;
  run_.reset();
  execute_->setEnabled(true);
  for (const std::string& line : out.lines) protocol_->addItem(Q(line));
  if (protocol_->count() > 0) {
    protocol_->setCurrentRow(protocol_->count() - 1);
    protocol_->scrollToBottom();
  }
  if (!out.described && !out.lines.empty())
    link::presenter().ShowMessage(out.lines.front(), platform::Tr(model::kProgramTitle),
                                  link::MsgIcon::Error);
}

void SingleParameterDialog::reject() {
  // An exchange still waiting for the line is dropped; only one on the wire is cancelled,
  // so that another's (a branch read) is left alone.
  if (running_ && run_) {
    int waiting = Run::kWaiting;
    if (!run_->state.compare_exchange_strong(waiting, Run::kAbandoned)) doc_.engine().Cancel();
  }
  QDialog::reject();
}

}  // namespace vesk::ui
