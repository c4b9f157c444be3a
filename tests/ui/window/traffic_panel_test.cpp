// The traffic panel over a link to the simulator, through its buttons and fields.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "link/device_link.h"
#include "ui/main_window.h"
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
