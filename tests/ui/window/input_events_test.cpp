// The window driven as a user drives it: mouse clicks and keys on the widgets, the
// questions and prompts that follow.

#include <gtest/gtest.h>

#include <QAction>
#include <QCloseEvent>
#include <QCollator>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/cell_commit.h"
#include "app/edit_history.h"
#include "exchange/parameter_tasks.h"
#include "model/config_file.h"
#include "model/program_line_settings.h"
#include "platform/settings_store.h"
#include "ui/bus_scan_dialog.h"
#include "ui/command_ids.h"
#include "ui/main_window.h"
#include "ui/menu_table.h"
#include "ui/recent_file_list.h"
#include "ui/row_filter.h"
#include "ui/tree_list_view.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

class InputEventsTest : public WindowTest {
 protected:
  MainWindow& ShowWindow(const std::string& pty = {}) {
    MakeDocument(pty);
    // The rows are typed into, not read: a branch opened here would read a line that is
    // not there, and its failure streak would add its box to those the tests count.
    doc->modes().auto_read.store(false);
    MainWindow& frame = MakeWindow();
    frame.resize(1100, 700);
    frame.show();
    QApplication::setActiveWindow(&frame);
    frame.view()->setFocus();
    return frame;
  }
  QTreeWidgetItem* TextRow(TreeListView& view) { return EditableTextRow(view); }
  QTreeWidgetItem* ChoiceRow(TreeListView& view) {
    return FirstRow(view, [](const link::Parameter& p) {
      return PlainEditable(p) && app::ValueChoices(p).size() > 2;
    });
  }
  static void DoubleClick(TreeListView& view, QTreeWidgetItem* item, int column) {
    DoubleClickCell(view, item, column);
  }
  void TypeInto(TreeListView& view, QTreeWidgetItem* item, const QString& text, Qt::Key key) {
    TypeIntoCell(view, item, text, key);
  }
  std::string SaveQuestion() const {
    return std::string(kSaveChangesHead) + kUntitled + kSaveChangesTail;
  }
};

TEST_F(InputEventsTest, EscapeCancelsAndEnterCommits) {
  MainWindow& frame = ShowWindow();
  TreeListView& view = *frame.view();
  QTreeWidgetItem* row = TextRow(view);
  ASSERT_NE(row, nullptr);
  link::Parameter& p = *TreeListView::ParameterOf(row);
  const std::string before = p.value;
  const QString typed = QString::number(static_cast<int>(p.minimum));

  TypeInto(view, row, typed, Qt::Key_Escape);
  EXPECT_EQ(view.editor(), nullptr);
  EXPECT_EQ(p.value, before);
  EXPECT_FALSE(p.value_changed);
  EXPECT_FALSE(frame.isWindowModified());

  TypeInto(view, row, typed, Qt::Key_Return);
  EXPECT_EQ(view.editor(), nullptr);
  EXPECT_EQ(p.value, typed.toStdString());
  EXPECT_TRUE(p.value_changed);
  EXPECT_TRUE(frame.isWindowModified());
  EXPECT_TRUE(frame.windowTitle().contains("[*]"));
}

