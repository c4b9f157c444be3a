// The File menu's configurations as text through real clicks and keys: the menu opened on
// the menu bar, the item clicked, the file dialog filled by typing; then what the files
// hold, what the tree shows and which messages came.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <fstream>
#include <iterator>

#include "ui/tree_list_view.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

QAction* ActionTitled(const QList<QAction*>& actions, const QString& text) {
  for (QAction* a : actions)
    if (a->text() == text) return a;
  return nullptr;
}

// Clicks "Файл", then `item`, and types `path` into the file dialog that opens.
void ChooseFromFileMenu(QMainWindow& window, const char* item, const std::string& path) {
  QMenuBar* bar = window.menuBar();
  QAction* file = ActionTitled(bar->actions(), QString::fromUtf8("&Файл"));
  ASSERT_NE(file, nullptr);
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(file).center());
  QMenu* menu = file->menu();
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
  QAction* action = ActionTitled(menu->actions(), QString::fromUtf8(item));
  ASSERT_NE(action, nullptr) << item;

  // The dialog runs a loop of its own; it is driven from a timer once it is up: the path
  // typed, then Return, or Escape while the completion list that typing opens (once the
  // folder is listed) is up. A dialog that outlives that is closed, so that a failure
  // cannot hang the test.
  int step = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QFileDialog* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible()) dialog = d;
    auto* name = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
    auto* buttons = dialog ? dialog->findChild<QDialogButtonBox*>("buttonBox") : nullptr;
    if (!name || !buttons) return;
    QAbstractItemView* completions = name->completer() ? name->completer()->popup() : nullptr;
    if (step == 0) {
      name->selectAll();
      QTest::keyClicks(name, Q(path));
    } else if (step > 50) {
      ADD_FAILURE() << "the file dialog did not take " << path;
      dialog->reject();
    } else if (completions && completions->isVisible()) {
      QTest::keyClick(completions, Qt::Key_Escape);
    } else {
      QTest::keyClick(name, Qt::Key_Return);
    }
    ++step;
  });
  poll.start(20);
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
  poll.stop();
  EXPECT_GT(step, 0) << item;
}

QTreeWidgetItem* RowOf(QTreeWidget& view, const std::string& name, int32_t index) {
  for (QTreeWidgetItemIterator it(&view); *it; ++it) {
    const link::Parameter* p = TreeListView::ParameterOf(*it);
    if (p && p->short_name == name && p->indexed && p->linear_index == index) return *it;
  }
  return nullptr;
}

TEST_F(WindowTest, FileMenuExportsImportsAndComparesJson) {
  MakeDocument();
  auto& window = MakeWindow();
  // The dialogs open in the working folder; names are typed as a person would there.
  const QString previous = QDir::currentPath();
  QDir::setCurrent(Q(dir.path()));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ChooseFromFileMenu(window, "Экспорт в JSON…", "fresh.json");
  const std::string fresh = ReadAll(dir / "fresh.json");
  const std::string line = R"("name":"FiLt","index":3,"value":"Нет данных")";
  for (const Shown& m : captured.shown) ADD_FAILURE() << m.caption << ": " << m.text;
  ASSERT_NE(fresh.find(line), std::string::npos) << fresh.substr(0, 300);
  std::string edited = fresh;
  edited.replace(edited.find(line), line.size(), R"("name":"FiLt","index":3,"value":"77")");
  std::ofstream(dir / "edited.json", std::ios::binary) << edited;

  ChooseFromFileMenu(window, "Сравнить с файлом…", "edited.json");
  ASSERT_EQ(captured.shown.size(), 1u);
  EXPECT_EQ(captured.shown[0].caption, "Результат сравнения с файлом");
  EXPECT_EQ(captured.shown[0].text.rfind("Обнаружено 1 отличий:\n\n1) Параметер 'FiLt", 0), 0u);
  QTreeWidgetItem* row = RowOf(*window.view(), "FiLt", 3);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->foreground(2).color(), QColor(64, 64, 255));
  EXPECT_EQ(row->text(5), QString::fromUtf8("Знач-е в файле: '77',Ред-ый,польз."));

  ChooseFromFileMenu(window, "Импорт из JSON…", "edited.json");
  row = RowOf(*window.view(), "FiLt", 3);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->text(2), "77");
  EXPECT_TRUE(doc->modified);
  EXPECT_TRUE(doc->path_name.empty());

  // A refused text leaves the document as it was.
  std::ofstream(dir / "broken.json", std::ios::binary) << "{\"format\":";
  ChooseFromFileMenu(window, "Импорт из JSON…", "broken.json");
  ASSERT_EQ(captured.shown.size(), 2u);
  EXPECT_NE(captured.shown[1].text.find("Неверный JSON: строка 1"), std::string::npos);
  EXPECT_EQ(RowOf(*window.view(), "FiLt", 3)->text(2), "77");
  QDir::setCurrent(previous);
}

}  // namespace
}  // namespace vesk::ui::test
