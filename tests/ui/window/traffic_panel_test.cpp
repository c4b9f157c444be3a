// The traffic panel over a link to the simulator, through its buttons and fields.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <sys/timerfd.h>
#include "link/device_link.h"

#include <QMenuBar>
#include <QTreeWidget>

#include "app/csv_text.h"
#include "ui/main_window.h"
#ifdef VESK_HAVE_CHARTS
#include <QChartView>

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
  QTest::qWait(300);
  ASSERT_EQ(Rows(panel), 4);
  const QAbstractItemModel& rows = *panel.table()->model();
  EXPECT_EQ(rows.index(1, TrafficModel::kName).data().toString(), QStringLiteral("bPS"));
  EXPECT_EQ(rows.index(1, TrafficModel::kDirection).data().toString(), QStringLiteral("←"));
  EXPECT_EQ(rows.index(1, TrafficModel::kText).data().toString(), QStringLiteral("115200"));

  QTest::mouseClick(panel.pause_button(), Qt::LeftButton);
  ReadBaud(*doc, 1);
  QTest::qWait(300);
  EXPECT_EQ(Rows(panel), 4);  // held while paused
  QTest::mouseClick(panel.pause_button(), Qt::LeftButton);
  QTest::qWait(300);
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

#ifdef VESK_HAVE_CHARTS
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
  std::string error;
  ASSERT_TRUE(plots.StartLog(dir / "polled.csv", error)) << error;

  link::Parameter polled("bPS");  // stands for an operative parameter: it holds a timer
  polled.type_text = "int";
  polled.poll_timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
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
  tree.setCurrentItem(tree.topLevelItem(0));
  QTest::keyClick(&tree, Qt::Key_Space);  // tick it
  EXPECT_EQ(plots.ShownCount("bPS"), 3);
  // The window was shown before it had a series: the time axis is labelled all the same.
  EXPECT_GT(TimeLabelPixels(plots), 20);

  QTest::mouseClick(plots.pause_button(), Qt::LeftButton);
  ASSERT_EQ(doc->engine().Exchange(link::kOpRead, &polled), 0);
  QTest::qWait(400);
  EXPECT_EQ(plots.PointCount("bPS"), 4);
  EXPECT_EQ(plots.ShownCount("bPS"), 3);  // paused
  QTest::mouseClick(plots.pause_button(), Qt::LeftButton);
  EXPECT_EQ(plots.ShownCount("bPS"), 4);

  plots.StopLog();
  const QStringList rows = [&] {
    QFile f(QString::fromStdString(dir / "polled.csv"));
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
  }();
  ASSERT_EQ(rows.size(), 5);
  EXPECT_EQ(rows[0], QStringLiteral("time,parameter,value"));
  EXPECT_TRUE(rows[4].endsWith(QStringLiteral(",bPS,115200"))) << rows[4].toStdString();
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
