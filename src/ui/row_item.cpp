#include "ui/row_item.h"

#include <QCollator>
#include <QHeaderView>
#include <QLocale>
#include <QTreeWidget>

namespace vesk::ui {
namespace {

unsigned long next_order = 0;

bool TreeOrder(const QTreeWidget* view) {
  return !view || !view->header()->isSortIndicatorShown();
}

}  // namespace

RowItem::RowItem(QTreeWidget* view) : QTreeWidgetItem(view), order_(next_order++) {}

RowItem::RowItem(QTreeWidgetItem* parent) : QTreeWidgetItem(parent), order_(next_order++) {}

bool RowItem::operator<(const QTreeWidgetItem& other) const {
  const auto* row = dynamic_cast<const RowItem*>(&other);
  const QTreeWidget* view = treeWidget();
  if (TreeOrder(view)) return row ? order_ < row->order_ : false;
  const int column = view->sortColumn();
  // "9600" before "115200", "Вход №2" before "Вход №10". The texts are Russian whatever
  // the user's locale (the C locale would compare character codes, numbers included).
  static thread_local QCollator collator = [] {
    QCollator c(QLocale(QLocale::Russian, QLocale::Russia));
    c.setNumericMode(true);
    c.setCaseSensitivity(Qt::CaseInsensitive);
    return c;
  }();
  const int by_text = collator.compare(text(column), other.text(column));
  if (by_text != 0 || !row) return by_text < 0;
  return order_ < row->order_;
}

void SortRows(QTreeWidget& view) {
  QHeaderView& header = *view.header();
  if (TreeOrder(&view))
    view.sortItems(0, Qt::AscendingOrder);
  else
    view.sortItems(header.sortIndicatorSection(), header.sortIndicatorOrder());
}

}  // namespace vesk::ui
