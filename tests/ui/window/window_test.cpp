// The window through its widgets: menus, the progress window, the tree after a read-all
// against the simulator, editing refused by validation, problem navigation.

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include "app/cell_commit.h"
#include "exchange/exchange_engine.h"
#include "exchange/parameter_tasks.h"
#include "exchange/task_codes.h"
#include "link/exit_status.h"
#include "model/description_branch.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"
#include "ui/tree_list_view.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

QString Q(const char* text) {
  return QString::fromUtf8(text);
}

std::vector<QTreeWidgetItem*> ParameterRows(QTreeWidget& view) {
  std::vector<QTreeWidgetItem*> rows;
  for (QTreeWidgetItemIterator it(&view); *it; ++it)
    if (TreeListView::ParameterOf(*it)) rows.push_back(*it);
  return rows;
}

TEST_F(WindowTest, MenusCarryTheirCaptions) {
  MakeDocument();
  MainWindow& frame = MakeWindow();
  QStringList titles;
  for (QAction* a : frame.menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles, QStringList({Q("&Файл"), Q("&Прибор"), Q("&Дерево"), Q("&Режимы программы"),
                                 Q("&Линия"), Q("&Справка")}));
  const std::vector<std::pair<int, const char*>> items = {
      {57600, "&Новый\tCtrl+N"},
      {57604, "Сохранить &как..."},
      {57665, "Вы&ход"},
      {139, "Прочитать все параметры\tAlt+R"},
      {265, "Послать команду &APLY\tAlt+A"},
      {32799, "Полуавтоматический (KV-9)"},
      {32819, "Настройка порта"},
      {276, "К предыдущему проблемному параметру\tAtl+вверх"},
      {277, "К следующему проблемному параметру\tAlt+вниз  "},
      {134, "Режим автоматического чтения"},
      {59393, "Панель состояния"},
      {57664, "&О программе..."},
  };
  for (const auto& [id, text] : items) {
    ASSERT_NE(frame.Action(id), nullptr) << id;
    EXPECT_EQ(frame.Action(id)->text(), Q(text)) << id;
  }
  EXPECT_EQ(frame.Action(139)->toolTip(), Q("Прочитать"));
  EXPECT_EQ(frame.Action(139)->statusTip(), Q("Прочитать все параметры из прибора"));
  EXPECT_EQ(frame.Action(279)->shortcut(), QKeySequence(Q("Alt+Ctrl+R")));
  EXPECT_EQ(frame.Action(277)->shortcut(), QKeySequence(Q("Alt+Down")));
  EXPECT_TRUE(frame.Action(134)->isChecked());

  // Exactly one converter item is checked, whichever is chosen.
  for (int id : {32798, 32799, 32798}) {
    frame.Action(id)->trigger();
    EXPECT_TRUE(frame.Action(id)->isChecked());
    EXPECT_NE(frame.Action(32798)->isChecked(), frame.Action(32799)->isChecked());
  }
  EXPECT_TRUE(captured.shown.empty());
}

TEST_F(WindowTest, TopRowAndNoTreeRow) {
  MakeDocument();
  MainWindow& frame = MakeWindow();
  QTreeWidgetItem* top = frame.view()->topLevelItem(0);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->text(0), Q("Конфигурация ВЕСК (безымянный файл)"));
  EXPECT_FALSE(ParameterRows(*frame.view()).empty());
  EXPECT_EQ(frame.view()->headerItem()->text(5), Q("Ошибки обмена и несоответствия"));
  EXPECT_EQ(frame.view()->columnWidth(0), 360);
}

TEST_F(WindowTest, ProgressCancelSignalsTheEngine) {
  MakeDocument();
  MakeWindow();
  ProgressWindow& progress = fe->progress_window();
  bool opened = false;
  const bool ran =
      progress.Run(exchange::kTaskReadAll, "Идет чтение параметров из прибора", 70000, [&] {
        opened = true;
        ProgressDialog* d = progress.dialog();
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->bar()->maximum(), 70000 & 0xFFFF);
        progress.Log({"строка", "00:00:01", "1 из 70000", 1, false});
        d->CancelButton()->click();
        EXPECT_TRUE(doc->engine().cancel_event.IsSet());
        EXPECT_TRUE(progress.Close());
        EXPECT_FALSE(progress.Close());  // only once
      });
  EXPECT_TRUE(ran);
  EXPECT_TRUE(opened);
  EXPECT_FALSE(progress.IsOpen());
  EXPECT_NE(link::exit_status.load() & exchange::kStatusCancelled, 0u);
}

