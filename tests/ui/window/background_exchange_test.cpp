// The window never waits for the wire: while an expanded branch is read, an edited value is
// written at once or the link is checked with a device that never answers, or a read-all
// goes to a network line whose far end is silent, the window's timer keeps its pace, and
// Escape ends the work soon, through real keys and clicks.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "app/cell_commit.h"
#include "app/device_actions.h"
#include "exchange/device_commands.h"
#include "exchange/exchange_engine.h"
#include "loopback_listener.h"
#include "ui/exchange_status.h"
#include "ui/main_window.h"
#include "ui/tree_list_view.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

// Generous for a loaded machine under the sanitizers; the stall benchmark measures the
// real figures.
constexpr qint64 kStallLimitMs = 300;
constexpr qint64 kStopLimitMs = 600;
// Soon after the work shows: a write or a link check at 9600 is on the wire for about
// half a second, and Escape must come while it still is, on a loaded machine too.
constexpr int kEscapeAfterMs = 100;

enum class Action { Expand, ReadAll, ImmediateWrite, CheckLink };

struct SilentLine {
  const char* name;
  const char* scheme;  // empty: the simulator without answers
  Action action;
};

class BackgroundExchange : public WindowTest, public ::testing::WithParamInterface<SilentLine> {};

TEST_P(BackgroundExchange, WindowKeepsItsPaceAndEscapeEndsTheWork) {
  const Action action = GetParam().action;
  const bool local = *GetParam().scheme == '\0';
  vesk::test::LoopbackListener listener;
  std::unique_ptr<SimProcess> sim;
  if (local) sim = std::make_unique<SimProcess>(dir, std::vector<std::string>{"--drop", "1"});
  MakeDocument(local ? sim->pty() : GetParam().scheme + listener.Address(), true);
  if (local) ReopenAt("9600");
  // Only the branch's own read is wanted on the wire: the rows opened to type into stay
  // unread.
  doc->modes().auto_read.store(action == Action::Expand || action == Action::ReadAll);
  doc->modes().immediate_write.store(action == Action::ImmediateWrite);
  MainWindow& window = MakeWindow();
  // The progress window and the hand-over to the window, as the application sets them.
  exchange::ExchangeEngine& engine = doc->engine();
  engine.SetProgressSink(&fe->progress_window());
  exchange::EngineHooks hooks;
  hooks.send = [this](const std::function<void()>& work, platform::Event& stop) {
    return fe->SendUnlessStopped(work, stop);
  };
  engine.set_hooks(hooks);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ExchangeStatus& status = fe->exchange_status();
  TreeListView& view = *window.view();
  QTreeWidgetItem* branch = RowCaptioned(view, QStringLiteral("Сетевые параметры"));
  ASSERT_NE(branch, nullptr);
  view.collapseItem(branch);
  view.setCurrentItem(branch);
  view.setFocus();
  QTreeWidgetItem* edited = EditableTextRow(view);
  ASSERT_NE(edited, nullptr);
  link::Parameter& record = *TreeListView::ParameterOf(edited);

  QElapsedTimer clock;
  qint64 last = 0, stall = 0, escaped_at = -1;
  QString shown;
  QTimer pace;
  QObject::connect(&pace, &QTimer::timeout, [&] {
    stall = std::max(stall, clock.elapsed() - last);
    last = clock.elapsed();
  });
  auto escape = [&] {
    const QLabel* label = window.statusBar()->findChild<QLabel*>(QStringLiteral("exchange"));
    shown = label ? label->text() : QString();
    QWidget* modal = QApplication::activeModalWidget();
    escaped_at = clock.elapsed();
    QTest::keyClick(modal ? modal : static_cast<QWidget*>(&view), Qt::Key_Escape);
  };
  // Escape comes a while after the work shows: in the status bar, or as the progress
  // window (whose own loop the key that started it does not leave).
  qint64 busy_since = -1;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (busy_since < 0 && (status.IsBusy() || QApplication::activeModalWidget()))
      busy_since = clock.elapsed();
    if (busy_since >= 0 && escaped_at < 0 && clock.elapsed() - busy_since >= kEscapeAfterMs)
      escape();
  });
  clock.start();
  pace.start(10);
  watch.start(20);
  switch (action) {
    case Action::Expand:
      QTest::keyClick(&view, Qt::Key_Plus);
      break;
    case Action::ReadAll:
      QTest::keyClick(&window, Qt::Key_R, Qt::AltModifier);  // "Прочитать все параметры"
      break;
    case Action::ImmediateWrite:
      TypeIntoCell(view, edited, QString::number(static_cast<int>(record.minimum)), Qt::Key_Return);
      break;
    case Action::CheckLink:
      QTest::keyClick(&window, Qt::Key_N, Qt::AltModifier);  // "Проверка связи с прибором"
      break;
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return escaped_at >= 0 && !status.IsBusy(); }, 20000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !engine.TaskRunning(); }, 20000));
  const qint64 stop = clock.elapsed() - escaped_at;
  pace.stop();
  watch.stop();
  QTest::qWait(50);  // the report that follows the end

  EXPECT_LT(stall - 10, kStallLimitMs);
  EXPECT_LT(stop, kStopLimitMs);
  EXPECT_TRUE(engine.TaskCancelled());
  switch (action) {
    case Action::Expand:
      EXPECT_TRUE(shown.startsWith(QString::fromUtf8(kBranchReadStatus).arg(branch->text(0))))
          << shown.toStdString();
      EXPECT_EQ(view.PendingReads(), 0u);
      break;
    case Action::ReadAll:
      break;
    case Action::ImmediateWrite:
      // What did not reach the device says so, and stays marked as changed.
      EXPECT_EQ(shown,
                QString::fromUtf8(kValueWriteStatus).arg(QString::fromStdString(record.caption)));
      ASSERT_FALSE(captured.shown.empty());
      EXPECT_EQ(captured.shown.back().caption, app::kWriteFailedCaption);
      EXPECT_TRUE(record.value_changed);
      EXPECT_FALSE(record.note.empty());
      break;
    case Action::CheckLink:
      EXPECT_EQ(shown, QString::fromUtf8(app::kLinkCheckStatus));
      ASSERT_FALSE(captured.shown.empty());
      EXPECT_EQ(captured.shown.back().caption, exchange::kErrorCaption);
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(Silent, BackgroundExchange,
                         ::testing::Values(SilentLine{"ExpandedBranch", "", Action::Expand},
                                           SilentLine{"ReadAllOverTcp", "tcp://", Action::ReadAll},
                                           SilentLine{"ReadAllOverRfc2217", "rfc2217://",
                                                      Action::ReadAll},
                                           SilentLine{"ImmediateWrite", "", Action::ImmediateWrite},
                                           SilentLine{"LinkCheck", "", Action::CheckLink}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vesk::ui::test
