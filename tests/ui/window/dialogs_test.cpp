// The set-up dialog over its worker and the network-mode dialog.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include "exchange/device_commands.h"
#include "exchange/exchange_engine.h"
#include "ui/net_mode_dialog.h"
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

}  // namespace
}  // namespace vesk::ui::test
