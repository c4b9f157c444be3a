// The traffic panel over a link to the simulator, through its buttons and fields.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include "link/device_link.h"

#include <QMenuBar>
#include <QTreeWidget>

#include "app/csv_text.h"
#include "ui/main_window.h"
#ifdef VESK_HAVE_CHARTS
#include <QChartView>
#include <QDateTimeAxis>
#include <QValueAxis>
#include <cmath>

#include "ui/plot_window.h"
#endif
#include "ui/traffic_model.h"
#include "ui/traffic_panel.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

void ReadBaud(app::Document& doc, int times) {
  link::Parameter p("bPS");
  p.type_text = "int";
  for (int i = 0; i < times; ++i) ASSERT_EQ(doc.engine().Exchange(link::kOpRead, &p), 0);
}

int Rows(const TrafficPanel& panel) {
  return panel.table()->model()->rowCount();
}

TEST_F(WindowTest, TrafficPanelShowsPausesAndFiltersTheLine) {
  SimProcess sim(dir);
  MakeDocument(sim.pty());
  MainWindow& window = MakeWindow();
  window.show();
  TrafficPanel& panel = *window.traffic();
  panel.toggleViewAction()->trigger();  // "Линия" → "Обмен с прибором"
  ASSERT_TRUE(panel.isVisible());
  panel.model().Clear();  // whatever the start-up exchanged

  ReadBaud(*doc, 2);
  QTest::qWait(600);  // past the panel's next refresh
  ASSERT_EQ(Rows(panel), 4);
  const QAbstractItemModel& rows = *panel.table()->model();
  EXPECT_EQ(rows.index(1, TrafficModel::kName).data().toString(), QStringLiteral("bPS"));
  EXPECT_EQ(rows.index(1, TrafficModel::kDirection).data().toString(), QStringLiteral("←"));
  EXPECT_EQ(rows.index(1, TrafficModel::kText).data().toString(), QStringLiteral("115200"));

  QTest::mouseClick(panel.pause_button(), Qt::LeftButton);
  ReadBaud(*doc, 1);
  QTest::qWait(600);          // past the panel's next refresh
  EXPECT_EQ(Rows(panel), 4);  // held while paused
  QTest::mouseClick(panel.pause_button(), Qt::LeftButton);
  QTest::qWait(600);  // past the panel's next refresh
  EXPECT_EQ(Rows(panel), 6);

  QTest::keyClicks(panel.name_filter(), "Addr");
  EXPECT_EQ(Rows(panel), 0);
  panel.name_filter()->clear();
  EXPECT_EQ(Rows(panel), 6);
  panel.outcome_filter()->setFocus();
  QTest::keyClick(panel.outcome_filter(), Qt::Key_End);  // "Сбои"
  EXPECT_EQ(Rows(panel), 0);
  QTest::keyClick(panel.outcome_filter(), Qt::Key_Home);

  const std::string csv = dir / "traffic.csv";
  QString error;
  ASSERT_TRUE(panel.SaveRows(QString::fromStdString(csv), error)) << error.toStdString();
  QTest::mouseClick(panel.clear_button(), Qt::LeftButton);
  EXPECT_EQ(Rows(panel), 0);
  EXPECT_EQ(panel.stats().Snapshot().requests, 3u);
}

// Rows whose text column holds `part`.
int RowsWith(const TrafficPanel& panel, const QString& part) {
  const QAbstractItemModel& rows = *panel.table()->model();
  int found = 0;
  for (int r = 0; r < rows.rowCount(); ++r)
    found += rows.index(r, TrafficModel::kText).data().toString().contains(part);
  return found;
}

bool AtTheEnd(const TrafficPanel& panel) {
  const QScrollBar& bar = *panel.table()->verticalScrollBar();
  return bar.maximum() > 0 && bar.value() == bar.maximum();
}

