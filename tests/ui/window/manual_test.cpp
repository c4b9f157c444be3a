// The manual against the window: every command a menu offers has its place in the manual.

#include <gtest/gtest.h>

#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTextDocument>

#include "app/document.h"
#include "ui/main_window.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

// The caption as the manual writes it: without the accelerator's '&', the key after the
// tab and the dots of a command that opens a dialog.
QString Caption(const QAction& action) {
  QString text = action.text().section('\t', 0, 0).remove('&').trimmed();
  while (text.endsWith('.') || text.endsWith(QChar(0x2026))) text.chop(1);
  return text;
}

void Commands(const QMenu& menu, QStringList& out) {
  for (const QAction* action : menu.actions()) {
    if (action->isSeparator()) continue;
    out << Caption(*action);
    if (action->menu()) Commands(*action->menu(), out);
  }
}

TEST_F(WindowTest, EveryMenuCommandHasItsPlaceInTheManual) {
  MakeDocument();
  MainWindow& window = MakeWindow();
  QFile file(QStringLiteral(VESK_SOURCE_DIR "/") + QString::fromUtf8(app::kHelpFile));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
  QTextDocument manual;
  manual.setHtml(QString::fromUtf8(file.readAll()));
  const QString text = manual.toPlainText();

  QStringList commands;
  for (const QAction* top : window.menuBar()->actions())
    if (top->menu()) Commands(*top->menu(), commands);
  ASSERT_GT(commands.size(), 30);
  for (const QString& command : commands)
    EXPECT_TRUE(text.contains(command)) << command.toStdString();
}

}  // namespace
}  // namespace vesk::ui::test
