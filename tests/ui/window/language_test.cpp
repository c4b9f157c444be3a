// The window in either language, through real clicks and keys: in English no menu, column,
// status text, dialog or message of the window is Russian, in Russian every one is as
// written; "Справка → Язык" keeps the choice for the next start and says so.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>
#include <QXmlStreamReader>
#include <algorithm>
#include <filesystem>
#include <set>

#include "app/document.h"
#include "exchange/setup_worker.h"
#include "model/tree_builder.h"
#include "platform/language.h"
#include "platform/settings_store.h"
#include "ui/bus_scan_dialog.h"
#include "ui/command_ids.h"
#include "ui/main_window.h"
#include "ui/menu_table.h"
#include "ui/message_box.h"
#include "ui/tree_list_view.h"
#include "ui/ui_text.h"
#include "ui/window_language.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

using platform::Language;

// Every text a widget and the widgets in it show: captions, buttons, labels, column
// headers, list items, hints, menu items with their prompts.
void CollectTexts(const QWidget& top, QStringList& out) {
  QList<const QWidget*> widgets{&top};
  for (const QWidget* w : top.findChildren<QWidget*>()) widgets << w;
  for (const QWidget* w : widgets) {
    if (w->isWindow()) out << w->windowTitle();
    out << w->toolTip() << w->statusTip();
    if (auto* l = qobject_cast<const QLabel*>(w)) out << l->text();
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) out << b->text();
    if (auto* g = qobject_cast<const QGroupBox*>(w)) out << g->title();
    if (auto* d = qobject_cast<const QDockWidget*>(w)) out << d->windowTitle();
    if (auto* e = qobject_cast<const QLineEdit*>(w)) out << e->placeholderText();
    if (auto* c = qobject_cast<const QComboBox*>(w))
      for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    if (auto* h = qobject_cast<const QHeaderView*>(w); h && h->model())
      for (int i = 0; i < h->count(); ++i)
        out << h->model()->headerData(i, h->orientation()).toString();
    if (auto* m = qobject_cast<const QMenu*>(w)) {
      out << m->title();
      for (const QAction* a : m->actions()) out << a->text() << a->statusTip() << a->toolTip();
    }
  }
  for (const QAction* a : top.actions()) out << a->text() << a->statusTip() << a->toolTip();
}

// Chooses the menu command `action` with the mouse, through its submenu where it has one.
void ChooseAction(MainWindow& frame, QAction* action) {
  QMenuBar* bar = frame.menuBar();
  for (QAction* top : bar->actions()) {
    QMenu* menu = top->menu();
    if (!menu) continue;
    QAction* step = nullptr;
    for (QAction* a : menu->actions())
      if (a == action || (a->menu() && a->menu()->actions().contains(action))) step = a;
    if (!step) continue;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(top).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
    if (step != action) {
      QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(step).center());
      ASSERT_TRUE(QTest::qWaitFor([&] { return step->menu()->isVisible(); }, 2000));
      menu = step->menu();
    }
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    return;
  }
  FAIL() << "no menu holds " << action->text().toStdString();
}

bool HasCyrillic(const QString& text) {
  static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
  return text.contains(cyrillic);
}

// The window's own texts as the catalogue lists them, each a pattern that a text shown
// matches whole, whatever its placeholders became.
std::vector<QRegularExpression> WindowSourcePatterns() {
  QFile file(QStringLiteral(VESK_SOURCE_DIR "/src/ui/translations/vesk_en.ts"));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  std::vector<QRegularExpression> patterns;
  QXmlStreamReader xml(&file);
  while (xml.readNextStartElement() || !xml.atEnd()) {
    if (!xml.isStartElement() || xml.name() != QLatin1String("source")) continue;
    for (const QString& part : xml.readElementText().split('\n')) {
      QString pattern = QRegularExpression::escape(part.section('\t', 0, 0).remove('&'));
      pattern.replace(QRegularExpression(QStringLiteral("%(\\d|v|m)")), QStringLiteral(".*"));
      patterns.emplace_back(QRegularExpression::anchoredPattern(pattern));
    }
  }
  return patterns;
}

class LanguageTest : public WindowTest, public ::testing::WithParamInterface<Language> {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    platform::UseLanguage(GetParam(), VESK_BIN_DIR "/locale");
    ASSERT_TRUE(translators.Install(GetParam(), WindowCataloguePath(VESK_BIN_DIR "/")));
  }
  void TearDown() override {
    WindowTest::TearDown();
    translators.Remove();
    platform::UseLanguage(Language::Russian, VESK_BIN_DIR "/locale");
  }

  // The texts of the window and of each dialog its commands open, each dialog closed again.
  QStringList WalkTheWindow(MainWindow& frame) {
    QStringList texts;
    CollectTexts(frame, texts);
    texts << frame.view()->topLevelItem(0)->text(0) << frame.statusBar()->currentMessage();
    // The commands that open a dialog, and the filter bar.
    const struct {
      int command;
      bool dialog;
    } steps[] = {
        {cmd::kAppAbout, true},         {cmd::kFindDevices, true},    {app::cmd::kStateInOut, true},
        {app::cmd::kSinglePoint, true}, {app::cmd::kPortSetup, true}, {cmd::kFileOpen, true},
        {cmd::kFileSaveAs, true},       {app::cmd::kAply, true},      {cmd::kFind, false}};
    for (const auto& step : steps) {
      SCOPED_TRACE(step.command);
      QAction* action = frame.Action(step.command);
      EXPECT_NE(action, nullptr);
      if (!action) continue;
      const DialogAnswer<QDialog> answer([&](QDialog& dialog) {
        CollectTexts(dialog, texts);
        dialog.reject();
      });
      ChooseAction(frame, action);
      if (step.dialog) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.answered(); }, 5000));
      }
    }
    CollectTexts(frame, texts);
    // The view's own messages, through the presenter.
    ChooseAction(frame, frame.Action(cmd::kNextProblem));
    for (const Shown& shown : captured.shown)
      texts << QString::fromStdString(shown.text) << QString::fromStdString(shown.caption);
    // The buttons of every message box.
    QMessageBox box(QMessageBox::Question, QString(), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    PrepareMessageBox(box, QString());
    CollectTexts(box, texts);
    texts.removeAll(QString());
    return texts;
  }

  WindowTranslators translators;
};

