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
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "model/program_line_settings.h"
#include "ui/bus_scan_dialog.h"
#include "ui/main_window.h"
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
  QMenuBar* bar = window.menuBar();
  QAction* device = ActionTitled(bar->actions(), QString::fromUtf8("&Прибор"));
  ASSERT_NE(device, nullptr);
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(device).center());
  QMenu* menu = device->menu();
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
  QAction* find = ActionTitled(menu->actions(), QString::fromUtf8("Найти приборы на линии…"));
  ASSERT_NE(find, nullptr);
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(find).center());

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
