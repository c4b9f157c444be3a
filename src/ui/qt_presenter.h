#pragma once
// Message boxes of the window: the program's one caption, the message's own caption as its
// heading, icons and buttons in a QMessageBox, run on the windows' thread whichever thread
// asks.

#include <QPointer>
#include <QWidget>

#include "link/presenter.h"

namespace vesk::ui {

class QtPresenter : public link::Presenter {
 public:
  // Shows the box over the main window (or on its own while there is none) and returns
  // the button pressed; closing the box counts as the last button's answer (Cancel or No).
  link::MsgAnswer ShowMessage(std::string_view text, std::string_view caption, link::MsgIcon icon,
                              link::MsgButtons buttons) override;

  // The window the boxes are shown over; nullptr: none.
  void set_parent(QWidget* parent) { parent_ = parent; }

 private:
  QPointer<QWidget> parent_;
};

}  // namespace vesk::ui
