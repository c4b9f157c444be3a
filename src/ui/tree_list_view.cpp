#include "ui/tree_list_view.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <functional>
#include <mutex>
#include <vector>

#include "app/cell_commit.h"
#include "app/document.h"
#include "exchange/exchange_engine.h"
#include "exchange/parameter_tasks.h"
#include "exchange/polling.h"
#include "exchange/record_exchange.h"
#include "exchange/task_codes.h"
#include "exchange/task_commands.h"
#include "link/presenter.h"
#include "model/description_branch.h"
#include "model/tree_builder.h"
#include "model/view_rows.h"
#include "platform/language.h"
#include "ui/command_ids.h"
#include "ui/exchange_status.h"
#include "ui/poll_receiver.h"
#include "ui/row_filter.h"
#include "ui/row_item.h"
#include "ui/ui_text.h"

namespace vesk::ui {
namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kPointerRole = Qt::UserRole + 1;
constexpr int kKindBranch = 1;
constexpr int kKindParameter = 2;
// When the value a polled row shows was read (absent: none read yet).
constexpr int kGoodTimeRole = Qt::UserRole + 2;

struct ColumnSpec {
  const char* title;
  Qt::Alignment alignment;
  int width;
};
// The widths were laid out for a narrower dialog font; the attribute and owner columns are
// widened so that their captions and values are not cut in the desktop font.
constexpr ColumnSpec kColumns[] = {
    {QT_TRANSLATE_NOOP("vesk", "Описание"), Qt::AlignLeft, 360},
    {QT_TRANSLATE_NOOP("vesk", "Параметр"), Qt::AlignRight, 70},
    {QT_TRANSLATE_NOOP("vesk", "Значение"), Qt::AlignRight, 130},
    {QT_TRANSLATE_NOOP("vesk", "Атрибут редактирования"), Qt::AlignRight, 170},
    {QT_TRANSLATE_NOOP("vesk", "Владелец"), Qt::AlignRight, 110},
    {QT_TRANSLATE_NOOP("vesk", "Ошибки обмена и несоответствия"), Qt::AlignLeft, 220},
};

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// A poll period with its unit.
QString PeriodText(long period_ms) {
  return TreeListView::tr("%1 мс").arg(period_ms);
}

QColor ToQColor(link::Rgb rgb) {
  return QColor(rgb.r, rgb.g, rgb.b);
}

void SetRowColour(QTreeWidgetItem* item, const QColor& colour) {
  for (int c = 0; c < item->columnCount(); ++c) item->setForeground(c, colour);
}

// A branch is red while a row under it, at any depth, failed an exchange (a mismatch or a
// value never set does not count); a polled row fails as its last poll did.
bool RowFailed(const QTreeWidgetItem* item) {
  for (int i = 0; i < item->childCount(); ++i) {
    const QTreeWidgetItem* child = item->child(i);
    if (link::Parameter* p = TreeListView::ParameterOf(child)) {
      const bool failed = p->IsPolled()
                              ? !child->text(5).isEmpty()
                              : !p->note.empty() && p->note != exchange::kNotInitialisedNote &&
                                    !p->HasCompareNote();
      if (failed) return true;
    } else if (RowFailed(child)) {
      return true;
    }
  }
  return false;
}

class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

// Editors that end themselves: Enter commits, Escape cancels, the loss of the focus
// commits (as leaving a cell does in other tables).
class CellLineEdit : public QLineEdit {
 public:
  CellLineEdit(QWidget* parent, std::function<void(bool)> done) : QLineEdit(parent), done_(done) {}

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
      done_(e->key() != Qt::Key_Escape);
      return;
    }
    QLineEdit::keyPressEvent(e);
    // The box widens to fit its text, within the view.
    const int want = fontMetrics().horizontalAdvance(text()) + 5 + 8;
    if (want > width() && parentWidget())
      setMinimumWidth(std::min(want, parentWidget()->width() - x()));
  }
  void focusOutEvent(QFocusEvent* e) override {
    QLineEdit::focusOutEvent(e);
    if (e->reason() != Qt::PopupFocusReason) done_(true);
  }

 private:
  std::function<void(bool)> done_;
};

