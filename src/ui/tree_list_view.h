#pragma once
// CTRB6TreeListView: the parameter tree of the document with the columns "Описание",
// "Параметр", "Значение", "Атрибут редактирования", "Владелец" and "Ошибки обмена и
// несоответствия", coloured by each row's state; the branch and parameter context menus,
// reading on expansion, navigation between problem parameters and editing in place.

#include <QPointer>
#include <QTreeWidget>
#include <string>

namespace vesk::app {
class CTRB6Doc;
}
namespace vesk::link {
class Parameter;
}
namespace vesk::model {
class ObjectWithParameters;
}

namespace vesk::ui {

inline constexpr const char* kNoTreeRow = "Параметры прибора";
inline constexpr const char* kNoTreeValue = "(не определены)";
inline constexpr const char* kNoOtherProblems = "Нет других проблемных параметров";
inline constexpr const char* kNoMoreProblems = "Нет больше проблемных параметров";

class TreeListView : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TreeListView(app::CTRB6Doc& document, QWidget* parent = nullptr);

  // The view's initial update: the rows of the document's tree under the top row, then
  // the exchange thread started and the top and root rows expanded.
  void Fill(const std::string& title);
  // Forgets every row (before the document replaces its tree).
  void ClearRows();
  // Recomputes the texts and colours of every row from the records.
  void RefreshAll();
  // Moves the selection to the next (down) or previous problem parameter; an information
  // message when there is none left.
  void GoToProblem(bool down);

  // The record and the node a row shows (nullptr when it shows none).
  static link::Parameter* ParameterOf(const QTreeWidgetItem* item);
  static model::ObjectWithParameters* NodeOf(const QTreeWidgetItem* item);
  // The row of a parameter, or nullptr.
  QTreeWidgetItem* ItemOf(const link::Parameter* parameter) const;

  // Opens the editor of a cell as a double click does; returns it (nullptr: none).
  QWidget* OpenEditor(QTreeWidgetItem* item, int column);
  // Ends the open editor, committing its text.
  void CloseEditor();
  QWidget* editor() const { return editor_; }

  // The branch or parameter menu of a row, as a right click shows it (not executed).
  QMenu* BuildContextMenu(QTreeWidgetItem* item);
  // Runs a context-menu command on the row's record or branch.
  void RunRowCommand(int id, QTreeWidgetItem* item);

 signals:
  // A command of the "Дерево" family for the main frame.
  void commandRequested(int id);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void RefreshItem(QTreeWidgetItem* item);
  void RefreshParameterRow(QTreeWidgetItem* item, link::Parameter& parameter);
  void OnExpanded(QTreeWidgetItem* item);
  void OnDoubleClicked(QTreeWidgetItem* item, int column);
  void Commit(QTreeWidgetItem* item, int column, const QString& text);
  void ExpandQuietly(QTreeWidgetItem* item);
  model::ObjectWithParameters* OwnerOf(const link::Parameter* parameter) const;

  app::CTRB6Doc& doc_;
  QTreeWidgetItem* top_ = nullptr;
  QTreeWidgetItem* rootItem_ = nullptr;
  bool quietExpand_ = false;
  QPointer<QWidget> editor_;
  QTreeWidgetItem* editItem_ = nullptr;
  int editColumn_ = -1;
  QString editOld_;
  bool committing_ = false;
};

}  // namespace vesk::ui
