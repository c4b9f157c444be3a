#include "ui/io_state_dialog.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <algorithm>
#include <functional>

#include "app/document.h"
#include "link/presenter.h"
#include "platform/language.h"
#include "ui/ui_text.h"

namespace vesk::ui {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The window keeps the resource's layout in dialog units: a quarter of the font's average
// character width across, an eighth of its height down, so that the texts fit whatever font
// the desktop gives.
class DialogUnits {
 public:
  explicit DialogUnits(const QFontMetrics& fm)
      : x_(std::max(1, fm.averageCharWidth())), y_(std::max(1, fm.height())) {}
  QRect operator()(int x, int y, int w, int h) const {
    return QRect(x * x_ / 4, y * y_ / 8, w * x_ / 4, h * y_ / 8);
  }

 private:
  int x_, y_;
};

constexpr int kValueColumn = 0;
constexpr int kRowHeight = 20;
const QColor kMarkColour(0, 180, 0);
const QColor kResetColour(0, 0, 150);

// The value cell's editor: tells the window when an edit starts, is committed or is given
// up, so that the worker leaves that row alone meanwhile.
class ValueDelegate : public QStyledItemDelegate {
 public:
  ValueDelegate(QObject* parent, std::function<void(int)> begin,
                std::function<void(int, const QString&)> commit)
      : QStyledItemDelegate(parent), begin_(std::move(begin)), commit_(std::move(commit)) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    begin_(index.row());
    return QStyledItemDelegate::createEditor(parent, option, index);
  }
  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    // The model's row holds the typed text until the device answers the write.
    if (auto* e = qobject_cast<QLineEdit*>(editor)) commit_(index.row(), e->text());
  }

 private:
  std::function<void(int)> begin_;
  std::function<void(int, const QString&)> commit_;
};

QTableWidget* MakeList(QWidget* parent, const QStringList& titles) {
  auto* table = new QTableWidget(0, static_cast<int>(titles.size()), parent);
  table->setHorizontalHeaderLabels(titles);
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(kRowHeight);
  table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::SelectedClicked);
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  return table;
}

// The value and button columns are as narrow as their texts allow; the caption column
// ("Счетчик 12", "ШИМ выход 8") takes the rest, which in the desktop's fonts is more than
// an equal share.
void SizeColumns(QTableWidget* table) {
  const int n = table->columnCount();
  const int width = table->viewport()->width();
  QHeaderView* header = table->horizontalHeader();
  for (int c = 0; c < n; ++c) {
    if (c == 1) continue;
    const int want = header->sectionSizeHint(c);
    table->setColumnWidth(c, std::min(want + 4, width / n - 2));
  }
  header->setSectionResizeMode(1, QHeaderView::Stretch);
}

}  // namespace

// ---------------------------------------------------------------- indicators

IoIndicator::IoIndicator(const QString& caption, QWidget* parent)
    : QFrame(parent), caption_(caption) {
  setFrameStyle(QFrame::Box | QFrame::Plain);
}

void IoIndicator::SetState(const QString& state, exchange::IndicatorLook look) {
  if (state == state_ && look == look_) return;
  state_ = state;
  look_ = look;
  update();
}

void IoIndicator::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    const QRect inside = rect().adjusted(1, 1, -1, -1);
    switch (look_) {
      case exchange::IndicatorLook::InputOn:
        painter.fillRect(inside, QColor(255, 176, 98));
        break;
      case exchange::IndicatorLook::OutputFull:
        painter.fillRect(inside, QColor(113, 255, 113));
        break;
      case exchange::IndicatorLook::OutputPartial:
        painter.fillRect(inside, QBrush(QColor(0, 128, 0), Qt::DiagCrossPattern));
        break;
      case exchange::IndicatorLook::Plain:
        break;
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(inside, Qt::AlignCenter, caption_);
  }
  QFrame::paintEvent(event);
}

// ---------------------------------------------------------------- the window

