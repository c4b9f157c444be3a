#include "ui/qt_presenter.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QString>
#include <string>

#include "ui/gui_thread.h"
#include "ui/message_box.h"

namespace vesk::ui {
namespace {

QMessageBox::Icon ToQt(link::MsgIcon icon) {
  switch (icon) {
    case link::MsgIcon::Information:
      return QMessageBox::Information;
    case link::MsgIcon::Warning:
      return QMessageBox::Warning;
    case link::MsgIcon::Error:
      return QMessageBox::Critical;
    case link::MsgIcon::Question:
      return QMessageBox::Question;
    case link::MsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

link::MsgAnswer QtPresenter::ShowMessage(std::string_view text, std::string_view caption,
                                         link::MsgIcon icon, link::MsgButtons buttons) {
  // Copies: the caller's views stay valid while it waits, but the box is built elsewhere.
  const std::string body(text);
  const std::string title(caption);
  link::MsgAnswer answer = link::MsgAnswer::Cancel;
  RunOnGuiAndWait([&] {
    QMessageBox box(ToQt(icon), QString(), QString::fromStdString(body), QMessageBox::NoButton,
                    parent_.data());
    // A yes/no question starts something on the device or the settings: Enter gives "Нет",
    // the answer an unattended run takes, and "Да" must be chosen.
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    QMessageBox::StandardButton preferred = QMessageBox::Ok;
    switch (buttons) {
      case link::MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
      case link::MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        escape = QMessageBox::Cancel;
        break;
      case link::MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        escape = preferred = QMessageBox::No;
        break;
      case link::MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        escape = QMessageBox::Cancel;
        preferred = QMessageBox::Yes;
        break;
    }
    box.setEscapeButton(escape);
    box.setDefaultButton(preferred);
    PrepareMessageBox(box, QString::fromStdString(title));
    int pressed = box.exec();
    if (pressed == 0 || pressed == -1) pressed = escape;
    switch (pressed) {
      case QMessageBox::Ok:
        answer = link::MsgAnswer::Ok;
        break;
      case QMessageBox::Yes:
        answer = link::MsgAnswer::Yes;
        break;
      case QMessageBox::No:
        answer = link::MsgAnswer::No;
        break;
      default:
        answer = link::MsgAnswer::Cancel;
        break;
    }
  });
  return answer;
}

}  // namespace vesk::ui