TEST_F(WindowTest, TrafficFilterIgnoresCaseKeepsTheEndAndNamesWhoseAttributesFailed) {
  SimProcess sim(dir);
  MakeDocument(sim.pty());
  MainWindow& window = MakeWindow();
  window.show();
  TrafficPanel& panel = *window.traffic();
  panel.toggleViewAction()->trigger();
  panel.model().Clear();
  link::Parameter len("A.Len");
  len.type_text = "int";
  for (int i = 0; i < 30; ++i) {
    ReadBaud(*doc, 1);
    ASSERT_EQ(doc->engine().Exchange(link::kOpRead, &len), 0);
  }
  link::Parameter filter("FiLt");  // its attributes, for a copy the device does not have
  filter.type_text = "int";
  filter.has_attributes = true;
  filter.indexed = true;
  filter.linear_index = 250;
  EXPECT_NE(doc->engine().Exchange(link::kOpRead, &filter), 0);
  QTest::qWait(600);  // past the panel's next refresh
  ASSERT_EQ(Rows(panel), 122);
  ASSERT_TRUE(panel.follow_box()->isChecked());

  panel.name_filter()->setFocus();
  QTest::keyClicks(panel.name_filter(), "bps");
  EXPECT_EQ(Rows(panel), 60);
  EXPECT_TRUE(AtTheEnd(panel));
  QTest::keySequence(panel.name_filter(), QKeySequence::SelectAll);
  QTest::keyClick(panel.name_filter(), Qt::Key_Backspace);
  EXPECT_EQ(Rows(panel), 122);
  EXPECT_TRUE(AtTheEnd(panel));

  panel.outcome_filter()->setFocus();
  QTest::keyClick(panel.outcome_filter(), Qt::Key_End);  // "Сбои"
  ASSERT_EQ(Rows(panel), 1);
  const QAbstractItemModel& rows = *panel.table()->model();
  EXPECT_EQ(rows.index(0, TrafficModel::kName).data().toString(), QStringLiteral("M.s.t.r."));
  EXPECT_TRUE(
      rows.index(0, TrafficModel::kText).data().toString().contains(QStringLiteral("FiLt")));
  panel.name_filter()->setFocus();
  QTest::keyClicks(panel.name_filter(), "filt");  // the attributes belong to it
  EXPECT_EQ(Rows(panel), 1);

  // A time a day into the run is shown whole.
  std::vector<link::LineEvent> late(1);
  late[0].time_ns = 86399'123456'000;
  late[0].name = "FiLt";
  late[0].kind = link::LineEventKind::kTimeout;
  panel.model().Append(late);
  ASSERT_EQ(Rows(panel), 2);
  const QString time = rows.index(1, TrafficModel::kTime).data().toString();
  EXPECT_GT(panel.table()->columnWidth(TrafficModel::kTime),
            panel.table()->fontMetrics().horizontalAdvance(time) + 6);
}

// Saves the panel through its "Сохранить…" dialog as `name` in the `filter`-th kind: the
// kind chosen and the name typed, then Return, or Escape while the completion list that
// typing opens is up.
void SaveThroughDialog(TrafficPanel& panel, const std::string& name, int filter) {
  bool typed = false;
  DialogAnswer<QFileDialog> answer([&](QFileDialog& dialog) {
    auto* kinds = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_TRUE(kinds && edit);
    QAbstractItemView* completions = edit->completer() ? edit->completer()->popup() : nullptr;
    if (!typed) {
      typed = true;
      for (int i = kinds->currentIndex(); i < filter; ++i) QTest::keyClick(kinds, Qt::Key_Down);
      edit->selectAll();
      QTest::keyClicks(edit, QString::fromStdString(name));
    } else if (completions && completions->isVisible()) {
      QTest::keyClick(completions, Qt::Key_Escape);
    } else {
      QTest::keyClick(edit, Qt::Key_Return);
    }
  });
  QTest::mouseClick(panel.save_button(), Qt::LeftButton);
  EXPECT_TRUE(answer.answered());
}

QStringList FileLines(const std::string& path) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

TEST_F(WindowTest, TrafficSaveKeepsRetryMarksAndGivesTheChosenKindItsExtension) {
  SimProcess sim(dir, {"--garbage", "0.5", "--seed", "7"});  // lost starts: retries
  MakeDocument(sim.pty());
  MainWindow& window = MakeWindow();
  window.show();
  TrafficPanel& panel = *window.traffic();
  panel.toggleViewAction()->trigger();
  panel.model().Clear();
  link::Parameter baud("bPS");
  baud.type_text = "int";
  for (int i = 0; i < 10; ++i) doc->engine().Exchange(link::kOpRead, &baud);
  QTest::qWait(600);  // past the panel's next refresh
  const int retries = RowsWith(panel, QStringLiteral("попытка 2"));
  ASSERT_GT(retries, 0);

  SaveThroughDialog(panel, dir / "traffic", 0);
  const QStringList csv = FileLines(dir / "traffic.csv");
  ASSERT_EQ(csv.size(), Rows(panel) + 1);
  EXPECT_EQ(csv.filter(QStringLiteral("попытка 2")).size(), retries);

  SaveThroughDialog(panel, dir / "trace", 1);  // "Текст (*.txt)"
  const QStringList text = FileLines(dir / "trace.txt");
  ASSERT_EQ(text.size(), Rows(panel));
  EXPECT_EQ(text.filter(QStringLiteral("попытка 2")).size(), retries);
}

#ifdef VESK_HAVE_CHARTS
QStringList CsvLines(const std::string& path) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

