#include "ui/ui_text.h"

#include <QCoreApplication>

namespace vesk::ui {

QString UiText(const char* russian) {
  return QCoreApplication::translate(kUiTextContext, russian);
}

std::string UiTextUtf8(const char* russian) {
  return UiText(russian).toStdString();
}

}  // namespace vesk::ui
