// What the window reports when a task does not go to its end, through real clicks and
// keys: a read cancelled with "Прервать!" while the device falls silent saves nothing, and
// a bus scan whose port vanishes ends with the reason and shows the port closed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <memory>

#include "exchange/exchange_engine.h"
#include "ui/bus_scan_dialog.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

QAction* ActionTitled(const QList<QAction*>& actions, const char* text) {
  for (QAction* a : actions)
    if (a->text() == QString::fromUtf8(text)) return a;
  return nullptr;
}

TEST_F(WindowTest, ReadCancelledWhileTheDeviceFallsSilentIsNotSaved) {
  // Enough answers for the link check at the start and a few reads, then silence.
  const SimProcess sim(dir, {"--mute-after", "8"});
  MakeDocument(sim.pty());
  MainWindow& window = MakeWindow();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  exchange::ExchangeEngine& engine = doc->engine();
  int saves = 0;
  exchange::EngineHooks hooks;
  hooks.save_request = [&saves] { ++saves; };
  hooks.send = [this](const std::function<void()>& work, platform::Event& stop) {
    return fe->SendUnlessStopped(work, stop);
  };
  engine.set_hooks(hooks);
  engine.set_unattended({true, true, false, nullptr});
  engine.SetProgressSink(&fe->progress_window());

  bool pressed = false;
  QObject::connect(&fe->progress_window(), &ProgressWindow::Opened, [&] {
    QTimer::singleShot(30, [&] {
      if (ProgressDialog* d = fe->progress_window().dialog()) {
        QTest::mouseClick(d->CancelButton(), Qt::LeftButton);
        pressed = true;
      }
    });
  });
  QTest::keyClick(&window, Qt::Key_R, Qt::AltModifier);  // "Прочитать все параметры"

  EXPECT_TRUE(pressed);
  EXPECT_TRUE(engine.TaskCancelled());
  EXPECT_EQ(saves, 0);
}

TEST_F(WindowTest, BusScanOfAVanishingPortEndsWithTheReasonAndThePortShowsClosed) {
  auto sim = std::make_unique<SimProcess>(dir, std::vector<std::string>{"--devices=16,17,40"});
  const std::string pty = sim->pty();
  MakeDocument(pty);
  MainWindow& window = MakeWindow();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  int step = 0, ticks = 0;
  QString status;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<BusScanDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    if (++ticks > 1500) {
      ADD_FAILURE() << "the dialog did not get through step " << step;
      dialog->reject();
      return;
    }
    if (step == 0) {
      QTest::mouseClick(dialog->start_stop(), Qt::LeftButton);
      ++step;
    } else if (step == 1 && dialog->bar()->value() >= 8) {
      sim.reset();  // the terminal vanishes in the middle of the bus scan
      ++step;
    } else if (step == 2 && !dialog->Running() && !dialog->status()->text().isEmpty()) {
      status = dialog->status()->text();
      ++step;
      dialog->reject();
    }
  });
  poll.start(10);
  QMenuBar* bar = window.menuBar();
  QAction* device = ActionTitled(bar->actions(), "&Прибор");
  ASSERT_NE(device, nullptr);
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(device).center());
  QMenu* menu = device->menu();
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
  QAction* find = ActionTitled(menu->actions(), "Найти приборы на линии…");
  ASSERT_NE(find, nullptr);
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(find).center());
  poll.stop();

  ASSERT_EQ(step, 3);
  EXPECT_NE(status.indexOf(QString::fromStdString("Порт " + pty + " потерян: ")), -1)
      << status.toStdString();
  EXPECT_EQ(QString::fromStdString(doc->engine().LostPortText()),
            status.mid(status.indexOf(QStringLiteral("Порт "))));
  // The status bar follows within its refresh.
  const auto labels = window.statusBar()->findChildren<QLabel*>();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        for (QLabel* l : labels)
          if (l->text() ==
              QString::fromUtf8(exchange::LineConditionText(exchange::LineCondition::kPortClosed)))
            return true;
        return false;
      },
      3000));
}

}  // namespace
}  // namespace vesk::ui::test