// A choice list that only commits when an item is chosen (a click or Enter in the open
// list, Enter on the closed box): the arrow keys and the wheel merely move through it.
class CellComboBox : public QComboBox {
 public:
  CellComboBox(QWidget* parent, std::function<void(bool)> done) : QComboBox(parent), done_(done) {
    connect(this, qOverload<int>(&QComboBox::activated), this, [this] { done_(true); });
  }
  bool PopupShown() const { return opening_ || view()->isVisible(); }
  void showPopup() override {
    opening_ = true;
    QComboBox::showPopup();
    opening_ = false;
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    const bool alt = e->modifiers() & Qt::AltModifier;
    switch (e->key()) {
      case Qt::Key_Escape:
        done_(false);
        return;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        done_(true);
        return;
      case Qt::Key_F4:
        showPopup();
        return;
      case Qt::Key_Up:
      case Qt::Key_Down:
        if (alt) {
          showPopup();
        } else {
          const int step = e->key() == Qt::Key_Down ? 1 : -1;
          setCurrentIndex(std::clamp(currentIndex() + step, 0, count() - 1));
        }
        return;
      case Qt::Key_Home:
        setCurrentIndex(0);
        return;
      case Qt::Key_End:
        setCurrentIndex(count() - 1);
        return;
      default:
        // Typing would pick an item and commit it at once.
        e->accept();
        return;
    }
  }
  void wheelEvent(QWheelEvent* e) override { e->ignore(); }
  void focusOutEvent(QFocusEvent* e) override {
    QComboBox::focusOutEvent(e);
    if (e->reason() != Qt::PopupFocusReason && !PopupShown()) done_(true);
  }

 private:
  std::function<void(bool)> done_;
  bool opening_ = false;
};

model::ParameterNode* FindOwner(model::DescriptionBranch* branch, const link::Parameter* p) {
  if (!branch) return nullptr;
  for (const auto& own : branch->parameters)
    if (own.get() == p) return branch;
  for (const auto& child : branch->children)
    if (auto* found = FindOwner(child.get(), p)) return found;
  return nullptr;
}

}  // namespace

TreeListView::TreeListView(app::Document& document, QWidget* parent)
    : QTreeWidget(parent), doc_(document) {
  setColumnCount(6);
  QStringList titles;
  for (const ColumnSpec& c : kColumns) titles << UiText(c.title);
  setHeaderLabels(titles);
  for (int i = 0; i < 6; ++i) {
    headerItem()->setTextAlignment(i, kColumns[i].alignment | Qt::AlignVCenter);
    setColumnWidth(i, kColumns[i].width);
  }
  header()->setStretchLastSection(true);
  // A click sorts by the column; the device's order comes back at the third.
  header()->setSectionsClickable(true);
  header()->setSortIndicatorShown(false);
  connect(header(), &QHeaderView::sectionClicked, this, &TreeListView::OnHeaderClicked);
  header()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header(), &QWidget::customContextMenuRequested, this, &TreeListView::ShowHeaderMenu);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  connect(this, &QTreeWidget::itemExpanded, this, &TreeListView::OnExpanded);
  connect(this, &QTreeWidget::itemDoubleClicked, this, &TreeListView::OnDoubleClicked);
  connect(this, &QTreeWidget::itemChanged, this, &TreeListView::OnItemChanged);
  receiver_ = std::make_unique<PollReceiver>(
      this,
      [this](std::shared_ptr<exchange::PollSample> sample, uint64_t session) {
        ApplyPollResult(sample, session);
      },
      [this](uint64_t session) { OnPollingEnded(session); });
}

TreeListView::~TreeListView() {
  EndPolling();
}

void TreeListView::EndPolling() {
  if (!poller_) return;
  // No call into the receiver is in progress once the sink is gone; the poller then ends
  // the thread it runs.
  poller_->SetSink(nullptr);
  poller_.reset();
}

void TreeListView::StartPollingThread() {
  model::DescriptionBranch* pollers = doc_.tree().pollers.get();
  if (!pollers) return;
  if (!poller_) poller_ = std::make_unique<exchange::Poller>(doc_.engine());
  poller_->SetSink(receiver_.get());
  poller_->StartPollerThread(pollers);
}

link::Parameter* TreeListView::ParameterOf(const QTreeWidgetItem* item) {
  if (!item || item->data(0, kKindRole).toInt() != kKindParameter) return nullptr;
  return reinterpret_cast<link::Parameter*>(item->data(0, kPointerRole).value<quintptr>());
}

model::ParameterNode* TreeListView::NodeOf(const QTreeWidgetItem* item) {
  if (!item || item->data(0, kKindRole).toInt() != kKindBranch) return nullptr;
  return reinterpret_cast<model::ParameterNode*>(item->data(0, kPointerRole).value<quintptr>());
}

QTreeWidgetItem* TreeListView::ItemOf(const link::Parameter* parameter) const {
  if (!parameter) return nullptr;
  for (QTreeWidgetItemIterator it(const_cast<TreeListView*>(this)); *it; ++it)
    if (ParameterOf(*it) == parameter) return *it;
  return nullptr;
}

void TreeListView::ClearRows() {
  if (editor_) {
    editor_->hide();
    editor_.clear();
  }
  if (help_balloon_) help_balloon_->deleteLater();
  help_balloon_.clear();
  edit_item_ = nullptr;
  // Records outlive their rows (the same tree may be shown again): no row that is about to
  // go stays findable.
  parameter_rows_.clear();
  // Results already on their way belong to the rows that go now.
  receiver_->set_session(++session_);
  pending_reads_.clear();
  const bool was = setting_checks_;
  setting_checks_ = true;
  clear();
  setting_checks_ = was;
  top_ = root_item_ = pollers_item_ = nullptr;
  // The records of the edits may go with the rows.
  history_.Clear();
}