IoStateDialog::IoStateDialog(app::Document& document, QWidget* parent, exchange::IoAccess* access)
    : QDialog(parent) {
  setWindowTitle(UiText(kStateInOutTitle));
  if (!access) {
    own_access_ = std::make_unique<exchange::EngineIoAccess>(document.engine());
    access = own_access_.get();
  }
  state_ = std::make_unique<exchange::IoState>(
      *access, document.tree().pollers.get(),
      [this](const exchange::IoChange& change) { OnChange(change); });

  const DialogUnits Dlu(fontMetrics());
  setFixedSize(Dlu(0, 0, 322, 244).size());
  QFont heading_font(QStringLiteral("Palatino Linotype"));
  heading_font.setPixelSize(20);
  heading_font.setWeight(QFont::DemiBold);
  heading_font.setStyleStrategy(QFont::PreferQuality);
  auto heading = [&](const QString& text, QRect where) {
    auto* label = new QLabel(text, this);
    label->setFont(heading_font);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(where);
  };
  heading(tr("Входы"), Dlu(0, 0, 162, 16));
  heading(tr("Выходы"), Dlu(162, 0, 159, 16));
  auto* separator = new QFrame(this);
  separator->setFrameStyle(QFrame::VLine | QFrame::Sunken);
  separator->setGeometry(Dlu(161, 16, 1, 221).adjusted(-1, 0, 1, 0));

  for (int i = 0; i < exchange::kInputCount; ++i) {
    inputs_[i] = new IoIndicator(QString::number(i + 1), this);
    inputs_[i]->setGeometry(Dlu(14 + 23 * (i % 6), i < 6 ? 22 : 47, 16, 18));
  }
  for (int i = 0; i < exchange::kOutputIndicatorCount; ++i) {
    outputs_[i] = new IoIndicator(QString::number(i + 1), this);
    outputs_[i]->setGeometry(Dlu(185 + 33 * (i % 4), i < 4 ? 22 : 47, 16, 18));
  }

  counters_ = MakeList(this, {tr("Значение"), tr("Счетчики"), tr("Обнуление")});
  counters_->setGeometry(Dlu(7, 73, 148, 164));
  output_rows_ = MakeList(this, {tr("Значение"), tr("Выходы")});
  output_rows_->setGeometry(Dlu(167, 73, 148, 135));
  for (auto [table, list] : {std::pair{counters_, exchange::IoList::Counters},
                             std::pair{output_rows_, exchange::IoList::Outputs}}) {
    const exchange::IoList which = list;
    table->setItemDelegateForColumn(
        kValueColumn,
        new ValueDelegate(
            table, [this, which](int row) { BeginEdit(which, row); },
            [this, which](int row, const QString& text) { CommitEdit(which, row, text); }));
    connect(table->itemDelegateForColumn(kValueColumn), &QAbstractItemDelegate::closeEditor, this,
            [this, which](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
              // Escape gives the edit up; a commit clears the mark itself.
              if (hint == QAbstractItemDelegate::RevertModelCache && editing_ &&
                  editing_->first == which)
                CancelOpenEdit();
            });
  }

  all_outputs_ =
      new QPushButton(QString::fromUtf8(platform::Tr(exchange::kAllOutputsButtonText)), this);
  // As wide as its caption needs in the desktop's font, from where the resource puts it.
  QRect all_outputs = Dlu(167, 223, 74, 14);
  all_outputs.setWidth(std::max(all_outputs.width(), all_outputs_->sizeHint().width()));
  all_outputs_->setGeometry(all_outputs);
  close_ = new QPushButton(tr("Закрыть"), this);
  close_->setGeometry(Dlu(265, 223, 50, 14));
  close_->setAutoDefault(false);
  all_outputs_->setAutoDefault(false);
  connect(close_, &QPushButton::clicked, this, &IoStateDialog::reject);
  connect(all_outputs_, &QPushButton::clicked, this, [this] {
    state_->ToggleAllOutputs();
    Redraw();
  });

  BuildLists();
  Redraw();
}

IoStateDialog::~IoStateDialog() {
  // The worker ends (and is joined) before the widgets its changes are queued to go.
  CancelOpenEdit();
  state_.reset();
}

QPushButton* IoStateDialog::ResetButton(int row) const {
  return qobject_cast<QPushButton*>(counters_->cellWidget(row, 2));
}

void IoStateDialog::BuildLists() {
  const exchange::IoSnapshot s = state_->Snapshot();
  FillList(counters_, s.counters, true);
  FillList(output_rows_, s.output_rows, false);
}

void IoStateDialog::FillList(QTableWidget* table, const std::vector<exchange::IoRow>& rows,
                             bool resets) {
  table->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    auto* value = new QTableWidgetItem(Q(rows[r].value));
    value->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    table->setItem(r, kValueColumn, value);
    auto* caption = new QTableWidgetItem(Q(rows[r].caption));
    caption->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    table->setItem(r, 1, caption);
    if (resets) {
      auto* reset =
          new QPushButton(QString::fromUtf8(platform::Tr(exchange::kResetButtonText)), table);
      reset->setFlat(true);
      reset->setAutoDefault(false);
      QPalette palette = reset->palette();
      palette.setColor(QPalette::ButtonText, kResetColour);
      reset->setPalette(palette);
      connect(reset, &QPushButton::clicked, this, [this, r] {
        state_->ResetCounter(static_cast<size_t>(r));
        Redraw();
      });
      table->setCellWidget(r, 2, reset);
    }
  }
}

