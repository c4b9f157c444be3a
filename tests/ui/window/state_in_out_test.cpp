// The inputs and outputs window against the simulator: the indicators follow the device,
// "Сброс" zeroes a counter, "Вкл/Выкл все ВЭ" switches the outputs, and closing waits
// for the worker; against a silent device the window keeps its pace while its writes wait,
// and still closes soon.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "ui/io_state_dialog.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

QString Q(const char* text) {
  return QString::fromUtf8(text);
}

// Runs the dialog modally; `step` is called every 20 ms until it returns true, then the
// window is asked to close. Gives up (and closes) after `limit_ms`.
bool RunUntil(IoStateDialog& dialog, const std::function<bool()>& step, int limit_ms = 8000) {
  bool reached = false;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!reached && step()) {
      reached = true;
      dialog.CloseButton()->click();
    }
  });
  poll.start();
  QTimer::singleShot(limit_ms, &dialog, [&] { dialog.CloseButton()->click(); });
  dialog.exec();
  return reached;
}

TEST_F(WindowTest, StateInOutListsTheRowsOfThePollersTree) {
  MakeDocument();
  IoStateDialog dialog(*doc);
  EXPECT_EQ(dialog.windowTitle(), Q(kStateInOutTitle));
  ASSERT_GT(dialog.counters()->rowCount(), 0);
  ASSERT_GT(dialog.output_rows()->rowCount(), 0);
  EXPECT_EQ(dialog.counters()->horizontalHeaderItem(2)->text(), Q("Обнуление"));
  EXPECT_EQ(dialog.counters()->item(0, 1)->text(), Q("Счетчик 1"));
  EXPECT_EQ(dialog.output_rows()->item(0, 1)->text(), Q("ШИМ выход 1"));
  // Nothing read yet: a counter shows 0.
  EXPECT_EQ(dialog.counters()->item(0, 0)->text(), QStringLiteral("0"));
  ASSERT_NE(dialog.ResetButton(0), nullptr);
  EXPECT_EQ(dialog.ResetButton(0)->text(), Q("Сброс"));
  EXPECT_EQ(dialog.AllOutputsButton()->text(), Q("Вкл/Выкл все ВЭ"));
  // Never shown: no worker, so the window may close at once.
  dialog.reject();
  EXPECT_TRUE(dialog.state().WorkerEnded());
}

TEST_F(WindowTest, StateInOutShowsTheInputsOfTheDevice) {
  const SimProcess sim(dir);
  MakeDocument(sim.pty());
  captured.shown.clear();
  IoStateDialog dialog(*doc);
  bool some_lit = false;
  const bool read = RunUntil(dialog, [&] {
    bool all = true;
    for (int i = 0; i < exchange::kInputCount; ++i) {
      const QString s = dialog.Input(i)->state();
      if (s.isEmpty()) all = false;
      if (s == "1") {
        some_lit = true;
        EXPECT_EQ(dialog.Input(i)->look(), exchange::IndicatorLook::InputOn);
      }
    }
    return all && some_lit;
  });
  EXPECT_TRUE(read);
  // Closing waited for the worker.
  EXPECT_TRUE(dialog.state().WorkerEnded());
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(captured.shown.empty());
}

