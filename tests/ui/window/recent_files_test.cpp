// The recently-used files: the list in the profile, and its items in the "Файл" menu.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <cstdio>

#include "platform/settings_store.h"
#include "ui/command_ids.h"
#include "ui/main_window.h"
#include "ui/menu_table.h"
#include "ui/recent_file_list.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

using Paths = std::vector<std::string>;

TEST(RecentFileListTest, KeepsFourMostRecentFirstWithoutRepeats) {
  const ScratchDir dir;
  platform::SettingsStore store(dir / "settings.ini");
  RecentFileList list(store);
  EXPECT_TRUE(list.entries().empty());
  struct Case {
    const char* add;
    Paths expected;
  };
  const Case cases[] = {
      {"/a.vesk", {"/a.vesk"}},
      {"/b.vesk", {"/b.vesk", "/a.vesk"}},
      {"/a.vesk", {"/a.vesk", "/b.vesk"}},  // moved up, not repeated
      {"/c.vesk", {"/c.vesk", "/a.vesk", "/b.vesk"}},
      {"/d.vesk", {"/d.vesk", "/c.vesk", "/a.vesk", "/b.vesk"}},
      {"/e.vesk", {"/e.vesk", "/d.vesk", "/c.vesk", "/a.vesk"}},  // the oldest drops out
      {"", {"/e.vesk", "/d.vesk", "/c.vesk", "/a.vesk"}},         // nothing to add
  };
  for (const Case& c : cases) {
    EXPECT_EQ(list.Add(c.add), 0) << c.add;
    EXPECT_EQ(list.entries(), c.expected) << c.add;
    // What is stored reads back the same.
    EXPECT_EQ(RecentFileList(store).entries(), c.expected) << c.add;
  }
  EXPECT_EQ(list.MenuText(0), "&1 /e.vesk");
  EXPECT_EQ(list.MenuText(3), "&4 /a.vesk");
  EXPECT_EQ(list.MenuText(4), "");
  EXPECT_EQ(store.ReadText(kRecentFileGroup, "File2").value_or(""), "/d.vesk");

  list.Remove("/d.vesk");
  EXPECT_EQ(list.entries(), (Paths{"/e.vesk", "/c.vesk", "/a.vesk"}));
  EXPECT_FALSE(store.ReadText(kRecentFileGroup, "File4").has_value());
  EXPECT_EQ(RecentFileList(store).entries(), list.entries());
}

TEST(RecentFileListTest, SkipsGapsAndRepeatsOfAnEditedProfile) {
  const ScratchDir dir;
  platform::SettingsStore store(dir / "settings.ini");
  store.WriteText(kRecentFileGroup, "File1", "/x.vesk");
  store.WriteText(kRecentFileGroup, "File2", "");
  store.WriteText(kRecentFileGroup, "File3", "/x.vesk");
  store.WriteText(kRecentFileGroup, "File4", "/y.vesk");
  store.WriteText(kRecentFileGroup, "File5", "/z.vesk");  // beyond the list's size
  EXPECT_EQ(RecentFileList(store).entries(), (Paths{"/x.vesk", "/y.vesk"}));
}

TEST_F(WindowTest, RecentFilesInTheFileMenu) {
  MakeDocument();
  MainWindow& frame = MakeWindow();
  // Empty: the greyed "Последние файлы" stands alone, in the menu the mouse opens.
  frame.show();
  QMenu* file_menu = frame.menuBar()->actions().front()->menu();
  QTest::mouseClick(frame.menuBar(), Qt::LeftButton, {},
                    frame.menuBar()->actionGeometry(file_menu->menuAction()).center());
  QTRY_VERIFY_WITH_TIMEOUT(file_menu->isVisible(), 5000);
  EXPECT_TRUE(frame.recent_actions().empty());
  QAction* stand_in = frame.Action(cmd::kRecentFile);
  EXPECT_TRUE(stand_in->isVisible());
  EXPECT_FALSE(stand_in->isEnabled());
  EXPECT_EQ(stand_in->text(), QString::fromUtf8(kRecentFilesCaption));
  EXPECT_TRUE(file_menu->actionGeometry(stand_in).isValid());
  QTest::keyClick(file_menu, Qt::Key_Escape);

  const std::string path = dir / "one.vesk";
  ASSERT_TRUE(doc->SaveDocument(path));
  ASSERT_TRUE(frame.OpenFile(path));
  frame.UpdateRecentMenu();
  ASSERT_EQ(frame.recent_actions().size(), 1u);
  EXPECT_EQ(frame.recent_actions()[0]->text().toStdString(), "&1 " + path);
  EXPECT_FALSE(frame.Action(cmd::kRecentFile)->isVisible());
  // Kept in the profile of the store the program uses.
  EXPECT_EQ(RecentFileList(platform::SettingsStore::Default()).entries(), Paths{path});

  // A file that has gone cannot be opened and leaves the list.
  std::remove(path.c_str());
  captured.shown.clear();
  EXPECT_FALSE(frame.OpenRecent(0));
  EXPECT_FALSE(captured.shown.empty());
  EXPECT_TRUE(frame.recent_actions().empty());
  EXPECT_TRUE(frame.RecentFiles().entries().empty());
}

}  // namespace
}  // namespace vesk::ui::test
