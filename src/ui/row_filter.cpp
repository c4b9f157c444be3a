#include "ui/row_filter.h"
#include "ui/ui_text.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

namespace vesk::ui {
namespace {

// Whether the row or a row under it matches; shows or hides each on the way.
bool Filter(QTreeWidgetItem* item, const QString& text, const RowTexts& texts, bool shown_above,
            int& found, const std::function<void(QTreeWidgetItem*)>& expand) {
  bool self = false;
  for (const QString& t : texts(item))
    if (t.contains(text, Qt::CaseInsensitive)) self = true;
  found += self;
  bool below = false;
  for (int i = 0; i < item->childCount(); ++i)
    below |= Filter(item->child(i), text, texts, shown_above || self, found, expand);
  if (below && !item->isExpanded()) expand(item);
  const bool shown = self || below || shown_above;
  item->setHidden(!shown);
  return self || below;
}

void ShowAll(QTreeWidgetItem* item) {
  item->setHidden(false);
  for (int i = 0; i < item->childCount(); ++i) ShowAll(item->child(i));
}

}  // namespace

int FilterRows(QTreeWidget& view, const QString& text, const RowTexts& texts,
               const std::function<void(QTreeWidgetItem*)>& expand) {
  int found = 0;
  for (int i = 0; i < view.topLevelItemCount(); ++i) {
    QTreeWidgetItem* top = view.topLevelItem(i);
    if (text.isEmpty()) {
      ShowAll(top);
      continue;
    }
    // The top row names the document: it stays whatever the text.
    for (int c = 0; c < top->childCount(); ++c)
      Filter(top->child(c), text, texts, false, found, expand);
    top->setHidden(false);
    if (!top->isExpanded()) expand(top);
  }
  return found;
}

FilterBar::FilterBar(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(new QLabel(UiText(kFilterLabel), this));
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("filter"));
  edit_->setPlaceholderText(UiText(kFilterPlaceholder));
  edit_->setClearButtonEnabled(true);
  edit_->installEventFilter(this);
  layout->addWidget(edit_, 1);
  found_ = new QLabel(this);
  found_->setObjectName(QStringLiteral("filter_found"));
  layout->addWidget(found_);
  connect(edit_, &QLineEdit::textChanged, this, &FilterBar::TextChanged);
  hide();
}

void FilterBar::Open() {
  show();
  edit_->setFocus(Qt::ShortcutFocusReason);
  edit_->selectAll();
}

void FilterBar::ShowFound(int found) {
  if (found < 0)
    found_->clear();
  else if (found == 0)
    found_->setText(UiText(kFilterNothing));
  else
    found_->setText(tr("найдено: %1").arg(found));
}

bool FilterBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    edit_->clear();
    hide();
    emit Closed();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace vesk::ui
