// The manual against the window: every command a menu offers has its place in the manual.
// The English manual against the Russian one: the same sections, links and pictures.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
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

// The manual beside the Russian one that holds it in English.
QString EnglishManualFile() {
  return QStringLiteral(VESK_SOURCE_DIR "/") +
         QString::fromUtf8(app::kHelpFile)
             .replace(QStringLiteral(".html"), QStringLiteral(".en.html"));
}

QString ReadAll(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  return QString::fromUtf8(file.readAll());
}

// Every id, link and picture of a page, in order, a line each.
std::string Anchors(const QString& html) {
  QStringList out;
  static const QRegularExpression kAttribute(QStringLiteral(R"re(\b(id|href|src)="[^"]*")re"));
  for (const auto& match : kAttribute.globalMatch(html)) out << match.captured();
  return out.join('\n').toStdString();
}

TEST(Manual, TheEnglishOneHasTheSameAnchorsAndNoRussian) {
  const QString russian =
      ReadAll(QStringLiteral(VESK_SOURCE_DIR "/") + QString::fromUtf8(app::kHelpFile));
  QString english = ReadAll(EnglishManualFile());
  const std::string anchors = Anchors(russian);
  EXPECT_GT(std::count(anchors.begin(), anchors.end(), '\n'), 40);
  EXPECT_EQ(Anchors(english), anchors);
  // The menu names each language in its own tongue, so Russian keeps its own name.
  english.remove(QStringLiteral("Русский"));
  static const QRegularExpression kCyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]+"));
  const QRegularExpressionMatch left = kCyrillic.match(english);
  EXPECT_FALSE(left.hasMatch()) << left.captured().toStdString();
}

}  // namespace
}  // namespace vesk::ui::test
