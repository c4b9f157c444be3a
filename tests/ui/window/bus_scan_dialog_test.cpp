// "Прибор → Найти приборы на линии…" against three simulated devices, through real clicks
// and keys: a scan stopped halfway, a scan of a range typed in, and a device chosen by a
// double-click becoming the base address and being read.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "exchange/line_state.h"
#include "model/program_line_settings.h"
#include "ui/bus_scan_dialog.h"
#include "ui/main_window.h"
#include "ui/traffic_panel.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

QAction* ActionTitled(const QList<QAction*>& actions, const QString& text) {
  for (QAction* a : actions)
    if (a->text() == text) return a;
  return nullptr;
}

void TypeInto(QSpinBox* box, const char* text) {
  box->setFocus();
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(box, QString::fromUtf8(text));
  QTest::keyClick(box, Qt::Key_Tab);
}

QStringList Addresses(QTableWidget* list) {
  QStringList out;
  for (int r = 0; r < list->rowCount(); ++r) out << list->item(r, 0)->text();
  return out;
}

void OpenFindDevices(MainWindow& window) {
  QMenuBar* bar = window.menuBar();
  QAction* device = ActionTitled(bar->actions(), QString::fromUtf8("&Прибор"));
  ASSERT_NE(device, nullptr);
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(device).center());
  QMenu* menu = device->menu();
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
  QAction* find = ActionTitled(menu->actions(), QString::fromUtf8("Найти приборы на линии…"));
  ASSERT_NE(find, nullptr);
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(find).center());
}

// Scans `from` ... `to` through the dialog and closes it. Returns the addresses found.
QStringList ScanThroughTheDialog(MainWindow& window, const char* from, const char* to) {
  bool started = false;
  QStringList found;
  const DialogAnswer<BusScanDialog> answer(
      [&](BusScanDialog& dialog) {
        if (!started) {
          TypeInto(dialog.from(), from);
          TypeInto(dialog.to(), to);
          QTest::mouseClick(dialog.start_stop(), Qt::LeftButton);
          started = true;
        } else if (!dialog.Running() && !dialog.status()->text().isEmpty()) {
          found = Addresses(dialog.list());
          QTest::keyClick(&dialog, Qt::Key_Escape);
        }
      },
      kDialogDeadlineMs);
  OpenFindDevices(window);
  return found;
}

QString LineStateShown(const MainWindow& window) {
  QString shown;
  const bool seen = QTest::qWaitFor(
      [&] {
        for (const QLabel* label : window.statusBar()->findChildren<QLabel*>())
          for (auto c : {exchange::LineCondition::kConnected, exchange::LineCondition::kNoAnswer})
            if (label->text() == QString::fromUtf8(exchange::LineConditionText(c)))
              shown = label->text();
        return !shown.isEmpty();
      },
      2000);
  return seen ? shown : QString();
}

// The scan's questions are counted apart from the line's requests, and the status bar
// says what the last questions heard, not what an earlier read did.
TEST_F(WindowTest, BusScanSilenceIsNoLineFailureAndNoLink) {
  const SimProcess sim(dir, {"--devices=16"});
  MakeDocument(sim.pty());
  MainWindow& window = MakeWindow();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  link::Parameter baud("bPS");
  baud.type_text = "int";
  ASSERT_EQ(doc->engine().Exchange(link::kOpRead, &baud), link::kExchangeOk);
  const link::LineCounters before = window.traffic()->stats().Snapshot();
  const auto connected = QString::fromUtf8(LineConditionText(exchange::LineCondition::kConnected));
  EXPECT_EQ(LineStateShown(window), connected);

  EXPECT_TRUE(ScanThroughTheDialog(window, "30", "40").isEmpty());
  EXPECT_EQ(LineStateShown(window),
            QString::fromUtf8(LineConditionText(exchange::LineCondition::kNoAnswer)));
  EXPECT_EQ(ScanThroughTheDialog(window, "10", "20"), QStringList{"16"});
  EXPECT_EQ(LineStateShown(window), connected);

  const link::LineCounters after = window.traffic()->stats().Snapshot();
  EXPECT_EQ(after.Failures(), before.Failures());
  EXPECT_EQ(after.requests, before.requests);
  EXPECT_GE(after.bus_scan_questions, 22u);
  EXPECT_EQ(after.bus_scan_found, 1u);
  for (const Shown& m : captured.shown) ADD_FAILURE() << m.caption << ": " << m.text;
}

TEST_F(WindowTest, FindDevicesStopsScansARangeAndReadsTheDeviceChosen) {
  const SimProcess sim(dir, {"--devices=16,17,40"});
  MakeDocument(sim.pty());
  MainWindow& window = MakeWindow();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  // The dialog is modal: a timer drives it once it is up. Steps: start the whole range,
  // stop it early, scan 10 ... 20, double-click 17.
  int step = 0;
  QString stopped_status, range_status;
  QStringList range_found;
  const DialogAnswer<BusScanDialog> answer(
      [&](BusScanDialog& d) {
        BusScanDialog* dialog = &d;
        switch (step) {
          case 0:
            EXPECT_EQ(dialog->from()->value(), 0);
            EXPECT_EQ(dialog->to()->value(), 255);
            QTest::mouseClick(dialog->start_stop(), Qt::LeftButton);
            ++step;
            break;
          case 1:
            if (dialog->bar()->value() < 3) return;
            EXPECT_EQ(dialog->start_stop()->text(), QString::fromUtf8(kBusScanStopText));
            QTest::mouseClick(dialog->start_stop(), Qt::LeftButton);
            ++step;
            break;
          case 2:
            if (dialog->Running()) return;
            stopped_status = dialog->status()->text();
            TypeInto(dialog->from(), "10");
            TypeInto(dialog->to(), "20");
            QTest::mouseClick(dialog->start_stop(), Qt::LeftButton);
            ++step;
            break;
          case 3: {
            if (dialog->Running() || dialog->status()->text().isEmpty()) return;
            range_status = dialog->status()->text();
            range_found = Addresses(dialog->list());
            const int row = range_found.indexOf("17");
            if (row < 0) {
              dialog->reject();
              return;
            }
            QTableWidget* list = dialog->list();
            const QRect cell = list->visualItemRect(list->item(row, 1));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
            ++step;
            break;
          }
          default:
            break;
        }
      },
      2 * kDialogDeadlineMs);
  OpenFindDevices(window);

  EXPECT_NE(stopped_status.indexOf(QString::fromUtf8("остановлен")), -1)
      << stopped_status.toStdString();
  EXPECT_EQ(range_found, (QStringList{"16", "17"})) << range_status.toStdString();
  ASSERT_EQ(step, 4);
  // The base address as the set-up dialog keeps it, and the device read at that address.
  EXPECT_EQ(doc->engine().program_line().FindParameter("Addr")->value, "17");
  EXPECT_EQ(store->ReadDword(platform::kSettingsKey, model::kAddressValue, 0), 17u);
  ASSERT_NE(doc->tree().network, nullptr);
  EXPECT_EQ(doc->tree().network->FindParameter("Addr")->value, "17");
  for (const Shown& m : captured.shown) ADD_FAILURE() << m.caption << ": " << m.text;
}

}  // namespace
}  // namespace vesk::ui::test
