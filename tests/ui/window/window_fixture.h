#pragma once
// A document with the window over it, its settings in a folder of the test's own, and
// every message captured instead of shown.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/document.h"
#include "link/presenter.h"
#include "platform/settings_store.h"
#include "ui/qt_front_end.h"

class QTreeWidgetItem;

namespace vesk::ui {
class TreeListView;
}

namespace vesk::ui::test {

struct Shown {
  std::string text, caption;
  link::MsgIcon icon;
};

class CapturingPresenter : public link::Presenter {
 public:
  link::MsgAnswer ShowMessage(std::string_view text, std::string_view caption, link::MsgIcon icon,
                              link::MsgButtons buttons) override {
    shown.push_back({std::string(text), std::string(caption), icon});
    return buttons == link::MsgButtons::Ok ? link::MsgAnswer::Ok : answer;
  }
  std::vector<Shown> shown;
  // The answer to every question.
  link::MsgAnswer answer = link::MsgAnswer::No;
};

// A folder under /tmp removed with its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The simulator on a pseudo-terminal at 115200 bit/s, with `extra` arguments; ended when
// destroyed.
class SimProcess {
 public:
  explicit SimProcess(const ScratchDir& dir, const std::vector<std::string>& extra = {});
  ~SimProcess();
  const std::string& pty() const { return pty_; }

 private:
  int pid_ = -1;
  std::string pty_;
};

// How long a helper answers a dialog before it gives up on it.
inline constexpr int kDialogDeadlineMs = 30000;

// Closes whatever modal widget is up (rejects a dialog). Returns false when none was.
bool CloseModal();

// Answers the modal dialog of type D that the next step opens, as a hand would: `answer`
// is called every 20 ms for as long as the dialog is up, since a dialog may not take the
// first answer (its view still loading, a button not yet enabled). Past the deadline the
// test fails and every modal widget still up is closed, so that the step returns.
template <class D>
class DialogAnswer {
 public:
  explicit DialogAnswer(std::function<void(D&)> answer, int deadline_ms = kDialogDeadlineMs)
      : answer_(std::move(answer)), deadline_ms_(deadline_ms) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    clock_.start();
    timer_.start(20);
  }
  // Whether the dialog was up and answered at least once.
  bool answered() const { return answered_; }

 private:
  void Tick() {
    if (clock_.elapsed() > deadline_ms_) {
      if (CloseModal() && !timed_out_) {
        timed_out_ = true;
        ADD_FAILURE() << "a dialog was still up after " << deadline_ms_ << " ms";
      }
      return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    auto* dialog = qobject_cast<D*>(modal);
    if (!dialog && modal && qobject_cast<D*>(modal->parentWidget())) {
      // The dialog's own complaint about an answer taken before it was ready (a file dialog
      // still listing another folder finds no such file): dismissed, and the answer goes in
      // again at the next tick.
      if (auto* complaint = qobject_cast<QDialog*>(modal)) complaint->reject();
      return;
    }
    if (!dialog || !dialog->isVisible()) return;
    answered_ = true;
    answer_(*dialog);
  }

  std::function<void(D&)> answer_;
  int deadline_ms_;
  QTimer timer_;
  QElapsedTimer clock_;
  bool answered_ = false;
  bool timed_out_ = false;
};

// Chooses `item` of the menu bar's menu `menu` with the mouse (both without their '&',
// the item without its accelerator).
void ChooseMenuItem(MainWindow& frame, const QString& menu, const QString& item);

// The first row of the view whose parameter (not polled) `want` accepts.
QTreeWidgetItem* FirstRow(TreeListView& view,
                          const std::function<bool(const link::Parameter&)>& want);
// The first row of the view whose caption is `caption` (a branch's, say).
QTreeWidgetItem* RowCaptioned(TreeListView& view, const QString& caption);
// A value a user may type over: writable, not the maker's, no network setting or "Prot".
bool PlainEditable(const link::Parameter& p);
// The first such row edited as text, with a range.
QTreeWidgetItem* EditableTextRow(TreeListView& view);
// A double click on the middle of a cell, as the mouse gives it (the row clicked first).
void DoubleClickCell(TreeListView& view, QTreeWidgetItem* item, int column);
// Types a value into the text editor of the value cell and ends with `key`.
void TypeIntoCell(TreeListView& view, QTreeWidgetItem* item, const QString& text, Qt::Key key);

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The document; `pty` empty: a silent start that opens no port. With `quiet`, the start
  // over `pty` is a command-line run's: a line that never answers meets no set-up dialog,
  // only a message.
  app::Document& MakeDocument(const std::string& pty = {}, bool quiet = false);
  // The main window over the document made.
  MainWindow& MakeWindow();
  // Opens the document's port again at `bps`: at 9600 a request to a silent device waits
  // long enough for a person to act during it.
  void ReopenAt(const char* bps);

  ScratchDir dir;
  std::unique_ptr<platform::SettingsStore> store;
  CapturingPresenter captured;
  std::unique_ptr<QtFrontEnd> fe;
  std::unique_ptr<app::Document> doc;
};

}  // namespace vesk::ui::test