QString TreeListView::TopRowText(const QString& title) {
  return tr("Конфигурация ВЕСК (%1)").arg(title);
}

void TreeListView::Fill(const std::string& title) {
  WaitCursor wait;
  ClearRows();
  setting_checks_ = true;
  const bool show_indexes = doc_.modes().show_indexes.load();
  top_ = new RowItem(this);
  top_->setText(0, TopRowText(Q(title)));
  top_->setIcon(0, style()->standardIcon(QStyle::SP_ComputerIcon));
  if (model::DescriptionBranch* root = doc_.Root()) {
    root_item_ = AddBranchRows(*root, show_indexes);
  } else {
    auto* none = new RowItem(top_);
    none->setText(0, UiText(kNoTreeRow));
    none->setText(2, UiText(kNoTreeValue));
    none->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
  }
  // The operative parameters follow as the second root; their timers exist before their
  // rows, which are drawn as polled parameters because of them.
  if (model::DescriptionBranch* pollers = doc_.tree().pollers.get()) {
    exchange::PreparePolling(*pollers);
    pollers_item_ = AddBranchRows(*pollers, show_indexes);
  }
  setting_checks_ = false;
  // The exchange thread serves this configuration from now on, and the poller thread polls
  // its operative parameters whenever the user switches them on.
  doc_.engine().StartTransmitThread();
  StartPollingThread();
  ExpandQuietly(top_);
  if (root_item_) ExpandQuietly(root_item_);
  RefreshAll();
  if (sort_column_ >= 0) SortRows(*this);
  ApplyFilter();
}

QTreeWidgetItem* TreeListView::AddBranchRows(model::DescriptionBranch& branch, bool show_indexes) {
  model::ViewRows rows;
  const int own = branch.ShowBranchInView(rows, -1, show_indexes);
  std::vector<QTreeWidgetItem*> items(rows.size(), nullptr);
  const QIcon branch_icon = style()->standardIcon(QStyle::SP_DirIcon);
  const QIcon parameter_icon = style()->standardIcon(QStyle::SP_FileIcon);
  const QIcon info_icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
  for (size_t i = 0; i < rows.size(); ++i) {
    const model::ViewRow& row = rows[i];
    QTreeWidgetItem* parent =
        row.parent >= 0 && static_cast<size_t>(row.parent) < i ? items[row.parent] : top_;
    auto* item = new RowItem(parent);
    items[i] = item;
    item->setText(0, Q(row.label));
    item->setText(1, Q(row.short_name));
    item->setText(2, Q(row.value));
    for (int c = 1; c <= 4; ++c)
      item->setTextAlignment(c, kColumns[c].alignment | Qt::AlignVCenter);
    switch (row.kind) {
      case model::RowKind::Branch:
        item->setData(0, kKindRole, kKindBranch);
        item->setData(0, kPointerRole, QVariant::fromValue(reinterpret_cast<quintptr>(row.node)));
        item->setIcon(0, branch_icon);
        break;
      case model::RowKind::Parameter:
        item->setData(0, kKindRole, kKindParameter);
        item->setData(0, kPointerRole,
                      QVariant::fromValue(reinterpret_cast<quintptr>(row.parameter)));
        item->setIcon(0, parameter_icon);
        parameter_rows_.insert(row.parameter, item);
        if (row.parameter->IsPolled()) {
          item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
          item->setCheckState(0, Qt::Unchecked);
        }
        RefreshParameterRow(item, *row.parameter);
        break;
      case model::RowKind::Info:
        item->setIcon(0, info_icon);
        break;
    }
  }
  return own >= 0 && static_cast<size_t>(own) < items.size() ? items[own] : nullptr;
}

void TreeListView::ExpandQuietly(QTreeWidgetItem* item) {
  // Expanding in code is no request to read.
  quiet_expand_ = true;
  item->setExpanded(true);
  quiet_expand_ = false;
}