TEST_F(WindowTest, EscapeIsCancelAndTheWindowStays) {
  MakeDocument();
  MakeWindow();
  ProgressWindow& progress = fe->progress_window();
  progress.Run(exchange::kTaskReadAll, "x", 1, [&] {
    progress.dialog()->reject();
    EXPECT_TRUE(progress.dialog()->isVisible());
    EXPECT_TRUE(doc->engine().cancel_event.IsSet());
    progress.Close();
  });
}

TEST_F(WindowTest, ReadAllThroughTheWindowFillsTheTree) {
  SimProcess sim(dir);
  MakeDocument(sim.pty());
  MainWindow& frame = MakeWindow();
  // The progress window's log is looked at before it closes.
  int lines = 0;
  QObject::connect(&fe->progress_window(), &ProgressWindow::Opened, [&] {
    QTimer::singleShot(50, [&] {
      if (fe->progress_window().dialog()) lines = fe->progress_window().dialog()->list()->count();
    });
  });
  frame.Action(app::cmd::kReadAll)->trigger();
  const auto rows = ParameterRows(*frame.view());
  ASSERT_FALSE(rows.empty());
  int with_value = 0;
  for (QTreeWidgetItem* row : rows) {
    link::Parameter* p = TreeListView::ParameterOf(row);
    if (row->text(2) != Q(link::kNoData)) ++with_value;
    EXPECT_EQ(row->text(2).toStdString(), p->value);
    if (p->note.empty() && !p->AnyChanged()) {
      EXPECT_EQ(row->foreground(2).color(), QColor(0, 0, 0));
    }
  }
  EXPECT_GT(with_value, static_cast<int>(rows.size()) / 2);
  for (const Shown& s : captured.shown) ADD_FAILURE() << s.caption << ": " << s.text;
  (void)lines;
}

link::Parameter* FirstTextParameterWithRange(TreeListView& view, QTreeWidgetItem** row) {
  for (QTreeWidgetItem* item : ParameterRows(view)) {
    link::Parameter* p = TreeListView::ParameterOf(item);
    if (p->type_text.find(':') == std::string::npos && p->maximum != 0 && !p->owned_by_firm &&
        !p->IsPolled() && p->writable && !exchange::IsNetworkParameter(p->short_name) &&
        p->short_name != "Prot") {
      *row = item;
      return p;
    }
  }
  return nullptr;
}

TEST_F(WindowTest, RefusedEditShowsTheMessageAndKeepsTheValue) {
  MakeDocument();
  MainWindow& frame = MakeWindow();
  QTreeWidgetItem* row = nullptr;
  link::Parameter* p = FirstTextParameterWithRange(*frame.view(), &row);
  ASSERT_NE(p, nullptr);
  const std::string before = p->value;
  auto* editor = qobject_cast<QLineEdit*>(frame.view()->OpenEditor(row, app::column::kValue));
  ASSERT_NE(editor, nullptr);
  editor->setText(QString::number(p->maximum * 10 + 1000));
  frame.view()->CloseEditor();
  ASSERT_EQ(captured.shown.size(), 1u);
  EXPECT_EQ(captured.shown[0].caption, app::kValueRefusedCaption);
  EXPECT_EQ(captured.shown[0].icon, link::MsgIcon::Error);
  EXPECT_EQ(p->value, before);
  EXPECT_FALSE(p->value_changed);
  EXPECT_EQ(row->text(app::column::kValue).toStdString(), before);
  EXPECT_EQ(frame.view()->editor(), nullptr);
}

TEST_F(WindowTest, AcceptedEditTurnsTheRowGreen) {
  MakeDocument();
  MainWindow& frame = MakeWindow();
  QTreeWidgetItem* row = nullptr;
  link::Parameter* p = FirstTextParameterWithRange(*frame.view(), &row);
  ASSERT_NE(p, nullptr);
  auto* editor = qobject_cast<QLineEdit*>(frame.view()->OpenEditor(row, app::column::kValue));
  ASSERT_NE(editor, nullptr);
  editor->setText(QString::number(p->minimum));
  frame.view()->CloseEditor();
  EXPECT_TRUE(captured.shown.empty());
  EXPECT_TRUE(p->value_changed);
  EXPECT_TRUE(doc->modified);
  EXPECT_EQ(row->foreground(app::column::kValue).color(), QColor(0, 200, 0));
}