TEST_F(InputEventsTest, UnsavedEditsAreAskedAbout) {
  MainWindow& frame = ShowWindow();
  TreeListView& view = *frame.view();
  QTreeWidgetItem* row = TextRow(view);
  ASSERT_NE(row, nullptr);
  link::Parameter* p = TreeListView::ParameterOf(row);
  TypeInto(view, row, QString::number(static_cast<int>(p->minimum)), Qt::Key_Return);
  ASSERT_TRUE(doc->modified);

  // "Отмена" keeps everything: for New, and for closing the window.
  captured.answer = link::MsgAnswer::Cancel;
  QTest::keyClick(&frame, Qt::Key_N, Qt::ControlModifier);
  ASSERT_EQ(captured.shown.size(), 1u);
  EXPECT_EQ(captured.shown[0].text, SaveQuestion());
  EXPECT_EQ(captured.shown[0].icon, link::MsgIcon::Question);
  EXPECT_EQ(TreeListView::ParameterOf(row), p);
  EXPECT_TRUE(p->value_changed);
  QCloseEvent close;
  QApplication::sendEvent(&frame, &close);
  EXPECT_FALSE(close.isAccepted());
  EXPECT_EQ(captured.shown.size(), 2u);

  // "Нет" discards them.
  captured.answer = link::MsgAnswer::No;
  QTest::keyClick(&frame, Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(captured.shown.size(), 3u);
  EXPECT_FALSE(doc->modified);
  EXPECT_FALSE(frame.isWindowModified());
  QCloseEvent again;
  QApplication::sendEvent(&frame, &again);
  EXPECT_TRUE(again.isAccepted());
  EXPECT_EQ(captured.shown.size(), 3u);
}

TEST_F(InputEventsTest, FailedOpenKeepsTheDocument) {
  MainWindow& frame = ShowWindow();
  TreeListView& view = *frame.view();
  QTreeWidgetItem* row = TextRow(view);
  ASSERT_NE(row, nullptr);
  const std::string typed =
      std::to_string(static_cast<int>(TreeListView::ParameterOf(row)->minimum));
  TypeInto(view, row, QString::fromStdString(typed), Qt::Key_Return);
  const QString title = frame.windowTitle();
  const std::string bad = dir / "bad.vesk";
  std::ofstream(bad) << "this is not a configuration\n";

  // The file's name goes in again for as long as the dialog is up. It is typed into the
  // name field: selectFile leaves a focused field alone and only marks the file in the
  // listing, which a dialog still loading its folder does not have yet.
  const DialogAnswer<QFileDialog> answer([&](QFileDialog& dialog) {
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!name) return;
    name->setText(QString::fromStdString(bad));
    QMetaObject::invokeMethod(&dialog, "accept", Qt::QueuedConnection);
  });
  captured.answer = link::MsgAnswer::No;  // not saved first
  QTest::keyClick(&frame, Qt::Key_O, Qt::ControlModifier);
  EXPECT_TRUE(answer.answered());
  ASSERT_EQ(captured.shown.size(), 2u);
  EXPECT_EQ(captured.shown[1].text, model::kBadFormatText);
  EXPECT_EQ(frame.windowTitle(), title);
  EXPECT_TRUE(frame.isWindowModified());
  EXPECT_TRUE(doc->path_name.empty());
  frame.UpdateRecentMenu();
  EXPECT_TRUE(frame.recent_actions().empty());
  // The edited value is still there, in a row of the refilled tree.
  QTreeWidgetItem* again = TextRow(view);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->text(app::column::kValue).toStdString(), typed);
}

TEST_F(InputEventsTest, EditsAreAskedForBeforeAnImportOrAReadReplacesThem) {
  MainWindow& frame = ShowWindow();
  TreeListView& view = *frame.view();
  QTreeWidgetItem* row = TextRow(view);
  ASSERT_NE(row, nullptr);
  link::Parameter& p = *TreeListView::ParameterOf(row);
  const QString typed = QString::number(static_cast<int>(p.minimum));
  TypeInto(view, row, typed, Qt::Key_Return);
  ASSERT_TRUE(doc->modified);
  // Nothing may get as far as the file dialog: it would be closed unanswered.
  const DialogAnswer<QFileDialog> no_file([](QFileDialog& dialog) { dialog.reject(); });
  const struct {
    const char* what;
    std::function<void()> act;
  } cases[] = {
      {"import", [&] { ChooseMenuItem(frame, "Файл", "Импорт из JSON…"); }},
      {"read all", [&] { QTest::keyClick(&frame, Qt::Key_R, Qt::AltModifier); }},
      {"read branch",
       [&] {
         QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                           view.visualItemRect(row->parent()).center());
         QTest::keyClick(&frame, Qt::Key_R, Qt::AltModifier | Qt::ControlModifier);
       }},
  };
  captured.answer = link::MsgAnswer::Cancel;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    captured.shown.clear();
    c.act();
    ASSERT_EQ(captured.shown.size(), 1u);
    EXPECT_EQ(captured.shown[0].text, SaveQuestion());
    EXPECT_EQ(p.value, typed.toStdString());
    EXPECT_TRUE(p.value_changed);
  }
  EXPECT_FALSE(no_file.answered());
}

