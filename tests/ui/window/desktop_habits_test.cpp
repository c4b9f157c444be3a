// What desktop users expect of the window beyond the tree: it comes back where it was left,
// set-up changes are kept at once, message boxes share one caption, and files open through
// the desktop or say where they are.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/cell_commit.h"
#include "app/document.h"
#include "exchange/device_commands.h"
#include "exchange/setup_worker.h"
#include "model/config_file.h"
#include "model/program_line_settings.h"
#include "model/tree_builder.h"
#include "ui/document_viewer.h"
#include "ui/main_window.h"
#include "ui/qt_presenter.h"
#include "ui/setup_dialog.h"
#include "ui/tree_list_view.h"
#include "window_fixture.h"

namespace vesk::ui::test {

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
      MainWindow first(*doc, fe->progress_window(), fe->exchange_status());
      first.Place(no_keys);
      first.showNormal();
      first.setGeometry(place);
      if (c.maximised) first.showMaximized();
      first.view()->setColumnWidth(0, 250);
      first.view()->setColumnWidth(2, 175);
      QTest::qWait(1);
      ASSERT_TRUE(first.close());
    }
    MainWindow second(*doc, fe->progress_window(), fe->exchange_status());
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

// An opener in its own folder that notes what it was given and ends with `status`, as
// xdg-open does (3: no program for the file).
std::string FakeOpener(const ScratchDir& dir, const std::string& folder, int status) {
  std::filesystem::create_directories(dir / folder);
  const std::string script = dir / (folder + "/xdg-open");
  std::ofstream(script) << "#!/bin/sh\necho \"$1\" >> " << dir / "opened"
                        << "\nexit " << status << "\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  return dir / folder;
}

std::vector<std::string> Opened(const ScratchDir& dir) {
  std::vector<std::string> lines;
  std::ifstream in(dir / "opened");
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST_F(DesktopHabitsTest, HelpAndExportOpenThroughTheDesktopOrTheWindowOrSayWhereTheFileIs) {
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  std::filesystem::create_directories(dir / "docs/help");
  std::ofstream(dir / "docs/help/index.html")
      << "<html><head><title>Руководство</title></head><body>manual</body></html>";
  MakeDocument();
  MainWindow& frame = MakeWindow();
  frame.show();
  QApplication::setActiveWindow(&frame);
  const std::string manual = dir / "docs/help/index.html";
  const std::string list = dir / "cache/LORN/parlist.html";
  struct PathBack {
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ~PathBack() { setenv("PATH", path.c_str(), 1); }
  } path_back;
  auto viewer = [&] { return frame.findChild<DocumentViewer*>(); };

  // The desktop opens both.
  setenv("PATH", FakeOpener(dir, "desktop", 0).c_str(), 1);
  QTest::keyClick(frame.view(), Qt::Key_F1);
  ChooseMenuItem(frame, QStringLiteral("Справка"), frame.Action(app::cmd::kExportHtml));
  QTRY_COMPARE_WITH_TIMEOUT(Opened(dir).size(), 2u, 5000);
  EXPECT_EQ(Opened(dir), (std::vector<std::string>{manual, list}));
  QTest::qWait(200);
  EXPECT_EQ(viewer(), nullptr);
  EXPECT_TRUE(captured.shown.empty());

  // An opener that finds no program for HTML: the window shows the manual itself.
  setenv("PATH", FakeOpener(dir, "bare", 3).c_str(), 1);
  QTest::keyClick(frame.view(), Qt::Key_F1);
  QTRY_VERIFY_WITH_TIMEOUT(viewer() && viewer()->isVisible(), 5000);
  EXPECT_EQ(viewer()->windowTitle(), QStringLiteral("Руководство"));
  EXPECT_TRUE(viewer()->toPlainText().contains(QStringLiteral("manual")));
  EXPECT_TRUE(captured.shown.empty());

  // No opener at all: the message names the file.
  setenv("PATH", dir.path().c_str(), 1);
  ChooseMenuItem(frame, QStringLiteral("Справка"), frame.Action(app::cmd::kExportHtml));
  ASSERT_EQ(captured.shown.size(), 1u);
  EXPECT_NE(captured.shown[0].text.find(app::kNoOpenerText), std::string::npos);
  EXPECT_NE(captured.shown[0].text.find(list), std::string::npos);
}

}  // namespace
}  // namespace vesk::ui::test