void TreeListView::RefreshParameterRow(QTreeWidgetItem* item, link::Parameter& p) {
  const bool show_indexes = doc_.modes().show_indexes.load();
  if (p.IsPolled()) {
    // The period is what column 1 edits here; the name is in the label in the index mode.
    item->setText(0, Q(p.TreeText(show_indexes)));
    item->setText(1, PeriodText(exchange::PollPeriod(p)));
    const Qt::CheckState check = exchange::PollingActive(p) ? Qt::Checked : Qt::Unchecked;
    if (!(item->flags() & Qt::ItemIsUserCheckable) ||
        !item->data(0, Qt::CheckStateRole).isValid() || item->checkState(0) != check) {
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      const bool was = setting_checks_;
      setting_checks_ = true;
      item->setCheckState(0, check);
      setting_checks_ = was;
    }
    // The poller thread holds the record while it reads it; the window does not wait for
    // that: the poll's own result brings the value shortly.
    std::unique_lock values(exchange::PolledValuesLock(), std::try_to_lock);
    if (!values.owns_lock()) return;
    item->setText(2, Q(p.value));
    item->setText(5, Q(p.note));
    SetRowColour(item, ToQColor(p.DisplayColour()));
    return;
  }
  item->setText(1, Q(p.NameColumn(show_indexes)));
  item->setText(2, Q(p.value));
  item->setText(3, Q(p.EditableText()));
  item->setText(4, Q(p.OwnerText()));
  item->setText(5, Q(p.note));
  SetRowColour(item, ToQColor(p.DisplayColour()));
}

// ---------------------------------------------------------------- polling

void TreeListView::OnItemChanged(QTreeWidgetItem* item, int column) {
  if (setting_checks_ || column != 0) return;
  link::Parameter* p = ParameterOf(item);
  if (!p || !p->IsPolled()) return;
  const bool want = item->checkState(0) == Qt::Checked;
  if (want != exchange::PollingActive(*p)) SetPolling(item, want);
}

bool TreeListView::SetPolling(QTreeWidgetItem* item, bool on) {
  link::Parameter* p = ParameterOf(item);
  if (!p || !p->IsPolled()) return false;
  bool ok = true;
  if (on) {
    // The thread may have been ended meanwhile (a task's StopThreads); it runs again.
    StartPollingThread();
    ok = exchange::StartPolling(*p) != exchange::kPollNoTimer;
  } else {
    exchange::StopPolling(*p);
  }
  const bool was = setting_checks_;
  setting_checks_ = true;
  item->setCheckState(0, exchange::PollingActive(*p) ? Qt::Checked : Qt::Unchecked);
  setting_checks_ = was;
  return ok;
}

void TreeListView::ApplyPollResult(const std::shared_ptr<exchange::PollSample>& sample,
                                   uint64_t session) {
  // A result of rows that have gone since it was taken, or one for a row being edited,
  // changes nothing.
  if (!sample || session != session_ || !sample->parameter || editor_) return;
  QTreeWidgetItem* item = parameter_rows_.value(sample->parameter, nullptr);
  if (!item) return;
  auto clock = [](exchange::PollSample::Clock::time_point t) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("hh:mm:ss.zzz"));
  };
  // When the read began and ended.
  const QString times =
      clock(sample->start_time) + QStringLiteral(" \u2013 ") + clock(sample->end_time);
  item->setText(5, Q(sample->error_text));
  item->setToolTip(5, times);
  const bool good = sample->error_text.empty();
  const bool had_value = item->data(2, kGoodTimeRole).isValid();
  if (good || !had_value) {
    item->setText(2, Q(sample->value_text));
    item->setToolTip(2, times);
    if (good) item->setData(2, kGoodTimeRole, times);
    SetRowColour(item, good ? QColor(0, 0, 0) : QColor(255, 0, 0));
  } else {
    // A failed poll keeps the last good value, greyed, with the time it was read.
    SetRowColour(item, QColor(255, 0, 0));
    item->setForeground(2, QColor(128, 128, 128));
    item->setToolTip(
        2, tr("Последнее полученное значение: ") + item->data(2, kGoodTimeRole).toString());
  }
  // The branches above follow their children.
  for (QTreeWidgetItem* up = item->parent(); up; up = up->parent()) RefreshItem(up);
}

void TreeListView::OnPollingEnded(uint64_t session) {
  if (session != session_) return;
  // The thread switched every polling off at its end; the boxes say so.
  const bool was = setting_checks_;
  setting_checks_ = true;
  for (QTreeWidgetItemIterator it(this); *it; ++it)
    if (link::Parameter* p = ParameterOf(*it); p && p->IsPolled())
      (*it)->setCheckState(0, exchange::PollingActive(*p) ? Qt::Checked : Qt::Unchecked);
  setting_checks_ = was;
}

void TreeListView::RefreshItem(QTreeWidgetItem* item) {
  if (link::Parameter* p = ParameterOf(item)) {
    RefreshParameterRow(item, *p);
  } else if (model::ParameterNode* node = NodeOf(item)) {
    item->setText(1,
                  Q(model::BranchIndexText(node->linear_index, doc_.modes().show_indexes.load())));
    SetRowColour(item, RowFailed(item) ? QColor(255, 0, 0) : QColor(0, 0, 0));
  }
}

void TreeListView::RefreshAll() {
  WaitCursor wait;
  for (QTreeWidgetItemIterator it(this); *it; ++it) {
    if (*it == edit_item_ && editor_) continue;  // the open editor keeps its cell
    RefreshItem(*it);
  }
}

