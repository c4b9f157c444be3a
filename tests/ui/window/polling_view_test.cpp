// Polled parameters in the tree-list view: their rows, check boxes and periods, results
// drawn as they come, and results that must not be drawn.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTreeWidgetItemIterator>
#include <chrono>
#include <thread>

#include "exchange/polling.h"
#include "link/parameter.h"
#include "ui/command_ids.h"
#include "ui/main_window.h"
#include "ui/tree_list_view.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

std::vector<QTreeWidgetItem*> PolledRows(TreeListView& view) {
  std::vector<QTreeWidgetItem*> rows;
  for (QTreeWidgetItemIterator it(&view); *it; ++it)
    if (link::Parameter* p = TreeListView::ParameterOf(*it); p && p->IsPolled())
      rows.push_back(*it);
  return rows;
}

// Runs the windows' loop until `done` or the limit; returns whether `done` came true.
bool SpinUntil(const std::function<bool()>& done, int limit_ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < limit_ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

std::shared_ptr<exchange::PollSample> Sample(link::Parameter* p, const char* value,
                                             const char* error) {
  auto s = std::make_shared<exchange::PollSample>();
  s->parameter = p;
  s->value_text = value;
  s->error_text = error;
  s->start_time = s->end_time = exchange::PollSample::Clock::now();
  return s;
}

TEST_F(WindowTest, PolledRowsCarryCheckBoxesAndPeriods) {
  MakeDocument();
  MainWindow& frame = MakeWindow();
  TreeListView& view = *frame.view();
  ASSERT_NE(view.pollers_item(), nullptr);
  const std::vector<QTreeWidgetItem*> rows = PolledRows(view);
  ASSERT_FALSE(rows.empty());
  for (QTreeWidgetItem* row : rows) {
    EXPECT_TRUE(row->flags() & Qt::ItemIsUserCheckable);
    // A box is drawn only where the row holds a check state.
    EXPECT_TRUE(row->data(0, Qt::CheckStateRole).isValid());
    EXPECT_EQ(row->checkState(0), Qt::Unchecked);
    EXPECT_EQ(row->text(1), QString::fromUtf8("1000 мс"));
  }
  // The box switches the parameter's polling; the box follows what happened.
  link::Parameter* p = TreeListView::ParameterOf(rows[0]);
  rows[0]->setCheckState(0, Qt::Checked);
  EXPECT_TRUE(exchange::PollingActive(*p));
  rows[0]->setCheckState(0, Qt::Unchecked);
  EXPECT_FALSE(exchange::PollingActive(*p));
  EXPECT_TRUE(view.SetPolling(rows[0], true));
  EXPECT_EQ(rows[0]->checkState(0), Qt::Checked);
  EXPECT_TRUE(view.SetPolling(rows[0], false));
  EXPECT_EQ(rows[0]->checkState(0), Qt::Unchecked);
}

TEST_F(WindowTest, PolledParameterShowsAValueAfterOnePeriod) {
  const SimProcess sim(dir);
  MakeDocument(sim.pty());
  MainWindow& frame = MakeWindow();
  TreeListView& view = *frame.view();
  const std::vector<QTreeWidgetItem*> rows = PolledRows(view);
  ASSERT_FALSE(rows.empty());
  QTreeWidgetItem* row = rows[0];
  link::Parameter* p = TreeListView::ParameterOf(row);
  ASSERT_TRUE(exchange::SetPollPeriod(*p, "200"));
  QElapsedTimer clock;
  clock.start();
  row->setCheckState(0, Qt::Checked);
  const QString before = row->text(2);
  ASSERT_TRUE(SpinUntil([&] { return row->text(2) != before && !row->text(2).isEmpty(); }))
      << row->text(5).toStdString();
  // The first read comes one period after the switch, not at once.
  EXPECT_GE(clock.elapsed(), 150);
  EXPECT_TRUE(row->text(5).isEmpty()) << row->text(5).toStdString();
  EXPECT_EQ(row->foreground(2).color(), QColor(0, 0, 0));
  EXPECT_FALSE(row->toolTip(2).isEmpty());
  row->setCheckState(0, Qt::Unchecked);
  EXPECT_FALSE(exchange::PollingActive(*p));
}

TEST_F(WindowTest, PollResultsColourTheRowAndStaleOnesAreDropped) {
  MakeDocument();
  MainWindow& frame = MakeWindow();
  TreeListView& view = *frame.view();
  QTreeWidgetItem* row = PolledRows(view).at(0);
  link::Parameter* p = TreeListView::ParameterOf(row);

  view.ApplyPollResult(Sample(p, "", "Нет ответа"), view.PollSession());
  EXPECT_EQ(row->text(2), QString());
  EXPECT_EQ(row->text(5), QString::fromUtf8("Нет ответа"));
  EXPECT_EQ(row->foreground(0).color(), QColor(255, 0, 0));
  view.ApplyPollResult(Sample(p, "12", ""), view.PollSession());
  EXPECT_EQ(row->text(2), QStringLiteral("12"));
  EXPECT_TRUE(row->text(5).isEmpty());
  EXPECT_EQ(row->foreground(0).color(), QColor(0, 0, 0));
  // A failed poll keeps the last good value, greyed; the branch above follows its child.
  view.ApplyPollResult(Sample(p, "", "Нет ответа"), view.PollSession());
  EXPECT_EQ(row->text(2), QStringLiteral("12"));
  EXPECT_EQ(row->foreground(2).color(), QColor(128, 128, 128));
  EXPECT_TRUE(row->toolTip(2).startsWith(QString::fromUtf8("Последнее полученное значение")));
  EXPECT_EQ(row->parent()->foreground(0).color(), QColor(255, 0, 0));
  view.ApplyPollResult(Sample(p, "12", ""), view.PollSession());
  EXPECT_EQ(row->parent()->foreground(0).color(), QColor(0, 0, 0));

  // While an editor is open the row keeps what it shows.
  ASSERT_NE(view.OpenEditor(row, 1), nullptr);
  view.ApplyPollResult(Sample(p, "13", ""), view.PollSession());
  EXPECT_EQ(row->text(2), QStringLiteral("12"));
  view.CloseEditor();

  // A result taken from the tree before a new configuration replaced it touches nothing
  // (its record is gone by now).
  const uint64_t old_session = view.PollSession();
  auto stale = Sample(p, "14", "");
  frame.Action(cmd::kFileNew)->trigger();
  view.ApplyPollResult(stale, old_session);
  for (QTreeWidgetItem* r : PolledRows(view)) EXPECT_NE(r->text(2), QStringLiteral("14"));
}

}  // namespace
}  // namespace vesk::ui::test