// The tree read from device 40, then device 17 chosen in the bus scan on a line that spoils
// a fifth of the replies.
TEST_F(InputEventsTest, AnotherDeviceIsReadIntoAnEmptyTreeAndItsGapsAreAskedForOnSave) {
  SimProcess sim(dir, {"--devices=17,40", "--bad-data=0.2", "--seed=5"});
  store->WriteDword(platform::kSettingsKey, model::kAddressValue, 40);
  MainWindow& frame = ShowWindow(sim.pty());
  doc->engine().set_attribute_transfer(false);  // one frame a value
  TreeListView& view = *frame.view();
  QTest::keyClick(&frame, Qt::Key_R, Qt::AltModifier);
  ASSERT_GT(doc->UnreadCount(), 0);
  QTreeWidgetItem* row = TextRow(view);
  ASSERT_NE(row, nullptr);
  link::Parameter& edited = *TreeListView::ParameterOf(row);
  TypeInto(view, row, QString::number(static_cast<int>(edited.minimum)), Qt::Key_Return);
  const std::string address = doc->engine().program_line().FindParameter("Addr")->value;

  const auto choose_17 = [&] {
    const DialogAnswer<BusScanDialog> answer([](BusScanDialog& dialog) {
      if (dialog.Running()) return;
      const QList<QTableWidgetItem*> found = dialog.list()->findItems("17", Qt::MatchExactly);
      if (found.isEmpty()) {
        dialog.from()->setValue(17);
        dialog.to()->setValue(17);
        if (dialog.status()->text().isEmpty())
          QTest::mouseClick(dialog.start_stop(), Qt::LeftButton);
        return;
      }
      const QRect cell = dialog.list()->visualItemRect(found[0]);
      QTest::mouseDClick(dialog.list()->viewport(), Qt::LeftButton, {}, cell.center());
    });
    ChooseMenuItem(frame, "Прибор", "Найти приборы на линии…");
  };
  captured.answer = link::MsgAnswer::Cancel;
  captured.shown.clear();
  choose_17();
  ASSERT_FALSE(captured.shown.empty());
  EXPECT_EQ(captured.shown[0].text, SaveQuestion());
  EXPECT_EQ(doc->engine().program_line().FindParameter("Addr")->value, address);
  EXPECT_TRUE(edited.value_changed);

  captured.answer = link::MsgAnswer::No;
  choose_17();
  EXPECT_EQ(doc->engine().program_line().FindParameter("Addr")->value, "17");
  int failed = 0;
  for (QTreeWidgetItemIterator it(&view); *it; ++it)
    if (link::Parameter* p = TreeListView::ParameterOf(*it);
        p && !p->IsPolled() && !p->note.empty() && !p->HasCompareNote()) {
      ++failed;
      EXPECT_EQ(p->value, link::kNoData) << p->short_name << ": " << p->note;
    }
  EXPECT_GT(failed, 0);

  // Saving what failed to read asks first; "Нет" writes nothing.
  const std::string saved = dir / "dev17.vesk";
  doc->path_name = saved;
  QApplication::setActiveWindow(&frame);  // back from the dialog
  const std::string question =
      QString::fromUtf8(kUnreadSaveQuestion).arg(doc->UnreadCount()).toStdString();
  for (const auto answer : {link::MsgAnswer::No, link::MsgAnswer::Yes}) {
    captured.answer = answer;
    captured.shown.clear();
    QTest::keyClick(&frame, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(captured.shown.size(), 1u);
    EXPECT_EQ(captured.shown[0].text, question);
    EXPECT_EQ(std::filesystem::exists(saved), answer == link::MsgAnswer::Yes);
  }
}

TEST_F(InputEventsTest, ChoiceListWorksWithMouseAndKeys) {
  MainWindow& frame = ShowWindow();
  TreeListView& view = *frame.view();
  QTreeWidgetItem* row = ChoiceRow(view);
  ASSERT_NE(row, nullptr);
  link::Parameter& p = *TreeListView::ParameterOf(row);
  const std::string before = p.value;

  DoubleClick(view, row, app::column::kValue);
  auto* combo = qobject_cast<QComboBox*>(view.editor());
  ASSERT_NE(combo, nullptr);
  // The arrow keys move through the closed list without committing.
  QTest::keyClick(combo, Qt::Key_Down);
  QTest::qWait(1);
  EXPECT_EQ(view.editor(), combo);
  EXPECT_EQ(p.value, before);
  EXPECT_EQ(combo->currentIndex(), 1);
  // F4 opens the list; Escape in it closes only the list.
  QTest::keyClick(combo, Qt::Key_F4);
  QTest::qWait(1);
  EXPECT_TRUE(combo->view()->isVisible());
  EXPECT_EQ(view.editor(), combo);
  QTest::keyClick(combo->view(), Qt::Key_Escape);
  QTest::qWait(1);
  EXPECT_EQ(view.editor(), combo);
  EXPECT_EQ(p.value, before);

  // A click on the arrow opens it; an item chosen with Enter is committed.
  QTest::mouseClick(combo, Qt::LeftButton, {}, QPoint(combo->width() - 6, combo->height() / 2));
  QTest::qWait(1);
  ASSERT_TRUE(combo->view()->isVisible());
  EXPECT_EQ(view.editor(), combo);
  const QString chosen = combo->itemText(2);
  combo->view()->setCurrentIndex(combo->model()->index(2, 0));
  QTest::keyClick(combo->view(), Qt::Key_Return);
  QTest::qWait(1);
  EXPECT_EQ(view.editor(), nullptr);
  EXPECT_EQ(p.value, chosen.toStdString());
  EXPECT_TRUE(p.value_changed);
}

TEST_F(InputEventsTest, HelpBalloonStaysWhileTheEditorIsOpen) {
  MainWindow& frame = ShowWindow();
  TreeListView& view = *frame.view();
  QTreeWidgetItem* row = TextRow(view);
  ASSERT_NE(row, nullptr);
  const QString title = QString::fromStdString(app::EditHelpTitle(*TreeListView::ParameterOf(row)));
  auto balloon_shown = [&] {
    for (QWidget* w : QApplication::allWidgets())
      if (auto* label = qobject_cast<QLabel*>(w);
          label && label->isVisible() && label->text().contains(title.toHtmlEscaped()))
        return true;
    return false;
  };
  DoubleClick(view, row, app::column::kValue);  // the release comes after the double click
  ASSERT_NE(view.editor(), nullptr);
  EXPECT_TRUE(balloon_shown());
  QTest::keyClicks(view.editor(), "1");
  QTest::qWait(1);
  EXPECT_TRUE(balloon_shown());
  QTest::keyClick(view.editor(), Qt::Key_Escape);
  QTest::qWait(1);
  EXPECT_FALSE(balloon_shown());
}

TEST_F(InputEventsTest, MenuKeyOpensTheMenuOfTheCurrentRow) {
  MainWindow& frame = ShowWindow();
  TreeListView& view = *frame.view();
  QTreeWidgetItem* row = TextRow(view);
  ASSERT_NE(row, nullptr);
  for (QTreeWidgetItem* up = row->parent(); up; up = up->parent()) up->setExpanded(true);
  view.setCurrentItem(row);
  view.setFocus();
  QRect menu_place;
  QTreeWidgetItem* current = nullptr;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    menu_place = menu->geometry();
    current = view.currentItem();
    menu->close();
  });
  // The keyboard's context-menu request, as the platform sends it for the Menu key and
  // Shift+F10: at the centre of the focus widget's cursor rectangle.
  const QPoint at = view.inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
  QContextMenuEvent event(QContextMenuEvent::Keyboard, at, view.mapToGlobal(at));
  QApplication::sendEvent(&view, &event);
  EXPECT_EQ(current, row);
  const QRect row_place(view.viewport()->mapToGlobal(view.visualItemRect(row).topLeft()),
                        view.visualItemRect(row).size());
  EXPECT_NEAR(menu_place.top(), row_place.bottom(), row_place.height());
}