void TreeListView::OnExpanded(QTreeWidgetItem* item) {
  if (quiet_expand_ || !status_) return;
  // One branch is on the wire at a time; the next waits for its turn, and the window does
  // not wait for either.
  if (std::find(pending_reads_.begin(), pending_reads_.end(), item) == pending_reads_.end())
    pending_reads_.push_back(item);
  if (!status_->IsBusy()) StartNextRead();
}

void TreeListView::StartNextRead() {
  while (status_ && !status_->IsBusy() && !pending_reads_.empty()) {
    QTreeWidgetItem* item = pending_reads_.front();
    pending_reads_.pop_front();
    std::vector<link::Parameter*> records;
    for (int i = 0; i < item->childCount(); ++i)
      if (link::Parameter* p = ParameterOf(item->child(i));
          p && exchange::WantsAutomaticRead(doc_.engine(), *p))
        records.push_back(p);
    if (records.empty()) continue;
    status_->set_next_text(UiText(kBranchReadStatus).arg(item->text(0)));
    exchange::StartRecordsRead(doc_.engine(), records, Deliver(&TreeListView::ApplyRead), *status_);
  }
}

std::function<void(exchange::RecordOutcome)> TreeListView::Deliver(ApplyOutcome apply) {
  // The outcomes travel through the status, which outlives the view and the engine's
  // threads; the rows they are for may be gone by then, which the session tells.
  QPointer<TreeListView> self(this);
  const uint64_t session = session_;
  ExchangeStatus* status = status_;
  return [self, session, status, apply](exchange::RecordOutcome outcome) {
    QMetaObject::invokeMethod(
        status,
        [self, session, apply, outcome] {
          if (self) (self.data()->*apply)(outcome, session);
        },
        Qt::QueuedConnection);
  };
}

void TreeListView::ApplyRead(const exchange::RecordOutcome& read, uint64_t session) {
  if (session != session_ || !read.record || !read.copy || !read.Arrived()) return;
  link::Parameter& record = *read.record;
  // An edit typed while the read was on the wire is the user's: it stays.
  if (record.value != link::kNoData || !record.note.empty()) return;
  exchange::TakeReadResult(record, *read.copy);
  QTreeWidgetItem* row = ItemOf(&record);
  if (!row || (row == edit_item_ && editor_)) return;
  RefreshParameterRow(row, record);
  if (row->parent()) RefreshItem(row->parent());
}

void TreeListView::StartWrite(link::Parameter& record) {
  if (!status_) return;
  QPointer<TreeListView> self(this);
  const uint64_t session = session_;
  link::Parameter* p = &record;
  const QString text = UiText(kValueWriteStatus).arg(Q(record.caption));
  status_->Enqueue([self, session, p, text] {
    // A new tree took the record along while the write waited.
    if (!self || session != self->session_ || !self->status_) return false;
    ExchangeStatus* status = self->status_;
    status->set_next_text(text);
    const bool started = exchange::StartRecordWrite(
        self->doc_.engine(), *p, self->Deliver(&TreeListView::ApplyWrite), *status);
    if (!started) {
      status->set_next_text({});
      // The value stays marked as changed; the user learns it did not go.
      exchange::ShowLineBusy();
    }
    return started;
  });
}

void TreeListView::ApplyWrite(const exchange::RecordOutcome& write, uint64_t session) {
  if (session != session_ || !write.record) return;
  const bool failed = exchange::TakeWriteResult(write);
  if (QTreeWidgetItem* row = ItemOf(write.record); row && !(row == edit_item_ && editor_)) {
    RefreshParameterRow(row, *write.record);
    if (row->parent()) RefreshItem(row->parent());
  }
  if (failed) app::ReportWriteFailure(*write.record);
}

void TreeListView::set_exchange_status(ExchangeStatus* status) {
  status_ = status;
  if (status_) connect(status_, &ExchangeStatus::Ended, this, [this] { StartNextRead(); });
}

bool TreeListView::StopReads() {
  pending_reads_.clear();
  return status_ && status_->Stop();
}