TEST_P(LanguageTest, WindowSpeaksTheLanguageThroughout) {
  const SimProcess sim(dir);
  MakeDocument(sim.pty());
  MainWindow& frame = MakeWindow();
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  const QStringList texts = WalkTheWindow(frame);
  ASSERT_GT(texts.size(), 200);

  if (GetParam() == Language::English) {
    // A language is named in its own tongue. Texts of the core are English once its
    // catalogue is there; until then only the window's own are held to it.
    const std::set<QString> own_names{QString::fromUtf8(kRussianName)};
    // Words of the core that the window has too.
    const std::set<QString> core_words{QString::fromUtf8(exchange::kSetupValueColumn),
                                       QString::fromUtf8(exchange::kSetupExitButton)};
    const bool core_speaks_english =
        std::string_view(platform::Tr(model::kProgramTitle)) != model::kProgramTitle;
    const std::vector<QRegularExpression> window_sources = WindowSourcePatterns();
    ASSERT_GT(window_sources.size(), 200u);
    for (QString text : texts) {
      if (own_names.count(text) || !HasCyrillic(text)) continue;
      text = text.section('\t', 0, 0).remove('&');
      const bool window_text =
          std::any_of(window_sources.begin(), window_sources.end(),
                      [&](const QRegularExpression& p) { return p.match(text).hasMatch(); });
      EXPECT_FALSE(core_speaks_english || (window_text && !core_words.count(text)))
          << text.toStdString();
    }
    EXPECT_TRUE(texts.contains(QStringLiteral("VESK configuration (untitled)")));
    return;
  }
  // In Russian every text is the one written in the sources.
  const QStringList expected{
      QString::fromUtf8(kIdlePrompt),
      QString::fromUtf8(kUntitled) + "[*] - " + QString::fromUtf8(kApplicationTitle),
      QString::fromUtf8(kBusScanTitle),
      QString::fromUtf8(kYesText),
      QString::fromUtf8(kCancelText),
      QString::fromUtf8(kOpenFileTitle),
      TreeListView::TopRowText(QString::fromUtf8(kUntitled))};
  for (const QString& text : expected) EXPECT_TRUE(texts.contains(text)) << text.toStdString();
  EXPECT_TRUE(texts.contains(QString::fromUtf8(kNoMoreProblems)) ||
              texts.contains(QString::fromUtf8(kNoOtherProblems)));
  for (const TopMenu& menu : MainMenu()) {
    EXPECT_TRUE(texts.contains(QString::fromUtf8(menu.title))) << menu.title;
    for (const MenuEntry& entry : menu.entries) {
      if (entry.id == 0) continue;
      EXPECT_TRUE(texts.contains(QString::fromUtf8(entry.text))) << entry.text;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguageTest,
                         ::testing::Values(Language::Russian, Language::English),
                         [](const auto& info) {
                           return std::string(platform::LanguageCode(info.param));
                         });

TEST_F(WindowTest, LanguageChosenInTheMenuIsKeptForTheNextStart) {
  MakeDocument();
  MainWindow& frame = MakeWindow();
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  QAction* english = frame.Action(cmd::kLanguageEnglish);
  QAction* russian = frame.Action(cmd::kLanguageRussian);
  ASSERT_TRUE(english && russian);
  platform::SettingsStore& settings = platform::SettingsStore::Default();
  const struct {
    QAction* item;
    const char* kept;
    const char* said;
  } cases[] = {{english, "en", kLanguageChosenEnglish}, {russian, "ru", kLanguageChosenRussian}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kept);
    captured.shown.clear();
    ChooseAction(frame, c.item);
    EXPECT_EQ(settings.ReadText(platform::kSettingsKey, platform::kLanguageValue), c.kept);
    ASSERT_EQ(captured.shown.size(), 1u);
    EXPECT_EQ(captured.shown[0].text, c.said);
    EXPECT_TRUE(c.item->isChecked());
    EXPECT_FALSE((c.item == english ? russian : english)->isChecked());
  }

  // A settings file that cannot be written: the message says where and why, and the
  // choice stays as it was.
  const std::string file = settings.FilePath();
  std::filesystem::remove(file);
  std::filesystem::create_directory(file);
  captured.shown.clear();
  ChooseAction(frame, english);
  ASSERT_EQ(captured.shown.size(), 1u);
  EXPECT_EQ(captured.shown[0].text.rfind(kLanguageNotKeptText, 0), 0u);
  EXPECT_NE(captured.shown[0].text.find(file + ": "), std::string::npos);
  EXPECT_GT(captured.shown[0].text.size(),
            std::string(kLanguageNotKeptText).size() + file.size() + 2);
  EXPECT_FALSE(english->isChecked());
  EXPECT_TRUE(russian->isChecked());
}

}  // namespace
}  // namespace vesk::ui::test
