#pragma once
// RowItem: a row of the tree-list view. Rows sort by the column the header's sort indicator
// names, numbers by their value and texts without regard to case; with no indicator shown
// they go back to the order the device's description gives them.

#include <QTreeWidgetItem>

namespace vesk::ui {

class RowItem : public QTreeWidgetItem {
 public:
  explicit RowItem(QTreeWidget* view);
  explicit RowItem(QTreeWidgetItem* parent);

  bool operator<(const QTreeWidgetItem& other) const override;

 private:
  // Rows are made in the description's order: the count of rows made before this one.
  unsigned long order_;
};

// Sorts the rows of `view` as its header's sort indicator says; a hidden indicator means
// the description's order.
void SortRows(QTreeWidget& view);

}  // namespace vesk::ui
