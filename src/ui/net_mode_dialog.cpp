#include "ui/net_mode_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "exchange/device_commands.h"
#include "ui/ui_text.h"

namespace vesk::ui {

NetModeDialog::NetModeDialog(exchange::ApplyDialog& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(UiText(kApplyTitle));
  auto* layout = new QVBoxLayout(this);
  auto* warning = new QLabel(UiText(kApplyWarning), this);
  warning->setWordWrap(true);
  layout->addWidget(warning);
  auto* group = new QGroupBox(UiText(kApplyGroup), this);
  auto* group_layout = new QVBoxLayout(group);
  auto* settings = new QLabel(QString::fromStdString(model.SettingsText()), group);
  settings->setObjectName("settings");
  group_layout->addWidget(settings);
  layout->addWidget(group);
  change_program_ = new QCheckBox(UiText(kApplyChangeProgram), this);
  repeat_ = new QCheckBox(UiText(kApplyRepeat), this);
  three_times_ = new QCheckBox(UiText(kApplyThreeTimes), this);
  change_program_->setChecked(model.change_program_settings);
  repeat_->setChecked(model.repeat_aply);
  three_times_->setChecked(model.three_times);
  layout->addWidget(change_program_);
  layout->addWidget(repeat_);
  layout->addWidget(three_times_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
  connect(buttons, &QDialogButtonBox::accepted, this, &NetModeDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void NetModeDialog::accept() {
  model_.change_program_settings = change_program_->isChecked();
  model_.repeat_aply = repeat_->isChecked();
  model_.three_times = three_times_->isChecked();
  // The exchanges follow once the dialog is gone, off the windows' thread.
  if (model_.CanApply()) QDialog::accept();
}

}  // namespace vesk::ui
