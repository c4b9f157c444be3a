// The single-parameter dialog through its controls, against the simulator.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "link/frame_codec.h"
#include "ui/exchange_status.h"
#include "ui/main_window.h"
#include "ui/single_parameter_dialog.h"
#include "ui/tree_list_view.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

QString Q(const char* text) {
  return QString::fromUtf8(text);
}

QStringList Lines(const QListWidget& list) {
  QStringList lines;
  for (int i = 0; i < list.count(); ++i) lines << list.item(i)->text();
  return lines;
}

// "Выполнить!" clicked; the exchange runs on the exchange thread, so its protocol comes a
// little later.
void Execute(SingleParameterDialog& dialog) {
  QTest::mouseClick(dialog.ExecuteButton(), Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.IsRunning(); }, 10000));
}

TEST_F(WindowTest, SinglePointStartsWithTheVersionCommand) {
  MakeDocument();
  SingleParameterDialog dialog(*doc);
  EXPECT_EQ(dialog.windowTitle(), Q(kSinglePointTitle));
  EXPECT_EQ(dialog.command()->currentText(), QStringLiteral("!vEr"));
  char hash[16];
  std::snprintf(hash, sizeof hash, "0x%X", static_cast<unsigned>(link::NameHash("VER")));
  EXPECT_EQ(dialog.hash()->text(), QString::fromLatin1(hash));
  EXPECT_TRUE(dialog.ReadButton()->isChecked());
  EXPECT_GT(dialog.command()->count(), 10);
  // The value box shows only for a write; the placement only with an index.
  EXPECT_TRUE(dialog.value()->isHidden());
  EXPECT_TRUE(dialog.value_label()->isHidden());
  dialog.WriteButton()->click();
  EXPECT_FALSE(dialog.value()->isHidden());
  dialog.ReadButton()->click();
  EXPECT_TRUE(dialog.value()->isHidden());
  dialog.index_used()->setChecked(false);
  EXPECT_FALSE(dialog.in_address()->isEnabled());
  dialog.index_used()->setChecked(true);
  EXPECT_TRUE(dialog.in_address()->isEnabled());
  EXPECT_TRUE(dialog.InDataField()->isEnabled());
}

TEST_F(WindowTest, SinglePointRefreshesAsTheUserTypes) {
  MakeDocument();
  SingleParameterDialog dialog(*doc);
  dialog.command()->setEditText(QStringLiteral("PrtY"));
  // A choice list fills the value box.
  EXPECT_GT(dialog.value()->count(), 1);
  const QString described = dialog.description()->text();
  EXPECT_TRUE(described.endsWith(")")) << described.toStdString();
  dialog.command()->setEditText(QStringLiteral("zzzz"));
  EXPECT_TRUE(dialog.description()->text().endsWith(Q("(<тип неопределен>)")));
  EXPECT_EQ(dialog.value()->count(), 0);
  // An undescribed command keeps the last caption.
  EXPECT_TRUE(dialog.description()->text().startsWith(described.left(described.indexOf(" ("))));
}

TEST_F(WindowTest, SinglePointRefusesAnUndescribedCommand) {
  MakeDocument();
  SingleParameterDialog dialog(*doc);
  dialog.command()->setEditText(QStringLiteral("zzzz"));
  Execute(dialog);
  ASSERT_EQ(captured.shown.size(), 1u);
  EXPECT_EQ(captured.shown[0].text, "Параметер 'zzzz' не описан!");
  EXPECT_EQ(captured.shown[0].icon, link::MsgIcon::Error);
}

TEST_F(WindowTest, SinglePointReadsTheDeviceName) {
  const SimProcess sim(dir);
  MakeDocument(sim.pty());
  captured.shown.clear();
  SingleParameterDialog dialog(*doc);
  dialog.command()->setEditText(QStringLiteral("dev"));
  Execute(dialog);
  const QStringList lines = Lines(*dialog.protocol());
  ASSERT_GE(lines.size(), 3) << lines.join('\n').toStdString();
  EXPECT_TRUE(lines.front().startsWith(QStringLiteral("dev ("))) << lines.front().toStdString();
  EXPECT_EQ(lines[lines.size() - 2], Q("Нет ошибок; строковая нотация ответа:"));
  EXPECT_EQ(lines.back(), QStringLiteral("VESK"));
  EXPECT_EQ(dialog.protocol()->currentRow(), lines.size() - 1);
  EXPECT_TRUE(captured.shown.empty());

  // Writing "dev" has no encoder: nothing is sent and the protocol says why.
  dialog.WriteButton()->click();
  dialog.value()->setEditText(QStringLiteral("X"));
  Execute(dialog);
  EXPECT_TRUE(Lines(*dialog.protocol())
                  .join('\n')
                  .contains(Q("Метод формирования посылки записи для команды 'dev' не определен.")))
      << Lines(*dialog.protocol()).join('\n').toStdString();
}

TEST_F(WindowTest, SinglePointWarnsOfAnAddressBeyondSeven) {
  const SimProcess sim(dir);
  MakeDocument(sim.pty());
  SingleParameterDialog dialog(*doc);
  dialog.command()->setEditText(QStringLiteral("r.oe"));
  dialog.index_used()->setChecked(true);
  dialog.in_address()->click();
  dialog.index()->setText(QStringLiteral("8"));
  Execute(dialog);
  const QStringList lines = Lines(*dialog.protocol());
  ASSERT_GE(lines.size(), 2);
  EXPECT_EQ(lines[0], Q("Индекс передается в поле адреса запроса"));
  EXPECT_EQ(lines[1], Q("Предупреждение: адрес увеличен более чем на 7!"));
}

TEST_F(WindowTest, SinglePointGivenUpWhileWaitingLeavesTheBranchReadAlone) {
  const SimProcess sim(dir, {"--drop", "1"});
  MakeDocument(sim.pty(), true);
  ReopenAt("9600");
  doc->modes().auto_read.store(true);
  MainWindow& window = MakeWindow();
  window.show();
  TreeListView& view = *window.view();
  QTreeWidgetItem* branch = RowCaptioned(view, QStringLiteral("Сетевые параметры"));
  ASSERT_NE(branch, nullptr);
  view.collapseItem(branch);
  view.setCurrentItem(branch);
  QTest::keyClick(&view, Qt::Key_Plus);
  const ExchangeStatus& status = fe->exchange_status();
  ASSERT_TRUE(status.IsBusy());

  // "Выполнить!" waits behind the branch's read; Escape gives it up, and only it.
  SingleParameterDialog dialog(*doc, &window);
  dialog.show();
  dialog.command()->setEditText(QStringLiteral("dev"));
  QTest::mouseClick(dialog.ExecuteButton(), Qt::LeftButton);
  EXPECT_TRUE(dialog.IsRunning());
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(status.IsBusy());
  EXPECT_FALSE(doc->engine().TaskCancelled());

  QTest::keyClick(&view, Qt::Key_Escape);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !status.IsBusy(); }, 5000));
  EXPECT_TRUE(doc->engine().TaskCancelled());
  EXPECT_EQ(dialog.protocol()->count(), 0);
}

}  // namespace
}  // namespace vesk::ui::test
