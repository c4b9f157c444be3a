#include "ui/progress_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "ui/gui_thread.h"
#include "ui/ui_text.h"

namespace vesk::ui {

ProgressDialog::ProgressDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(UiText(kProgressTitle));
  setModal(true);
  // No close box: the end of the task is the only way out. The frame may still be resized,
  // and the grip in the corner says so.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowMaximizeButtonHint);
  setSizeGripEnabled(true);
  list_ = new QListWidget(this);
  list_->setObjectName("log");
  elapsed_ = new QLineEdit(this);
  elapsed_->setObjectName("elapsed");
  elapsed_->setReadOnly(true);
  counter_ = new QLineEdit(this);
  counter_->setObjectName("counter");
  counter_->setReadOnly(true);
  bar_ = new QProgressBar(this);
  bar_->setObjectName("bar");
  bar_->setTextVisible(false);
  cancel_ = new QPushButton(UiText(kCancelButtonText), this);
  cancel_->setObjectName("cancel");
  cancel_->setDefault(true);
  cancel_->setAutoDefault(true);

  auto* grid = new QGridLayout(this);
  grid->addWidget(list_, 0, 0, 5, 1);
  grid->addWidget(new QLabel(tr("Обмен идет:"), this), 0, 1);
  grid->addWidget(elapsed_, 1, 1);
  grid->addWidget(new QLabel(tr("Обработано пар-ов:"), this), 2, 1);
  grid->addWidget(counter_, 3, 1);
  grid->addWidget(bar_, 5, 0);
  grid->addWidget(cancel_, 5, 1);
  grid->setColumnStretch(0, 1);
  grid->setRowStretch(4, 1);
  resize(kProgressWidth, 240);

  connect(cancel_, &QPushButton::clicked, this, &ProgressDialog::CancelRequested);
}

void ProgressDialog::AddLine(const exchange::ProgressLine& line) {
  const QString text = QString::fromStdString(line.text);
  list_->addItem(text);
  FitLine(text);
  if (line.scroll_to_bottom) list_->scrollToBottom();
  elapsed_->setText(QString::fromStdString(line.elapsed));
  if (!line.counter.empty()) {
    counter_->setText(QString::fromStdString(line.counter));
    bar_->setValue(std::min(line.position, bar_->maximum()));
  }
}

void ProgressDialog::FitLine(const QString& text) {
  // The window widens for a line that would be cut, as far as the screen lets it.
  const int missing = list_->fontMetrics().horizontalAdvance(text) + 2 * list_->frameWidth() +
                      list_->verticalScrollBar()->sizeHint().width() + 8 -
                      list_->viewport()->width();
  if (missing <= 0) return;
  int limit = width() + missing;
  if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
    limit = std::min(limit, s->availableGeometry().width());
  if (limit > width()) resize(limit, height());
}

void ProgressDialog::ScrollToBottom() {
  list_->scrollToBottom();
}

void ProgressDialog::SetRange(int range) {
  // The bar of the original window counts in 16 bits; the counter text stays exact.
  bar_->setRange(0, range & 0xFFFF);
  bar_->setValue(0);
}

void ProgressDialog::reject() {
  emit CancelRequested();
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
  event->ignore();
}

// ---------------------------------------------------------------- ProgressWindow

ProgressWindow::ProgressWindow(QObject* parent) : QObject(parent) {}

bool ProgressWindow::Run(int code, std::string_view caption, int range,
                         const std::function<void()>& opened_callback) {
  (void)code;
  // A modal window lives on the windows' thread only; a second task never opens over one.
  if (!OnGuiThread() || dialog_) return false;
  ProgressDialog dialog(parent_widget_.data());
  if (!caption.empty()) dialog.setWindowTitle(QString::fromUtf8(caption.data(), caption.size()));
  dialog.SetRange(range);
  connect(&dialog, &ProgressDialog::CancelRequested, this, [this] {
    if (cancel_) cancel_();
  });
  dialog_ = &dialog;
  open_.store(true);
  // The task starts once the window is up, from inside its loop, so that everything the
  // exchange thread queues for the window finds it.
  QTimer::singleShot(0, &dialog, [this, &opened_callback] {
    emit Opened();
    opened_callback();
  });
  dialog.exec();
  open_.store(false);
  dialog_ = nullptr;
  emit Finished();
  return true;
}

void ProgressWindow::Log(const exchange::ProgressLine& line) {
  QMetaObject::invokeMethod(
      this,
      [this, line] {
        if (dialog_) dialog_->AddLine(line);
      },
      Qt::QueuedConnection);
}

void ProgressWindow::ScrollToBottom() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (dialog_) dialog_->ScrollToBottom();
      },
      Qt::QueuedConnection);
}

bool ProgressWindow::Close() {
  bool expected = true;
  if (!open_.compare_exchange_strong(expected, false)) return false;
  // Queued after the last log lines, so the window shows them all before it goes.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (dialog_) dialog_->done(0);
      },
      Qt::QueuedConnection);
  return true;
}

}  // namespace vesk::ui
