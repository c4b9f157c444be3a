// The set-up dialog's port row with network ports, through real clicks and keys: the ports
// used before are offered, a well-formed tcp:// name is taken and remembered first, a
// malformed one (port 0) is refused where it is typed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "exchange/exchange_engine.h"
#include "model/remote_ports.h"
#include "ui/setup_dialog.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

TEST_F(WindowTest, SetupDialogOffersAndTakesNetworkPorts) {
  MakeDocument();
  ASSERT_EQ(model::RememberRemotePort(*store, "rfc2217://ser2net:2000"), 0);
  SetupDialog dialog(doc->engine(), true, nullptr,
                     [](exchange::ExchangeEngine&, platform::Event*) { return false; });
  QTableWidget& table = *dialog.table();
  QStringList offered;
  QString refused_status;
  auto edit = [&](int row) {
    const QRect cell = table.visualRect(table.model()->index(row, 1));
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell.center());
    QTest::qWait(QApplication::doubleClickInterval() + 20);
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, cell.center());
    return qobject_cast<QComboBox*>(table.cellWidget(row, 1));
  };
  auto type = [&](QComboBox* port, const char* text) {
    QTest::keyClick(port->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(port->lineEdit(), QString::fromUtf8(text));
    QTest::keyClick(port->lineEdit(), Qt::Key_Return);
  };
  int row = -1;
  QTimer::singleShot(0, &dialog, [&] {
    for (int r = 0; r < table.rowCount(); ++r)
      if (table.item(r, 0)->text() == QStringLiteral("Порт компьютера")) row = r;
    ASSERT_GE(row, 0);
    QComboBox* port = edit(row);
    ASSERT_NE(port, nullptr);
    for (int i = 0; i < port->count(); ++i) offered << port->itemText(i);
    type(port, "tcp://plc:502");
    QTest::qWait(1);
    port = edit(row);
    ASSERT_NE(port, nullptr);
    type(port, "rfc2217://plc:0");
    refused_status = dialog.status()->text();
    QTest::keyClick(port->lineEdit(), Qt::Key_Escape);
    dialog.Button(exchange::kSetupExit)->click();
  });
  EXPECT_EQ(dialog.RunModal(), exchange::SetupOutcome::Exit);
  EXPECT_EQ(offered, (QStringList{"COM1", "rfc2217://ser2net:2000"}));
  ASSERT_GE(row, 0);
  EXPECT_EQ(table.item(row, 1)->text(), QStringLiteral("tcp://plc:502"));
  EXPECT_TRUE(refused_status.contains("rfc2217://plc:0")) << refused_status.toStdString();
  EXPECT_EQ(model::RecentRemotePorts(*store),
            (std::vector<std::string>{"tcp://plc:502", "rfc2217://ser2net:2000"}));
}

}  // namespace
}  // namespace vesk::ui::test