TEST_F(WindowTest, NavigationBetweenProblemParameters) {
  MakeDocument();
  MainWindow& frame = MakeWindow();
  TreeListView& view = *frame.view();
  auto rows = ParameterRows(view);
  ASSERT_GT(rows.size(), 5u);
  link::Parameter* first = TreeListView::ParameterOf(rows[1]);
  link::Parameter* second = TreeListView::ParameterOf(rows[4]);
  first->note = "Таймаут";
  second->SetCompareNote(link::kCompareNotePrefix, first->value, *first);
  view.RefreshAll();
  EXPECT_EQ(rows[1]->foreground(0).color(), QColor(255, 0, 0));
  EXPECT_EQ(rows[4]->foreground(0).color(), QColor(64, 64, 255));

  view.setCurrentItem(view.topLevelItem(0));
  frame.Action(277)->trigger();
  EXPECT_EQ(view.currentItem(), rows[1]);
  frame.Action(277)->trigger();
  EXPECT_EQ(view.currentItem(), rows[4]);
  frame.Action(277)->trigger();
  EXPECT_EQ(view.currentItem(), rows[4]);
  ASSERT_EQ(captured.shown.size(), 1u);
  EXPECT_EQ(captured.shown[0].text, kNoMoreProblems);
  EXPECT_EQ(captured.shown[0].icon, link::MsgIcon::Information);
  frame.Action(276)->trigger();
  EXPECT_EQ(view.currentItem(), rows[1]);
}

TEST_F(WindowTest, LinearIndexModeShowsAndHidesIndexes) {
  MakeDocument();
  MainWindow& frame = MakeWindow();
  auto indexed = [&] {
    for (QTreeWidgetItem* row : ParameterRows(*frame.view()))
      if (TreeListView::ParameterOf(row)->indexed) return row;
    return static_cast<QTreeWidgetItem*>(nullptr);
  };
  QTreeWidgetItem* row = indexed();
  if (!row) GTEST_SKIP() << "the description has no indexed parameter";
  const QString plain = row->text(1);
  frame.Action(app::cmd::kShowIndexes)->trigger();
  EXPECT_TRUE(row->text(1).startsWith(plain + ":"));
  frame.Action(app::cmd::kShowIndexes)->trigger();
  EXPECT_EQ(row->text(1), plain);
}

TEST_F(WindowTest, ResetCommandPutsNoDataBack) {
  MakeDocument();
  MainWindow& frame = MakeWindow();
  auto rows = ParameterRows(*frame.view());
  link::Parameter* p = TreeListView::ParameterOf(rows[0]);
  p->value = "12";
  p->note = "x";
  p->value_changed = true;
  frame.view()->RunRowCommand(32811, rows[0]);
  EXPECT_EQ(p->value, link::kNoData);
  EXPECT_TRUE(p->note.empty());
  EXPECT_FALSE(p->AnyChanged());
  EXPECT_EQ(rows[0]->text(2), Q(link::kNoData));
}

TEST_F(WindowTest, ContextMenus) {
  MakeDocument();
  MainWindow& frame = MakeWindow();
  TreeListView& view = *frame.view();
  QTreeWidgetItem* branch = nullptr;
  for (QTreeWidgetItemIterator it(&view); *it; ++it)
    if (TreeListView::NodeOf(*it)) {
      branch = *it;
      break;
    }
  ASSERT_NE(branch, nullptr);
  std::unique_ptr<QMenu> menu(view.BuildContextMenu(branch));
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->actions().size(), 4);
  EXPECT_EQ(menu->actions()[0]->text(), Q("Прочитать параметры ветви"));
  EXPECT_EQ(menu->actions()[3]->text(), Q("Сравнить с реальными значениями"));
  QTreeWidgetItem* row = ParameterRows(view)[0];
  TreeListView::ParameterOf(row)->writable = false;
  std::unique_ptr<QMenu> pmenu(view.BuildContextMenu(row));
  ASSERT_NE(pmenu, nullptr);
  QStringList texts;
  for (QAction* a : pmenu->actions())
    if (!a->isSeparator()) texts << a->text();
  EXPECT_EQ(texts,
            QStringList({Q("Прочитать параметр"), Q("Установить значение в \"Нет данных\"")}));
  EXPECT_EQ(view.BuildContextMenu(view.topLevelItem(0)), nullptr);
}

TEST_F(WindowTest, PlacementLockUntilTheTaskEnds) {
  MakeDocument();
  MainWindow& frame = MakeWindow();
  app::CommandLineSettings s;
  s.placement = app::placebit::kX | app::placebit::kY | app::placebit::kW | app::placebit::kH;
  s.x = 10;
  s.y = 20;
  s.w = 800;
  s.h = 600;
  frame.Place(s);
  EXPECT_TRUE(frame.PlacementLocked());
  EXPECT_EQ(frame.minimumSize(), QSize(800, 600));
  EXPECT_EQ(frame.maximumSize(), QSize(800, 600));
  frame.ClearPlacementLock();
  EXPECT_FALSE(frame.PlacementLocked());
  EXPECT_EQ(frame.minimumSize(), QSize(0, 0));
}

}  // namespace
}  // namespace vesk::ui::test