TEST_F(InputEventsTest, UnchangeableValuesOpenNoEditorAndSayWhy) {
  MainWindow& frame = ShowWindow();
  TreeListView& view = *frame.view();
  QTreeWidgetItem* row = TextRow(view);
  ASSERT_NE(row, nullptr);
  link::Parameter& p = *TreeListView::ParameterOf(row);
  const struct {
    bool writable, firm;
    const char* prompt;
  } cases[] = {{false, false, kReadOnlyPrompt}, {true, true, kFirmOwnedPrompt}};
  for (const auto& c : cases) {
    p.writable = c.writable;
    p.owned_by_firm = c.firm;
    DoubleClick(view, row, app::column::kValue);
    EXPECT_EQ(view.editor(), nullptr) << c.prompt;
    EXPECT_EQ(frame.statusBar()->currentMessage(), QString::fromUtf8(c.prompt));
  }
}

// Typed as a keyboard types it, one key event a character (Cyrillic included).
void TypeText(QWidget* widget, const QString& text) {
  for (const QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
  }
}

bool Matches(const QTreeWidgetItem* item, const QString& text) {
  QStringList texts{item->text(0), item->text(1), item->text(2)};
  if (const link::Parameter* p = TreeListView::ParameterOf(item))
    texts << QString::fromStdString(p->caption) << QString::fromStdString(p->short_name);
  for (const QString& t : texts)
    if (t.contains(text, Qt::CaseInsensitive)) return true;
  return false;
}

