#include "ui/message_box.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QSpacerItem>

#include "model/config_file.h"
#include "model/tree_builder.h"
#include "platform/language.h"
#include "ui/menu_table.h"
#include "ui/ui_text.h"

namespace vesk::ui {
namespace {

// Room the title bar takes beside its caption: the icon and the buttons of the frame.
constexpr int kTitleBarExtra = 160;

}  // namespace

void PrepareMessageBox(QMessageBox& box, const QString& heading) {
  const QString caption = QString::fromUtf8(platform::Tr(model::kProgramTitle));
  box.setWindowTitle(caption);
  // The program's names say nothing the caption does not, in either language.
  const bool own_name = heading == caption || heading == QString::fromUtf8(model::kProgramTitle) ||
                        heading == QString::fromUtf8(model::kAppTitle) ||
                        heading == QString::fromUtf8(platform::Tr(model::kAppTitle)) ||
                        heading == UiText(kApplicationTitle);
  if (!heading.isEmpty() && !own_name && heading != box.text()) {
    box.setInformativeText(box.text());
    box.setText(heading);
  }
  if (QAbstractButton* b = box.button(QMessageBox::Yes)) b->setText(UiText(kYesText));
  if (QAbstractButton* b = box.button(QMessageBox::No)) b->setText(UiText(kNoText));
  if (QAbstractButton* b = box.button(QMessageBox::Cancel)) b->setText(UiText(kCancelText));
  // The box sizes itself to its text alone; a short text would cut the caption.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    const int width = box.fontMetrics().horizontalAdvance(caption) + kTitleBarExtra;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
}

void ShowErrorBox(QWidget* parent, const QString& heading, const QString& text) {
  QMessageBox box(QMessageBox::Critical, QString(), text, QMessageBox::Ok, parent);
  PrepareMessageBox(box, heading);
  box.exec();
}

}  // namespace vesk::ui
