// What desktop users expect of the window beyond the tree: it comes back where it was left,
// set-up changes are kept at once, message boxes share one caption, and files open through
// the desktop or say where they are.

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "app/cell_commit.h"
#include "app/document.h"
#include "exchange/device_commands.h"
#include "exchange/setup_worker.h"
#include "model/config_file.h"
#include "model/program_line_settings.h"
#include "model/tree_builder.h"
#include "ui/main_window.h"
#include "ui/qt_presenter.h"
#include "ui/setup_dialog.h"
#include "ui/tree_list_view.h"
#include "window_fixture.h"

namespace vesk::ui::test {

// Takes the URLs the desktop would have opened.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void Open(const QUrl& url) { urls << url; }
};

namespace {

class DesktopHabitsTest : public WindowTest {
 protected:
  // Chooses a menu item with the mouse: the menu's title in the bar, then the item.
  static void ChooseMenuItem(MainWindow& frame, const QString& menu_title, QAction* item) {
    QMenu* menu = nullptr;
    for (QAction* a : frame.menuBar()->actions())
      if (a->text().remove('&') == menu_title) menu = a->menu();
    ASSERT_NE(menu, nullptr);
    QTest::mouseClick(frame.menuBar(), Qt::LeftButton, {},
                      frame.menuBar()->actionGeometry(menu->menuAction()).center());
    QTest::qWait(1);
    ASSERT_TRUE(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
  }
};

TEST_F(DesktopHabitsTest, WindowComesBackWhereItWasLeftWithItsColumnWidths) {
  MakeDocument();
  const app::CommandLineSettings no_keys;
  const struct { bool maximised; } cases[] = {{false}, {true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.maximised);
    const QRect place(60, 40, 600, 400);
    {
      MainWindow first(*doc, fe->progress_window());
      first.Place(no_keys);
      first.showNormal();
      first.setGeometry(place);
      if (c.maximised) first.showMaximized();
      first.view()->setColumnWidth(0, 250);
      first.view()->setColumnWidth(2, 175);
      QTest::qWait(1);
      ASSERT_TRUE(first.close());
    }
    MainWindow second(*doc, fe->progress_window());
    second.Place(no_keys);
    QTest::qWait(1);
    EXPECT_EQ(second.isMaximized(), c.maximised);
    EXPECT_EQ(c.maximised ? second.normalGeometry() : second.geometry(), place);
    EXPECT_EQ(second.view()->columnWidth(0), 250);
    EXPECT_EQ(second.view()->columnWidth(2), 175);
    second.close();
  }
}

TEST_F(DesktopHabitsTest, PortSettingsAreKeptWhenTheSetUpDialogConnects) {
  SimProcess sim(dir);
  MakeDocument(sim.pty());
  MainWindow& frame = MakeWindow();
  frame.show();
  // Nothing is stored yet of what the window works with.
  store->RemoveValue(platform::kSettingsKey, model::kPortPathValue);
  store->WriteDword(platform::kSettingsKey, model::kBaudRateValue, 9600);
  // A click while the dialog is busy goes to a disabled button: it is clicked again until
  // the dialog has connected and closed.
  const DialogAnswer<SetupDialog> answer([](SetupDialog& dialog) {
    QPushButton* connect = dialog.Button(exchange::kSetupConnect);
    if (connect->isEnabled()) QTest::mouseClick(connect, Qt::LeftButton);
  });
  ChooseMenuItem(frame, QStringLiteral("Прибор"), frame.Action(app::cmd::kPortSetup));
  EXPECT_TRUE(answer.answered());
  EXPECT_EQ(store->ReadText(platform::kSettingsKey, model::kPortPathValue), sim.pty());
  EXPECT_EQ(store->ReadDword(platform::kSettingsKey, model::kBaudRateValue, 0), 115200u);
}

TEST_F(DesktopHabitsTest, MessageBoxesShareOneWholeCaptionAndQuestionsDefaultToNo) {
  QtPresenter boxes;
  const QString program = QString::fromUtf8(model::kProgramTitle);
  const struct {
    const char* text;
    const char* caption;
    link::MsgButtons buttons;
    link::MsgAnswer on_enter;
    const char* heading;  // shown above the text; nullptr: the text is alone
  } cases[] = {
      {exchange::kInitialiseQuestion, model::kProgramTitle, link::MsgButtons::YesNo,
       link::MsgAnswer::No, nullptr},
      {"Сохранить изменения?", model::kAppTitle, link::MsgButtons::YesNoCancel,
       link::MsgAnswer::Yes, nullptr},
      {"Порт не отвечает", app::kWriteFailedCaption, link::MsgButtons::Ok, link::MsgAnswer::Ok,
       app::kWriteFailedCaption},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    QString title, text, informative;
    int caption_room = 0, width = 0;
    const DialogAnswer<QMessageBox> answer([&](QMessageBox& box) {
      title = box.windowTitle();
      text = box.text();
      informative = box.informativeText();
      caption_room = box.fontMetrics().horizontalAdvance(title);
      width = box.width();
      QTest::keyClick(&box, Qt::Key_Return);
    });
    EXPECT_EQ(boxes.ShowMessage(c.text, c.caption, link::MsgIcon::Warning, c.buttons), c.on_enter);
    EXPECT_TRUE(answer.answered());
    EXPECT_EQ(title, program);
    EXPECT_GT(width, caption_room);
    if (c.heading) {
      EXPECT_EQ(text, QString::fromUtf8(c.heading));
      EXPECT_EQ(informative, QString::fromUtf8(c.text));
    } else {
      EXPECT_EQ(text, QString::fromUtf8(c.text));
    }
  }
}

TEST_F(DesktopHabitsTest, HelpAndExportOpenThroughTheDesktopOrSayWhereTheFileIs) {
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  std::filesystem::create_directories(dir / "docs/help");
  std::ofstream(dir / "docs/help/index.html") << "<html></html>";
  MakeDocument();
  MainWindow& frame = MakeWindow();
  frame.show();
  QApplication::setActiveWindow(&frame);
  const std::string list = dir / "cache/LORN/parlist.html";

  UrlCatcher desktop;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "Open");
  QTest::keyClick(frame.view(), Qt::Key_F1);
  ChooseMenuItem(frame, QStringLiteral("Справка"), frame.Action(app::cmd::kExportHtml));
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  ASSERT_EQ(desktop.urls.size(), 2);
  EXPECT_EQ(desktop.urls[0],
            QUrl::fromLocalFile(QString::fromStdString(dir / "docs/help/index.html")));
  EXPECT_EQ(desktop.urls[1], QUrl::fromLocalFile(QString::fromStdString(list)));
  EXPECT_TRUE(captured.shown.empty());

  // No opener on the desktop: the message names the file.
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", dir.path().c_str(), 1);
  ChooseMenuItem(frame, QStringLiteral("Справка"), frame.Action(app::cmd::kExportHtml));
  setenv("PATH", path.c_str(), 1);
  ASSERT_EQ(captured.shown.size(), 1u);
  EXPECT_NE(captured.shown[0].text.find(app::kNoOpenerText), std::string::npos);
  EXPECT_NE(captured.shown[0].text.find(list), std::string::npos);
}

}  // namespace
}  // namespace vesk::ui::test

#include "desktop_habits_test.moc"
