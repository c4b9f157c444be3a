#include "ui/net_mode_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "exchange/device_commands.h"

namespace vesk::ui {

NetModeDialog::NetModeDialog(exchange::ApplyDialog& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(QString::fromUtf8(kApplyTitle));
  auto* layout = new QVBoxLayout(this);
  auto* warning = new QLabel(QString::fromUtf8(kApplyWarning), this);
  warning->setWordWrap(true);
  layout->addWidget(warning);
  auto* group = new QGroupBox(QString::fromUtf8(kApplyGroup), this);
  auto* group_layout = new QVBoxLayout(group);
  auto* settings = new QLabel(QString::fromStdString(model.SettingsText()), group);
  settings->setObjectName("settings");
  group_layout->addWidget(settings);
  layout->addWidget(group);
  changeProgram_ = new QCheckBox(QString::fromUtf8(kApplyChangeProgram), this);
  repeat_ = new QCheckBox(QString::fromUtf8(kApplyRepeat), this);
  threeTimes_ = new QCheckBox(QString::fromUtf8(kApplyThreeTimes), this);
  changeProgram_->setChecked(model.changeProgramSettings);
  repeat_->setChecked(model.repeatAply);
  threeTimes_->setChecked(model.threeTimes);
  layout->addWidget(changeProgram_);
  layout->addWidget(repeat_);
  layout->addWidget(threeTimes_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
  connect(buttons, &QDialogButtonBox::accepted, this, &NetModeDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void NetModeDialog::accept() {
  model_.changeProgramSettings = changeProgram_->isChecked();
  model_.repeatAply = repeat_->isChecked();
  model_.threeTimes = threeTimes_->isChecked();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool close = model_.Ok();
  QApplication::restoreOverrideCursor();
  if (close) QDialog::accept();
}

}  // namespace vesk::ui