TEST_F(InputEventsTest, CtrlFShowsOnlyMatchingRowsAndEscapeBringsAllBack) {
  MainWindow& frame = ShowWindow();
  TreeListView& view = *frame.view();
  QTreeWidgetItem* row = TextRow(view);
  ASSERT_NE(row, nullptr);
  const link::Parameter& p = *TreeListView::ParameterOf(row);
  int all = 0;
  for (QTreeWidgetItemIterator it(&view); *it; ++it) all += !(*it)->isHidden();

  QTest::keyClick(&view, Qt::Key_F, Qt::ControlModifier);
  FilterBar& bar = *frame.filter_bar();
  ASSERT_TRUE(bar.isVisible());
  ASSERT_TRUE(bar.edit()->hasFocus());
  const QString caption_word = QString::fromStdString(p.caption).section(' ', 0, 0);
  const struct {
    QString typed;
    bool finds_row;
  } cases[] = {
      {QString::fromStdString(p.short_name).toLower(), true},  // case aside
      {caption_word.toUpper(), true},
      {QStringLiteral("нет-такого-текста"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    QTest::keyClick(bar.edit(), Qt::Key_A, Qt::ControlModifier);
    TypeText(bar.edit(), c.typed);
    EXPECT_EQ(!row->isHidden(), c.finds_row);
    int shown = 0;
    for (QTreeWidgetItemIterator it(&view); *it; ++it) {
      QTreeWidgetItem* item = *it;
      if (item->isHidden()) {
        // A hidden row matches nothing, nor does a branch above it.
        EXPECT_FALSE(Matches(item, c.typed)) << item->text(0).toStdString();
        continue;
      }
      ++shown;
      // A row shown matches, or lies under a branch that does, or leads to one that does.
      bool reason = Matches(item, c.typed);
      for (QTreeWidgetItem* up = item->parent(); up && !reason; up = up->parent())
        reason = Matches(up, c.typed);
      std::function<bool(const QTreeWidgetItem*)> below = [&](const QTreeWidgetItem* branch) {
        for (int i = 0; i < branch->childCount(); ++i) {
          const QTreeWidgetItem* child = branch->child(i);
          if (!child->isHidden() && (Matches(child, c.typed) || below(child))) return true;
        }
        return false;
      };
      reason = reason || below(item);
      EXPECT_TRUE(reason || !item->parent()) << item->text(0).toStdString();
      if (below(item)) {
        EXPECT_TRUE(item->isExpanded()) << item->text(0).toStdString();
      }
    }
    EXPECT_LT(shown, all);
    const QString found = bar.findChild<QLabel*>(QStringLiteral("filter_found"))->text();
    EXPECT_EQ(found == QString::fromUtf8(kFilterNothing), !c.finds_row);
  }

  QTest::keyClick(bar.edit(), Qt::Key_Escape);
  EXPECT_FALSE(bar.isVisible());
  EXPECT_TRUE(bar.edit()->text().isEmpty());
  EXPECT_TRUE(view.hasFocus());
  int back = 0;
  for (QTreeWidgetItemIterator it(&view); *it; ++it) back += !(*it)->isHidden();
  EXPECT_EQ(back, all);
}

TEST_F(InputEventsTest, HeaderClicksSortAndTheThirdBringsTheDeviceOrderBack) {
  MainWindow& frame = ShowWindow();
  TreeListView& view = *frame.view();
  QCollator collator(QLocale(QLocale::Russian, QLocale::Russia));
  collator.setNumericMode(true);
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  auto texts = [](const QTreeWidgetItem* branch) {
    QStringList t;
    for (int i = 0; i < branch->childCount(); ++i) t << branch->child(i)->text(0);
    return t;
  };
  // A branch whose rows the description does not give in the order of their captions.
  QTreeWidgetItem* branch = nullptr;
  for (QTreeWidgetItemIterator it(&view); *it && !branch; ++it) {
    QStringList t = texts(*it);
    QStringList sorted = t;
    std::sort(sorted.begin(), sorted.end(), collator);
    if (t.size() > 2 && t != sorted) branch = *it;
  }
  ASSERT_NE(branch, nullptr);
  const QStringList device = texts(branch);
  QStringList ascending = device;
  std::sort(ascending.begin(), ascending.end(), collator);
  QStringList descending(ascending.rbegin(), ascending.rend());

  QHeaderView& header = *view.header();
  const QPoint caption(header.sectionViewportPosition(0) + header.sectionSize(0) / 2,
                       header.height() / 2);
  const struct {
    const QStringList& order;
    bool indicator;
  } clicks[] = {{ascending, true}, {descending, true}, {device, false}, {ascending, true}};
  for (const auto& c : clicks) {
    QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, caption);
    EXPECT_EQ(texts(branch), c.order);
    EXPECT_EQ(header.isSortIndicatorShown(), c.indicator);
  }
  // The menu item brings the device's order back as well.
  QMenu* tree_menu = nullptr;
  for (QAction* a : frame.menuBar()->actions())
    if (a->text().contains(QStringLiteral("Дерево"))) tree_menu = a->menu();
  ASSERT_NE(tree_menu, nullptr);
  QTest::mouseClick(frame.menuBar(), Qt::LeftButton, {},
                    frame.menuBar()->actionGeometry(tree_menu->menuAction()).center());
  QTest::qWait(1);
  QAction* order = frame.Action(cmd::kTreeOrder);
  ASSERT_TRUE(tree_menu->isVisible());
  QTest::mouseClick(tree_menu, Qt::LeftButton, {}, tree_menu->actionGeometry(order).center());
  EXPECT_EQ(texts(branch), device);
  EXPECT_FALSE(header.isSortIndicatorShown());
}

TEST_F(InputEventsTest, EditsAreTakenBackByCtrlZAndTheRowMenu) {
  MainWindow& frame = ShowWindow();
  TreeListView& view = *frame.view();
  QTreeWidgetItem* row = TextRow(view);
  ASSERT_NE(row, nullptr);
  link::Parameter& p = *TreeListView::ParameterOf(row);
  // Opening the branch reads nothing: the row keeps its colour until it is edited.
  doc->modes().auto_read.store(false);
  for (QTreeWidgetItem* up = row->parent(); up; up = up->parent()) up->setExpanded(true);
  const std::string before = p.value;
  const QColor colour = row->foreground(app::column::kValue).color();
  const QString first = QString::number(static_cast<int>(p.minimum));
  const QString second = QString::number(static_cast<int>(p.maximum));

  TypeInto(view, row, first, Qt::Key_Return);
  ASSERT_TRUE(p.value_changed);
  ASSERT_NE(row->foreground(app::column::kValue).color(), colour);
  QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(p.value, before);
  EXPECT_FALSE(p.value_changed);
  EXPECT_EQ(row->foreground(app::column::kValue).color(), colour);
  QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(frame.statusBar()->currentMessage(), QString::fromUtf8(app::kNothingToUndoText));

  // Two edits: the row's menu takes them back one at a time, newest first.
  TypeInto(view, row, first, Qt::Key_Return);
  TypeInto(view, row, second, Qt::Key_Return);
  auto undo_from_menu = [&] {
    view.setCurrentItem(row);
    view.setFocus();
    bool offered = false;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr);
      for (QAction* a : menu->actions()) {
        if (a->text() != QString::fromUtf8(app::kUndoItemText)) continue;
        offered = true;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        return;
      }
      menu->close();
    });
    const QPoint at = view.visualItemRect(row).center();
    QContextMenuEvent event(QContextMenuEvent::Keyboard, at, view.viewport()->mapToGlobal(at));
    QApplication::sendEvent(&view, &event);
    QTest::qWait(1);
    return offered;
  };
  EXPECT_TRUE(undo_from_menu());
  EXPECT_EQ(p.value, first.toStdString());
  EXPECT_TRUE(p.value_changed);
  EXPECT_TRUE(undo_from_menu());
  EXPECT_EQ(p.value, before);
  EXPECT_FALSE(p.value_changed);
  EXPECT_EQ(row->foreground(app::column::kValue).color(), colour);
  // A black row offers nothing to take back.
  EXPECT_FALSE(undo_from_menu());
}

}  // namespace
}  // namespace vesk::ui::test
