#pragma once
// TreeListView: the parameter tree of the document with the columns "Описание",
// "Параметр", "Значение", "Атрибут редактирования", "Владелец" and "Ошибки обмена и
// несоответствия", coloured by each row's state; the branch and parameter context menus,
// reading on expansion, navigation between problem parameters and editing in place.

#include <QHash>
#include <QPointer>
#include <QTreeWidget>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "app/edit_history.h"

namespace vesk::app {
class Document;
}
namespace vesk::link {
class Parameter;
}
namespace vesk::model {
class DescriptionBranch;
class ParameterNode;
}  // namespace vesk::model
namespace vesk::exchange {
class PollSample;
class Poller;
struct RecordOutcome;
}  // namespace vesk::exchange

namespace vesk::ui {

inline constexpr const char* kNoTreeRow = QT_TRANSLATE_NOOP("vesk", "Параметры прибора");
inline constexpr const char* kNoTreeValue = QT_TRANSLATE_NOOP("vesk", "(не определены)");
inline constexpr const char* kNoOtherProblems =
    QT_TRANSLATE_NOOP("vesk", "Нет других проблемных параметров");
inline constexpr const char* kNoMoreProblems =
    QT_TRANSLATE_NOOP("vesk", "Нет больше проблемных параметров");
inline constexpr const char* kReadOnlyPrompt =
    QT_TRANSLATE_NOOP("vesk", "Параметр только для чтения: значение не изменяется");
inline constexpr const char* kFirmOwnedPrompt =
    QT_TRANSLATE_NOOP("vesk", "Значение принадлежит изготовителю и здесь не изменяется");
// The status bar while an expanded branch is read; %1 is the branch's name.
inline constexpr const char* kBranchReadStatus = QT_TRANSLATE_NOOP("vesk", "Чтение ветви «%1»");
// The status bar while an edited value is written at once (the parameter's caption).
inline constexpr const char* kValueWriteStatus = QT_TRANSLATE_NOOP("vesk", "Запись «%1»");

class ExchangeStatus;
class PollReceiver;

class TreeListView : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TreeListView(app::Document& document, QWidget* parent = nullptr);
  // Ends the polling of the document first (EndPolling).
  ~TreeListView() override;

  // The view's initial update: the rows of the document's tree under the top row, then
  // the exchange thread started and the top and root rows expanded.
  void Fill(const std::string& title);
  // Forgets every row (before the document replaces its tree); results of polls still on
  // their way are dropped from now on.
  void ClearRows();
  // Stops the poller thread and lets the poller go; the document must still exist. Called
  // before the document is destroyed (its engine ends the thread otherwise).
  void EndPolling();
  // Recomputes the texts and colours of every row from the records.
  void RefreshAll();
  // Moves the selection to the next (down) or previous problem parameter; an information
  // message when there is none left.
  void GoToProblem(bool down);

  // The record and the node a row shows (nullptr when it shows none).
  // The caption of the top row: the configuration named by its file.
  static QString TopRowText(const QString& title);
  static link::Parameter* ParameterOf(const QTreeWidgetItem* item);
  static model::ParameterNode* NodeOf(const QTreeWidgetItem* item);
  // The row of a parameter, or nullptr.
  QTreeWidgetItem* ItemOf(const link::Parameter* parameter) const;

  // Opens the editor of a cell as a double click does; returns it (nullptr: none, the
  // reason in StatusText when the cell cannot be changed).
  QWidget* OpenEditor(QTreeWidgetItem* item, int column);
  // Ends the open editor, committing its text or dropping it.
  void CloseEditor(bool commit = true);
  // The help balloon of the open value editor (nullptr: none).
  QWidget* help_balloon() const { return help_balloon_; }
  QWidget* editor() const { return editor_; }

  // The branch or parameter menu of a row, as a right click shows it (not executed).
  QMenu* BuildContextMenu(QTreeWidgetItem* item);

  // A polled parameter's check box: on starts its polling timer, off stops it. Returns
  // false when polling could not be switched on (the box is cleared again).
  bool SetPolling(QTreeWidgetItem* item, bool on);
  // Shows one poll result when it belongs to the tree shown now and no editor is open; the
  // sample is released either way.
  void ApplyPollResult(const std::shared_ptr<exchange::PollSample>& sample, uint64_t session);
  // The row of the pollers tree (nullptr when the description has none).
  QTreeWidgetItem* pollers_item() const { return pollers_item_; }
  // The filling of the tree that results are tagged with now.
  uint64_t PollSession() const { return session_; }
  // Runs a context-menu command on the row's record or branch. A read first asks
  // may_replace_edits whether it may replace the edits it would replace.
  void RunRowCommand(int id, QTreeWidgetItem* item);
  // The window's question before a read replaces edits not yet saved (its argument: whether
  // it would); false stops the read.
  void set_may_replace_edits(std::function<bool(bool)> ask) { may_replace_edits_ = std::move(ask); }

