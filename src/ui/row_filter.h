#pragma once
// The filter of the tree-list view: the box above it (Ctrl+F) and the rule of which rows
// stay shown. A row stays when one of its texts contains the box's text, case aside; the
// branches above it stay too, and a branch that matches keeps all its rows.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace vesk::ui {

inline constexpr const char* kFilterLabel = QT_TRANSLATE_NOOP("vesk", "Найти:");
inline constexpr const char* kFilterPlaceholder =
    QT_TRANSLATE_NOOP("vesk", "название, имя или значение");
inline constexpr const char* kFilterNothing = QT_TRANSLATE_NOOP("vesk", "ничего не найдено");

// The texts of a row the filter looks at.
using RowTexts = std::function<QStringList(const QTreeWidgetItem*)>;

// Hides the rows of `view` that do not match `text`, shows those that do and the branches
// above them (expanded through `expand`); an empty text shows every row. Returns how many
// rows matched.
int FilterRows(QTreeWidget& view, const QString& text, const RowTexts& texts,
               const std::function<void(QTreeWidgetItem*)>& expand);

class FilterBar : public QWidget {
  Q_OBJECT
 public:
  explicit FilterBar(QWidget* parent = nullptr);

  QLineEdit* edit() const { return edit_; }
  // Shows the bar and puts the cursor into its box, the text selected.
  void Open();
  // How many rows the text found (-1: no text).
  void ShowFound(int found);

 signals:
  void TextChanged(const QString& text);
  // Escape: the text is cleared and the bar hidden.
  void Closed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* edit_;
  QLabel* found_;
};

}  // namespace vesk::ui