void IoStateDialog::DrawList(QTableWidget* table, const std::vector<exchange::IoRow>& rows) {
  const QColor plain = table->palette().color(QPalette::Text);
  const int n = std::min(table->rowCount(), static_cast<int>(rows.size()));
  for (int r = 0; r < n; ++r) {
    const QColor colour = rows[r].marked ? kMarkColour : plain;
    for (int c = 0; c < 2; ++c) {
      QTableWidgetItem* item = table->item(r, c);
      if (!item) continue;
      if (c == kValueColumn && item->text() != Q(rows[r].value)) item->setText(Q(rows[r].value));
      if (item->foreground().color() != colour) item->setForeground(colour);
    }
  }
}

void IoStateDialog::Redraw() {
  const exchange::IoSnapshot s = state_->Snapshot();
  for (int i = 0; i < exchange::kInputCount; ++i)
    inputs_[i]->SetState(Q(s.inputs[i]), exchange::InputLook(s.inputs[i]));
  for (int i = 0; i < exchange::kOutputIndicatorCount; ++i)
    outputs_[i]->SetState(Q(s.outputs[i]), exchange::OutputLook(s.outputs[i]));
  DrawList(counters_, s.counters);
  DrawList(output_rows_, s.output_rows);
}

void IoStateDialog::OnChange(const exchange::IoChange& change) {
  // Any thread; nothing here waits for the window's thread. The calls are queued by name:
  // nothing the worker allocates crosses to the window's thread through Qt's event queue,
  // whose lock the thread sanitizer cannot see.
  if (change.kind == exchange::IoChange::Kind::Ended) {
    QMetaObject::invokeMethod(this, "reject", Qt::QueuedConnection);
    return;
  }
  if (change.kind == exchange::IoChange::Kind::WriteFailed) {
    QMetaObject::invokeMethod(this, "ShowWriteFailures", Qt::QueuedConnection);
    return;
  }
  if (redraw_queued_.exchange(true)) return;  // one redraw draws every change so far
  QMetaObject::invokeMethod(this, "RedrawQueued", Qt::QueuedConnection);
}

void IoStateDialog::RedrawQueued() {
  redraw_queued_.store(false);
  Redraw();
}

void IoStateDialog::ShowWriteFailures() {
  // Each box waits for its answer here, on the window's thread, while the worker goes on. A
  // failure that comes meanwhile gets its box after this one, not on top of it.
  if (showing_failures_) return;
  showing_failures_ = true;
  for (auto failures = state_->TakeWriteFailures(); !failures.empty();
       failures = state_->TakeWriteFailures())
    for (const exchange::IoWriteFailure& f : failures)
      link::presenter().ShowMessage(f.note, f.caption, link::MsgIcon::Warning);
  showing_failures_ = false;
}

void IoStateDialog::BeginEdit(exchange::IoList list, int row) {
  CancelOpenEdit();
  if (state_->BeginEdit(list, static_cast<size_t>(row))) editing_ = std::pair{list, row};
}

void IoStateDialog::CommitEdit(exchange::IoList list, int row, const QString& text) {
  if (editing_ && editing_->first == list && editing_->second == row) editing_.reset();
  // Queued for the worker; a failure comes back as a change (ShowWriteFailures), and the
  // row keeps the typed text until it is read again.
  state_->WriteEdited(list, static_cast<size_t>(row), text.toStdString());
  Redraw();
}

void IoStateDialog::CancelOpenEdit() {
  if (!editing_) return;
  state_->CancelEdit(editing_->first, static_cast<size_t>(editing_->second));
  editing_.reset();
}

void IoStateDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  SizeColumns(counters_);
  SizeColumns(output_rows_);
  if (!started_) {
    started_ = true;
    state_->Start();
  }
}

void IoStateDialog::reject() {
  if (!state_->RequestClose()) return;  // the worker's end closes the window
  CancelOpenEdit();
  QDialog::reject();
}

void IoStateDialog::closeEvent(QCloseEvent* event) {
  if (!state_->RequestClose()) {
    event->ignore();
    return;
  }
  CancelOpenEdit();
  QDialog::closeEvent(event);
}

}  // namespace vesk::ui