// Dark pixels in the band under the plot area, where the time axis writes its labels.
int TimeLabelPixels(PlotWindow& plots) {
  auto* view = plots.findChild<QChartView*>();
  if (!view) return 0;
  const QImage image = view->grab().toImage();
  const QRect area = view->mapFromScene(view->chart()->plotArea()).boundingRect();
  int dark = 0;
  for (int y = area.bottom() + 6; y < area.bottom() + 20 && y < image.height(); ++y)
    for (int x = area.left(); x <= area.right() && x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 160) ++dark;
  return dark;
}

TEST_F(WindowTest, PlotGetsPointsOfTheTickedSeriesAndLogsThem) {
  SimProcess sim(dir);
  MakeDocument(sim.pty());
  MainWindow& window = MakeWindow();
  window.show();
  for (QAction* menu : window.menuBar()->actions())
    if (menu->text() == QStringLiteral("&Линия"))
      for (QAction* item : menu->menu()->actions())
        if (item->text() == QStringLiteral("Графики")) item->trigger();
  ASSERT_NE(window.plots(), nullptr);
  PlotWindow& plots = *window.plots();
  ASSERT_TRUE(plots.isVisible());
  link::Parameter polled("bPS");  // stands for an operative parameter
  polled.type_text = "int";
  polled.polled = true;
  link::Parameter once("A.Len");  // not polled: no series
  once.type_text = "int";
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(doc->engine().Exchange(link::kOpRead, &polled), 0);
    ASSERT_EQ(doc->engine().Exchange(link::kOpRead, &once), 0);
  }
  QTest::qWait(400);
  EXPECT_EQ(plots.PointCount("bPS"), 3);
  EXPECT_EQ(plots.PointCount("A.Len"), -1);
  EXPECT_EQ(plots.ShownCount("bPS"), 0);  // not ticked yet

  QTreeWidget& tree = *plots.series_tree();
  tree.setFocus();
  tree.setCurrentItem(
      tree.findItems(QStringLiteral("bPS"), Qt::MatchExactly | Qt::MatchRecursive).value(0));
  QTest::keyClick(&tree, Qt::Key_Space);  // tick it
  EXPECT_EQ(plots.ShownCount("bPS"), 3);
  // The window was shown before it had a series: the time axis is labelled all the same.
  EXPECT_GT(TimeLabelPixels(plots), 20);
  // The ticks fall on round values.
  const QDateTimeAxis& time = *plots.time_axis();
  const qint64 first = time.min().toMSecsSinceEpoch(), last = time.max().toMSecsSinceEpoch();
  EXPECT_EQ(first % 1000, 0);
  EXPECT_EQ((last - first) / (time.tickCount() - 1) % 1000, 0);
  const QValueAxis& values = *plots.value_axis();
  const double step = (values.max() - values.min()) / (values.tickCount() - 1);
  EXPECT_DOUBLE_EQ(std::round(values.min() / step) * step, values.min());
  const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
  EXPECT_TRUE(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 ||
              std::abs(mantissa - 2.5) < 1e-9 || std::abs(mantissa - 5) < 1e-9)
      << step;

  // Recording: the ticked series under their names, the header at once; the button says
  // that it records and stops it.
  std::string error;
  ASSERT_TRUE(plots.StartLog(dir / "polled.csv", error)) << error;
  EXPECT_EQ(plots.log_button()->text(), QString::fromUtf8(kLogStopCaption));
  EXPECT_EQ(CsvLines(dir / "polled.csv"), QStringList{QStringLiteral("time,bPS")});

  QTest::mouseClick(plots.pause_button(), Qt::LeftButton);
  ASSERT_EQ(doc->engine().Exchange(link::kOpRead, &polled), 0);
  QTest::qWait(400);
  EXPECT_EQ(plots.PointCount("bPS"), 4);
  EXPECT_EQ(plots.ShownCount("bPS"), 3);  // paused
  QTest::mouseClick(plots.pause_button(), Qt::LeftButton);
  EXPECT_EQ(plots.ShownCount("bPS"), 4);

  QTest::mouseClick(plots.log_button(), Qt::LeftButton);
  EXPECT_EQ(plots.log_button()->text(), QString::fromUtf8(kLogStartCaption));
  ASSERT_EQ(doc->engine().Exchange(link::kOpRead, &polled), 0);
  QTest::qWait(400);
  const QStringList rows = CsvLines(dir / "polled.csv");
  ASSERT_EQ(rows.size(), 2);
  EXPECT_TRUE(rows[1].endsWith(QStringLiteral(",115200"))) << rows[1].toStdString();
}