  // Shows only the rows that match `text` (every row for an empty one); kept while the
  // tree is rebuilt. Returns how many rows matched.
  int SetFilter(const QString& text);
  const QString& filter() const { return filter_; }
  // A click on a column's header: ascending, then descending, then the description's order.
  void OnHeaderClicked(int column);
  // Back to the order of the description, the sort indicator gone.
  void RestoreTreeOrder();
  // The column the rows are sorted by, -1 for the description's order.
  int sort_column() const { return sort_column_; }
  // Takes back the newest edit of the row's record (nullptr: of any record); false, and a
  // word in the status bar, when there is none.
  bool UndoEdit(QTreeWidgetItem* item);
  const app::EditHistory& history() const { return history_; }

  // Where the automatic read of an expanded branch shows its progress and is stopped;
  // without it no branch is read on expansion.
  void set_exchange_status(ExchangeStatus* status);
  // Stops the branch read on the wire and forgets the branches waiting for theirs. Returns
  // false when none was on the wire.
  bool StopReads();
  // Branches expanded while another one was read, waiting for their turn.
  size_t PendingReads() const { return pending_reads_.size(); }

 signals:
  // A command of the "Дерево" family for the main frame.
  void CommandRequested(int id);
  // A committed edit (the document may have changed).
  void Edited();
  // A short explanation for the status bar.
  void StatusText(const QString& text);
  // The filter has been applied again: how many rows matched (-1: no filter).
  void FilterApplied(int found);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::function<bool(bool)> may_replace_edits_;
  void RefreshItem(QTreeWidgetItem* item);
  QTreeWidgetItem* AddBranchRows(model::DescriptionBranch& branch, bool show_indexes);
  void OnItemChanged(QTreeWidgetItem* item, int column);
  void OnPollingEnded(uint64_t session);
  void StartPollingThread();
  void RefreshParameterRow(QTreeWidgetItem* item, link::Parameter& parameter);
  void OnExpanded(QTreeWidgetItem* item);
  void StartNextRead();
  void ApplyRead(const exchange::RecordOutcome& read, uint64_t session);
  using ApplyOutcome = void (TreeListView::*)(const exchange::RecordOutcome&, uint64_t);
  // Hands an outcome from the exchange thread to `apply` on this one, with the session of
  // the rows it was started for.
  std::function<void(exchange::RecordOutcome)> Deliver(ApplyOutcome apply);
  // Hands the write of the record's value to the exchange thread, behind what waits.
  void StartWrite(link::Parameter& record);
  void ApplyWrite(const exchange::RecordOutcome& write, uint64_t session);
  void OnDoubleClicked(QTreeWidgetItem* item, int column);
  void Commit(QTreeWidgetItem* item, int column, const QString& text);
  void ShowHelpBalloon(QTreeWidgetItem* item, int column, const link::Parameter& p);
  void ExpandQuietly(QTreeWidgetItem* item);
  int ApplyFilter();
  void ShowHeaderMenu(const QPoint& at);
  model::ParameterNode* OwnerOf(const link::Parameter* parameter) const;

  app::Document& doc_;
  QTreeWidgetItem* top_ = nullptr;
  QTreeWidgetItem* root_item_ = nullptr;
  QTreeWidgetItem* pollers_item_ = nullptr;
  // The row of each record shown, for the poll results, which name the record.
  QHash<const link::Parameter*, QTreeWidgetItem*> parameter_rows_;
  std::unique_ptr<PollReceiver> receiver_;
  std::unique_ptr<exchange::Poller> poller_;
  uint64_t session_ = 0;
  ExchangeStatus* status_ = nullptr;
  std::deque<QTreeWidgetItem*> pending_reads_;
  bool setting_checks_ = false;
  bool quiet_expand_ = false;
  QPointer<QWidget> editor_;
  QPointer<QWidget> help_balloon_;
  QTreeWidgetItem* edit_item_ = nullptr;
  int edit_column_ = -1;
  QString edit_old_;
  bool committing_ = false;
  app::EditHistory history_;
  QString filter_;
  int sort_column_ = -1;  // -1: the description's order
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
};

}  // namespace vesk::ui