void TreeListView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && StopReads()) {
    event->accept();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------- navigation

void TreeListView::GoToProblem(bool down) {
  WaitCursor wait;
  // Every row in the order the tree shows them, collapsed branches included.
  std::vector<QTreeWidgetItem*> order;
  for (QTreeWidgetItemIterator it(this); *it; ++it) order.push_back(*it);
  QTreeWidgetItem* start = currentItem();
  if (!start) {
    if (!root_item_) return;
    ExpandQuietly(root_item_);
    start = root_item_;
  }
  if (NodeOf(start) && start->childCount() == 0) {
    link::presenter().ShowMessage(UiTextUtf8(kNoOtherProblems), platform::Tr(model::kProgramTitle),
                                  link::MsgIcon::Information, link::MsgButtons::Ok);
    return;
  }
  if (link::Parameter* p = ParameterOf(start); p && p->IsPolled()) return;
  const auto here = std::find(order.begin(), order.end(), start);
  const long at = here == order.end() ? -1 : here - order.begin();
  auto is_problem = [](QTreeWidgetItem* item) {
    link::Parameter* p = ParameterOf(item);
    return p && !p->IsPolled() && !p->note.empty();
  };
  QTreeWidgetItem* found = nullptr;
  if (down) {
    // From a branch, its own first rows count as well.
    const bool from_branch = ParameterOf(start) == nullptr;
    if (from_branch && is_problem(start)) found = start;
    for (long i = at + 1; !found && i < static_cast<long>(order.size()); ++i)
      if (is_problem(order[i])) found = order[i];
  } else {
    for (long i = at - 1; !found && i >= 0; --i)
      if (is_problem(order[i])) found = order[i];
  }
  if (!found) {
    link::presenter().ShowMessage(UiTextUtf8(kNoMoreProblems), platform::Tr(model::kProgramTitle),
                                  link::MsgIcon::Information, link::MsgButtons::Ok);
    return;
  }
  for (QTreeWidgetItem* up = found->parent(); up; up = up->parent()) ExpandQuietly(up);
  setCurrentItem(found);
  scrollToItem(found);
}

// ---------------------------------------------------------------- context menus

model::ParameterNode* TreeListView::OwnerOf(const link::Parameter* parameter) const {
  if (!parameter) return nullptr;
  if (auto* found = FindOwner(doc_.Root(), parameter)) return found;
  if (auto* found = FindOwner(doc_.tree().pollers.get(), parameter)) return found;
  for (const auto& p : doc_.engine().program_line().parameters)
    if (p.get() == parameter) return &doc_.engine().program_line();
  return nullptr;
}

QMenu* TreeListView::BuildContextMenu(QTreeWidgetItem* item) {
  auto add = [](QMenu* menu, int id, const QString& text) {
    QAction* a = menu->addAction(text);
    a->setData(id);
    return a;
  };
  if (auto* branch = dynamic_cast<model::DescriptionBranch*>(NodeOf(item));
      branch && branch != doc_.tree().pollers.get()) {
    auto* menu = new QMenu(this);
    add(menu, cmd::kTreeRead, tr("Прочитать параметры ветви"));
    add(menu, cmd::kTreeWrite, tr("Записать параметры ветви"));
    add(menu, cmd::kTreeWriteChanged, tr("Записать только измененные"));
    add(menu, cmd::kTreeCompare, tr("Сравнить с реальными значениями"));
    return menu;
  }
  if (link::Parameter* p = ParameterOf(item); p && !p->IsPolled()) {
    auto* menu = new QMenu(this);
    add(menu, cmd::kReadParameter, tr("Прочитать параметр"));
    if (p->writable) add(menu, cmd::kWriteParameter, tr("Записать параметр"));
    menu->addSeparator();
    add(menu, cmd::kResetParameter, tr("Установить значение в \"Нет данных\""));
    if (history_.CanUndo(*p))
      add(menu, cmd::kUndoParameter, QString::fromUtf8(platform::Tr(app::kUndoItemText)));
    return menu;
  }
  return nullptr;
}

void TreeListView::contextMenuEvent(QContextMenuEvent* event) {
  QTreeWidgetItem* item = nullptr;
  QPoint at = event->globalPos();
  if (event->reason() == QContextMenuEvent::Keyboard) {
    // The Menu key and Shift+F10 mean the current row, wherever the pointer is.
    item = currentItem();
    if (!item) return;
    scrollToItem(item);
    const QRect row = visualItemRect(item);
    at = viewport()->mapToGlobal(QPoint(row.left() + indentation(), row.bottom()));
  } else {
    item = itemAt(viewport()->mapFromGlobal(at));
  }
  if (!item) return;
  setCurrentItem(item);
  doc_.current_branch = NodeOf(item) ? NodeOf(item) : OwnerOf(ParameterOf(item));
  QMenu* menu = BuildContextMenu(item);
  if (!menu) return;
  QAction* chosen = menu->exec(at);
  const int id = chosen ? chosen->data().toInt() : 0;
  menu->deleteLater();
  if (id) RunRowCommand(id, item);
}

void TreeListView::RunRowCommand(int id, QTreeWidgetItem* item) {
  switch (id) {
    case cmd::kTreeRead:
    case cmd::kTreeWrite:
    case cmd::kTreeWriteChanged:
    case cmd::kTreeCompare:
      doc_.current_branch = dynamic_cast<model::DescriptionBranch*>(NodeOf(item));
      if (id == cmd::kTreeRead && may_replace_edits_ &&
          !may_replace_edits_(doc_.ReadReplacesEdits(doc_.current_branch)))
        return;
      doc_.RunCommand(app::cmd::kReadBranch + (id - cmd::kTreeRead));
      RefreshAll();
      return;
    case cmd::kReadParameter:
    case cmd::kWriteParameter:
      if (link::Parameter* p = ParameterOf(item);
          id == cmd::kReadParameter && p && may_replace_edits_ &&
          !may_replace_edits_(doc_.modified && p->AnyChanged()))
        return;
      exchange::RunParameterCommand(
          doc_.engine(), ParameterOf(item),
          id == cmd::kReadParameter ? exchange::kTaskReadOne : exchange::kTaskWriteOne);
      RefreshAll();
      return;
    case cmd::kUndoParameter:
      UndoEdit(item);
      return;
    case cmd::kResetParameter:
      if (link::Parameter* p = ParameterOf(item)) {
        p->value = link::kNoData;
        p->note.clear();
        p->value_changed = p->edit_changed = p->owner_changed = false;
      }
      RefreshAll();
      return;
    default:
      return;
  }
}

// ---------------------------------------------------------------- editing in place

void TreeListView::OnDoubleClicked(QTreeWidgetItem* item, int column) {
  OpenEditor(item, column);
}

QWidget* TreeListView::OpenEditor(QTreeWidgetItem* item, int column) {
  link::Parameter* p = ParameterOf(item);
  if (!p || item->isDisabled()) return nullptr;
  CloseEditor(false);
  if (!p->IsPolled() && (column == app::column::kValue || column == app::column::kEditable)) {
    // An editor whose input would be dropped is not opened; the status bar says why.
    const char* why = nullptr;
    if (p->owned_by_firm)
      why = kFirmOwnedPrompt;
    else if (column == app::column::kValue && !p->writable)
      why = kReadOnlyPrompt;
    if (why) {
      emit StatusText(UiText(why));
      return nullptr;
    }
  }
  QWidget* editor = nullptr;
  // The editor ends after the event that ended it has been handled.
  auto done = [this](bool commit) {
    QTimer::singleShot(0, this, [this, commit] {
      if (auto* combo = dynamic_cast<CellComboBox*>(editor_.data()); combo && combo->PopupShown())
        return;
      CloseEditor(commit);
    });
  };
  auto line_edit = [&] {
    auto* e = new CellLineEdit(viewport(), done);
    e->setText(item->text(column));
    e->selectAll();
    return e;
  };
  if (p->IsPolled()) {
    if (column == 1 && p->short_name != "r.oe.s") {
      editor = line_edit();
      static_cast<QLineEdit*>(editor)->setText(QString::number(exchange::PollPeriod(*p)));
    } else if (column == 2) {
      if (exchange::PollingActive(*p))
        link::presenter().ShowMessage(platform::Tr(app::kPolledEditWarning),
                                      platform::Tr(model::kProgramTitle), link::MsgIcon::Warning,
                                      link::MsgButtons::Ok);
      editor = line_edit();
    }
  } else if (column == 2) {
    const std::vector<std::string> choices = app::ValueChoices(*p);
    if (choices.empty()) {
      editor = line_edit();
    } else {
      auto* combo = new CellComboBox(viewport(), done);
      for (const std::string& c : choices) combo->addItem(Q(c));
      editor = combo;
    }
  } else if (column == 3 && p->has_attributes) {
    auto* combo = new CellComboBox(viewport(), done);
    combo->addItem(item->text(3));
    combo->addItem(QString::fromUtf8(p->editable ? app::kNotEditableText : app::kEditableText));
    editor = combo;
  }
  if (!editor) return nullptr;
  edit_item_ = item;
  edit_column_ = column;
  edit_old_ = item->text(column);
  if (p->IsPolled() && column == 1) edit_old_ = QString::number(exchange::PollPeriod(*p));
  editor_ = editor;
  setItemWidget(item, column, editor);
  editor->setFocus();
  if (qobject_cast<QLineEdit*>(editor) && !p->IsPolled()) ShowHelpBalloon(item, column, *p);
  return editor;
}

void TreeListView::ShowHelpBalloon(QTreeWidgetItem* item, int column, const link::Parameter& p) {
  // A tool tip of the platform goes at the next click or key; this one stays with the editor.
  auto* balloon = new QLabel(viewport());
  balloon->setObjectName(QStringLiteral("help_balloon"));
  balloon->setTextFormat(Qt::RichText);
  balloon->setText("<b>" + Q(app::EditHelpTitle(p)).toHtmlEscaped() + "</b><br>" +
                   Q(app::EditHelpText(p)).toHtmlEscaped());
  balloon->setPalette(QToolTip::palette());
  balloon->setBackgroundRole(QPalette::ToolTipBase);
  balloon->setForegroundRole(QPalette::ToolTipText);
  balloon->setAutoFillBackground(true);
  balloon->setFrameStyle(QFrame::Box | QFrame::Plain);
  balloon->setMargin(4);
  balloon->adjustSize();
  const QRect cell = visualItemRect(item).intersected(
      QRect(columnViewportPosition(column), 0, columnWidth(column), viewport()->height()));
  QPoint at(cell.left(), cell.bottom() + 2);
  if (at.y() + balloon->height() > viewport()->height())
    at.setY(cell.top() - balloon->height() - 2);
  at.setX(std::max(0, std::min(at.x(), viewport()->width() - balloon->width())));
  balloon->move(at);
  balloon->show();
  balloon->raise();
  help_balloon_ = balloon;
}

void TreeListView::CloseEditor(bool commit) {
  if (!editor_ || committing_) return;
  committing_ = true;
  QWidget* editor = editor_;
  editor_.clear();
  if (help_balloon_) help_balloon_->deleteLater();
  help_balloon_.clear();
  QString text;
  if (auto* e = qobject_cast<QLineEdit*>(editor))
    text = e->text();
  else if (auto* c = qobject_cast<QComboBox*>(editor))
    text = c->currentText();
  QTreeWidgetItem* item = edit_item_;
  const int column = edit_column_;
  edit_item_ = nullptr;
  editor->hide();
  removeItemWidget(item, column);
  setFocus();
  if (commit) Commit(item, column, text);
  committing_ = false;
}

void TreeListView::Commit(QTreeWidgetItem* item, int column, const QString& text) {
  link::Parameter* p = ParameterOf(item);
  if (!p) return;
  const app::CommitResult result =
      app::CommitCell({doc_.engine(), OwnerOf(p), &doc_.modified, &history_}, *p, column,
                      edit_old_.toStdString(), text.toStdString());
  if (result == app::CommitResult::PortReopened)
    RefreshAll();
  else
    RefreshItem(item);
  if (item->parent()) RefreshItem(item->parent());
  if (result == app::CommitResult::ToWrite) StartWrite(*p);
  emit Edited();
}

// ---------------------------------------------------------------- taking edits back

bool TreeListView::UndoEdit(QTreeWidgetItem* item) {
  CloseEditor(false);
  link::Parameter* wanted = item ? ParameterOf(item) : nullptr;
  if (item && !wanted) return false;
  bool to_write = false;
  link::Parameter* undone =
      app::UndoEdit({doc_.engine(), OwnerOf(wanted), &doc_.modified, &history_}, wanted, &to_write);
  if (!undone) {
    emit StatusText(QString::fromUtf8(platform::Tr(app::kNothingToUndoText)));
    return false;
  }
  if (QTreeWidgetItem* row = ItemOf(undone)) {
    RefreshItem(row);
    for (QTreeWidgetItem* up = row->parent(); up; up = up->parent()) RefreshItem(up);
    setCurrentItem(row);
    scrollToItem(row);
  }
  if (to_write) StartWrite(*undone);
  emit Edited();
  return true;
}

// ---------------------------------------------------------------- filter and order

int TreeListView::SetFilter(const QString& text) {
  filter_ = text;
  return ApplyFilter();
}

int TreeListView::ApplyFilter() {
  // What a row matches by: the texts the core gives it, as they are shown.
  auto texts = [](const QTreeWidgetItem* item) {
    QStringList t{item->text(0), item->text(1), item->text(2)};
    if (const link::Parameter* p = ParameterOf(item)) t << Q(p->caption) << Q(p->short_name);
    return t;
  };
  const int found =
      FilterRows(*this, filter_, texts, [this](QTreeWidgetItem* item) { ExpandQuietly(item); });
  emit FilterApplied(filter_.isEmpty() ? -1 : found);
  return found;
}

void TreeListView::OnHeaderClicked(int column) {
  // The header has flipped its indicator on its own by now; the view's state decides.
  if (sort_column_ != column) {
    sort_column_ = column;
    sort_order_ = Qt::AscendingOrder;
  } else if (sort_order_ == Qt::AscendingOrder) {
    sort_order_ = Qt::DescendingOrder;
  } else {
    RestoreTreeOrder();
    return;
  }
  header()->setSortIndicator(sort_column_, sort_order_);
  header()->setSortIndicatorShown(true);
  SortRows(*this);
}

void TreeListView::RestoreTreeOrder() {
  sort_column_ = -1;
  header()->setSortIndicatorShown(false);
  SortRows(*this);
}

void TreeListView::ShowHeaderMenu(const QPoint& at) {
  QMenu menu(this);
  QAction* order = menu.addAction(tr("Порядок строк как в приборе"));
  order->setEnabled(header()->isSortIndicatorShown());
  if (menu.exec(header()->mapToGlobal(at)) == order) RestoreTreeOrder();
}

}  // namespace vesk::ui