TEST_F(WindowTest, PlotPollsATickedSeriesItselfUnderItsCaption) {
  SimProcess sim(dir);
  MakeDocument(sim.pty());
  MainWindow& window = MakeWindow();
  window.show();
  window.findChild<QAction*>(QStringLiteral("plots_action"))->trigger();
  ASSERT_NE(window.plots(), nullptr);
  PlotWindow& plots = *window.plots();
  // The second counter, as the tree names it, beside its short name and index.
  QTreeWidget& list = *plots.series_tree();
  const QList<QTreeWidgetItem*> found =
      list.findItems(QStringLiteral("(r.cou:1)"), Qt::MatchEndsWith | Qt::MatchRecursive);
  ASSERT_EQ(found.size(), 1);
  EXPECT_TRUE(found[0]->text(0).contains(QStringLiteral("Счетчик №2")))
      << found[0]->text(0).toStdString();
  EXPECT_EQ(plots.Label("r.cou:1"), found[0]->text(0));

  // Ticked: it is polled, the plot fills, and the window answers clicks meanwhile.
  list.setFocus();
  list.setCurrentItem(found[0]);
  QTest::keyClick(&list, Qt::Key_Space);
  QTRY_VERIFY_WITH_TIMEOUT(plots.PointCount("r.cou:1") >= 2, 10000);
  QTest::mouseClick(plots.pause_button(), Qt::LeftButton);
  EXPECT_TRUE(plots.pause_button()->isChecked());
  QTest::mouseClick(plots.pause_button(), Qt::LeftButton);
  EXPECT_GE(plots.ShownCount("r.cou:1"), 2);
  // Unticked: its polling ends.
  QTest::keyClick(&list, Qt::Key_Space);
  QTest::qWait(500);
  const int points = plots.PointCount("r.cou:1");
  QTest::qWait(1500);
  EXPECT_LE(plots.PointCount("r.cou:1"), points + 1);
}

// Dark pixels of the picture above the plot area, where the chart's title goes.
int TitlePixels(const QImage& image, const QRect& area) {
  int dark = 0;
  for (int y = 0; y < area.top() - 4; ++y)
    for (int x = area.left(); x <= area.right() && x < image.width(); ++x)
      dark += qGray(image.pixel(x, y)) < 160;
  return dark;
}

TEST_F(WindowTest, PlotBreaksTheLineWhereAReadFailedOrNoneCame) {
  SimProcess sim(dir, {"--corrupt", "0.3", "--seed", "5"});  // some replies spoilt
  MakeDocument(sim.pty());
  MainWindow& window = MakeWindow();
  window.show();
  window.findChild<QAction*>(QStringLiteral("plots_action"))->trigger();
  ASSERT_NE(window.plots(), nullptr);
  PlotWindow& plots = *window.plots();
  link::Parameter polled("bPS");
  polled.type_text = "int";
  polled.polled = true;
  // Pieces: runs of good reads, each ended by a failed one.
  int pieces = 0, good = 0;
  bool last_good = false;
  std::string seen;
  for (int i = 0; i < 30; ++i) {
    const bool ok = doc->engine().Exchange(link::kOpRead, &polled) == 0;
    pieces += ok && !last_good;
    good += ok;
    last_good = ok;
    seen += ok ? '+' : '-';
  }
  ASSERT_GT(pieces, 1);
  QTest::qWait(1200);  // then none for a while: the next value starts a piece of its own
  ASSERT_EQ(doc->engine().Exchange(link::kOpRead, &polled), 0);
  ++pieces;
  ++good;
  QTest::qWait(400);
  QTreeWidget& tree = *plots.series_tree();
  tree.setFocus();
  tree.setCurrentItem(
      tree.findItems(QStringLiteral("bPS"), Qt::MatchExactly | Qt::MatchRecursive).value(0));
  QTest::keyClick(&tree, Qt::Key_Space);
  EXPECT_EQ(plots.ShownCount("bPS"), good);
  EXPECT_EQ(plots.ShownPieces("bPS"), pieces) << seen;

  // The picture names the port and the address above the plot.
  auto* view = plots.findChild<QChartView*>();
  const QRect area = view->mapFromScene(view->chart()->plotArea()).boundingRect();
  EXPECT_GT(TitlePixels(plots.Picture(), area), TitlePixels(view->grab().toImage(), area) + 50);
}
#endif

TEST(TrafficModel, KeepsOnlyTheNewestEvents) {
  TrafficModel model(10);
  for (int batch = 0; batch < 3; ++batch) {
    std::vector<link::LineEvent> events(9);
    for (int i = 0; i < 9; ++i) events[static_cast<size_t>(i)].index = batch * 9 + i;
    model.Append(events);
  }
  ASSERT_EQ(model.rowCount(), 10);
  EXPECT_EQ(model.At(0).index, 17);
  EXPECT_EQ(model.At(9).index, 26);
}

}  // namespace
}  // namespace vesk::ui::test
