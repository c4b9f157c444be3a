// The set-up dialog over its worker and the network-mode dialog.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <set>
#include <thread>

#include "exchange/device_commands.h"
#include "exchange/exchange_engine.h"
#include "ui/net_mode_dialog.h"
#include "ui/progress_window.h"
#include "ui/setup_dialog.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

TEST_F(WindowTest, SetupDialogShowsTheFailedProbeAndExits) {
  MakeDocument();
  SetupDialog dialog(doc->engine(), true, nullptr,
                     [](exchange::ExchangeEngine&, platform::Event*) { return false; });
  QString status;
  int rows = 0;
  // "Установить связь" probes; once the worker has reported the failure, "Выход" ends the dialog.
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (dialog.status()->text() == QString::fromUtf8(exchange::kLinkFailedText)) {
      status = dialog.status()->text();
      rows = dialog.table()->rowCount();
      dialog.Button(exchange::kSetupExit)->click();
    }
  });
  poll.start();
  QTimer::singleShot(0, &dialog, [&] { dialog.Button(exchange::kSetupConnect)->click(); });
  QTimer::singleShot(10000, &dialog, [&] { dialog.Button(exchange::kSetupExit)->click(); });
  EXPECT_EQ(dialog.RunModal(), exchange::SetupOutcome::Exit);
  EXPECT_EQ(status, QString::fromUtf8(exchange::kLinkFailedText));
  EXPECT_GT(rows, 0);
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(exchange::kSetupTitle));
}

TEST_F(WindowTest, SetupDialogOffersListsAndRefusesNonsense) {
  MakeDocument();
  SetupDialog dialog(doc->engine(), true, nullptr,
                     [](exchange::ExchangeEngine&, platform::Event*) { return false; });
  QTableWidget& table = *dialog.table();
  auto row_of = [&](const char* caption) {
    for (int r = 0; r < table.rowCount(); ++r)
      if (table.item(r, 0)->text() == QString::fromUtf8(caption)) return r;
    return -1;
  };
  auto edit = [&](int row) {
    const QRect cell = table.visualRect(table.model()->index(row, 1));
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell.center());
    QTest::qWait(QApplication::doubleClickInterval() + 20);
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, cell.center());
    return table.cellWidget(row, 1);
  };
  QTimer::singleShot(0, &dialog, [&] {
    const int rate = row_of("Скорость обмена");
    ASSERT_GE(rate, 0);
    auto* rates = qobject_cast<QComboBox*>(edit(rate));
    ASSERT_NE(rates, nullptr);
    EXPECT_FALSE(rates->isEditable());
    EXPECT_EQ(rates->count(), 9);
    const bool last = rates->currentIndex() == rates->count() - 1;
    const QString next = rates->itemText(rates->currentIndex() + (last ? -1 : 1));
    QTest::keyClick(rates, last ? Qt::Key_Up : Qt::Key_Down);  // a closed list takes the next
    QTest::qWait(1);
    EXPECT_EQ(table.item(rate, 1)->text(), next);
    EXPECT_EQ(table.cellWidget(rate, 1), nullptr);

    // The address is typed; "abc" is refused where it is typed and the editor stays.
    const int address = row_of("Базовый адрес прибора");
    ASSERT_GE(address, 0);
    const QString before = table.item(address, 1)->text();
    auto* line = qobject_cast<QLineEdit*>(edit(address));
    ASSERT_NE(line, nullptr);
    QTest::keyClick(line, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(line, "abc");
    QTest::keyClick(line, Qt::Key_Return);
    EXPECT_TRUE(dialog.status()->text().contains("abc"));
    EXPECT_EQ(table.item(address, 1)->text(), before);
    EXPECT_EQ(table.cellWidget(address, 1), line);
    // Escape drops the edit and leaves the dialog open.
    QTest::keyClick(line, Qt::Key_Escape);
    QTest::qWait(1);
    EXPECT_EQ(table.cellWidget(address, 1), nullptr);
    EXPECT_TRUE(dialog.isVisible());
    dialog.Button(exchange::kSetupExit)->click();
  });
  EXPECT_EQ(dialog.RunModal(), exchange::SetupOutcome::Exit);
}

TEST_F(WindowTest, NetModeDialogCarriesTheChoices) {
  MakeDocument();
  exchange::ApplyDialog model(&doc->engine(), doc->DeviceNet());
  NetModeDialog dialog(model);
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(kApplyTitle));
  EXPECT_TRUE(dialog.change_program()->isChecked());
  EXPECT_FALSE(dialog.repeat()->isChecked());
  EXPECT_TRUE(dialog.three_times()->isChecked());
  EXPECT_EQ(dialog.repeat()->text(), QString::fromUtf8(kApplyRepeat));
}

TEST_F(WindowTest, RateSweepShowsWhichRateOfHowManyAndRestsItsButtons) {
  MakeDocument();
  SetupDialog dialog(doc->engine(), true, nullptr, [](exchange::ExchangeEngine&, platform::Event*) {
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    return false;
  });
  std::set<QString> steps;
  bool buttons_rested = true, exit_stayed = true, ended = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QProgressBar& bar = *dialog.sweep_progress();
    if (bar.isVisible()) {
      steps.insert(bar.text());
      for (int id : {exchange::kSetupConnect, exchange::kSetupSweepRates, exchange::kSetupFactory})
        buttons_rested &= !dialog.Button(id)->isEnabled();
      exit_stayed &= dialog.Button(exchange::kSetupExit)->isEnabled();
    } else if (!steps.empty() &&
               dialog.status()->text() == QString::fromUtf8(exchange::kLinkFailedText)) {
      ended = dialog.Button(exchange::kSetupSweepRates)->isEnabled() &&
              dialog.Button(exchange::kSetupConnect)->isEnabled();
      QTest::mouseClick(dialog.Button(exchange::kSetupExit), Qt::LeftButton);
    }
  });
  poll.start(10);
  QTimer::singleShot(0, &dialog, [&] {
    QTest::mouseClick(dialog.Button(exchange::kSetupSweepRates), Qt::LeftButton);
  });
  QTimer::singleShot(20000, &dialog, [&] { dialog.Button(exchange::kSetupExit)->click(); });
  EXPECT_EQ(dialog.RunModal(), exchange::SetupOutcome::Exit);
  EXPECT_TRUE(steps.count(QStringLiteral("скорость 1 из 9"))) << steps.size();
  EXPECT_TRUE(steps.count(QStringLiteral("скорость 9 из 9"))) << steps.size();
  EXPECT_TRUE(buttons_rested);
  EXPECT_TRUE(exit_stayed);
  EXPECT_TRUE(ended);
}

TEST_F(WindowTest, ProgressWindowWidensForItsLinesAndCanBeResized) {
  ProgressDialog dialog;
  dialog.show();
  QTest::qWait(1);
  const int first = dialog.width();
  exchange::ProgressLine line;
  line.text = "Параметр «Время фильтрации дребезга входа» (FiLt:12) не прочитан: нет ответа";
  dialog.AddLine(line);
  QTest::qWait(1);
  const QListWidget& list = *dialog.list();
  EXPECT_GT(dialog.width(), first);
  EXPECT_GE(list.viewport()->width(),
            list.fontMetrics().horizontalAdvance(QString::fromStdString(line.text)));
  EXPECT_TRUE(dialog.isSizeGripEnabled());
  EXPECT_LT(dialog.minimumWidth(), dialog.maximumWidth());
}

}  // namespace
}  // namespace vesk::ui::test