TEST_F(WindowTest, StateInOutResetsACounterAndSwitchesTheOutputs) {
  const SimProcess sim(dir);
  MakeDocument(sim.pty());
  captured.shown.clear();
  IoStateDialog dialog(*doc);
  int phase = 0;
  QString after_reset;
  QStringList after_on, after_off;
  auto outputs = [&] {
    QStringList values;
    for (int r = 0; r < dialog.output_rows()->rowCount(); ++r)
      values << dialog.output_rows()->item(r, 0)->text();
    return values;
  };
  // The writes go out on the worker: a phase that needs them done waits for its turn.
  auto WritesDone = [&] {
    if (dialog.state().WaitForWrites(std::chrono::milliseconds(0))) return true;
    --phase;
    return false;
  };
  const bool done = RunUntil(dialog, [&] {
    switch (phase++) {
      case 0:
        return false;
      case 5:  // a few refreshes in: the counters have counted
        dialog.ResetButton(0)->click();
        return false;
      case 6:
        if (!WritesDone()) return false;
        after_reset = dialog.counters()->item(0, 0)->text();
        dialog.state().WriteEdited(exchange::IoList::Outputs, 0, "0");
        dialog.AllOutputsButton()->click();  // one output at 0: all on
        return false;
      case 7:
        if (!WritesDone()) return false;
        dialog.Redraw();
        after_on = outputs();
        dialog.AllOutputsButton()->click();  // all on: all off
        return false;
      case 8:
        if (!WritesDone()) return false;
        dialog.Redraw();
        after_off = outputs();
        return true;
      default:
        return false;
    }
  });
  EXPECT_TRUE(done);
  EXPECT_EQ(after_reset, QStringLiteral("0"));
  ASSERT_FALSE(after_on.isEmpty());
  for (const QString& v : after_on) EXPECT_EQ(v.toDouble(), 1.0) << v.toStdString();
  for (const QString& v : after_off) EXPECT_EQ(v.toDouble(), 0.0) << v.toStdString();
  for (int i = 0; i < std::min<int>(8, after_off.size()); ++i)
    EXPECT_EQ(dialog.Output(i)->look(), exchange::IndicatorLook::Plain);
  EXPECT_TRUE(captured.shown.empty());
}

TEST_F(WindowTest, StateInOutKeepsItsPaceWhileWritesWaitForASilentDevice) {
  // Generous for a loaded machine under the sanitizers: one write to a silent device holds
  // the line for three reply times, eight of them for seconds.
  constexpr qint64 kStallLimitMs = 60;
  constexpr qint64 kCloseLimitMs = 300;
  const SimProcess sim(dir, {"--drop", "1"});
  MakeDocument(sim.pty(), true);
  captured.shown.clear();
  IoStateDialog dialog(*doc);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

  QElapsedTimer clock;
  qint64 last = 0, stall = 0;
  QTimer pace;
  QObject::connect(&pace, &QTimer::timeout, [&] {
    stall = std::max(stall, clock.elapsed() - last);
    last = clock.elapsed();
  });
  clock.start();
  pace.start(10);
  QTest::mouseClick(dialog.ResetButton(0), Qt::LeftButton);
  QTest::mouseClick(dialog.AllOutputsButton(), Qt::LeftButton);
  // The rows show what was asked for at once, long before the device could answer.
  EXPECT_EQ(dialog.counters()->item(0, 0)->text(), QStringLiteral("0"));
  for (int r = 0; r < dialog.output_rows()->rowCount(); ++r)
    EXPECT_EQ(dialog.output_rows()->item(r, 0)->text(), QStringLiteral("1"));
  // The reset's failure is shown by the window while the outputs' writes still wait.
  const std::string caption = "Ошибка записи \"r.cou\"";
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return std::any_of(captured.shown.begin(), captured.shown.end(),
                           [&](const Shown& s) { return s.caption == caption; });
      },
      10000));
  EXPECT_FALSE(dialog.state().WaitForWrites(std::chrono::milliseconds(0)));
  const qint64 stall_while_pending = stall;

  QTest::mouseClick(dialog.CloseButton(), Qt::LeftButton);
  const qint64 closed_at = clock.elapsed();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000));
  const qint64 close = clock.elapsed() - closed_at;
  pace.stop();

  EXPECT_LT(stall_while_pending - 10, kStallLimitMs);
  EXPECT_LT(close, kCloseLimitMs);
  EXPECT_TRUE(dialog.state().WorkerEnded());
  EXPECT_EQ(captured.shown.size(), 1u);
}

}  // namespace
}  // namespace vesk::ui::test
