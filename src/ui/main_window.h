#pragma once
// MainWindow: the program's one top-level window with the main menu, the accelerators,
// the tool bar, the status bar and the tree-list view; the About box; its part in the
// unattended run (placement lock, close gate while a task runs).

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/language.h"

class QAction;
class QLabel;

namespace vesk::app {
class Document;
}

namespace vesk::ui {

class ExchangeStatus;
class FilterBar;
class ProgressWindow;
class RecentFileList;
class PlotWindow;
class TrafficPanel;
class TreeListView;

inline constexpr const char* kAboutTitle = QT_TRANSLATE_NOOP("vesk", "О программе");
inline constexpr const char* kSaveChangesHead =
    QT_TRANSLATE_NOOP("vesk", "Сохранить изменения в «");
inline constexpr const char* kSaveChangesTail = QT_TRANSLATE_NOOP("vesk", "»?");
// Asked before a configuration is saved with parameters whose read failed; %1 is their
// count.
inline constexpr const char* kUnreadSaveQuestion =
    QT_TRANSLATE_NOOP("vesk", "%1 параметров не прочитаны. Сохранить?");
// How long a prompt of the view stays in the status bar.
inline constexpr int kPromptMs = 8000;
// How often the status bar looks at the line.
inline constexpr int kLineStatusMs = 500;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  MainWindow(app::Document& document, ProgressWindow& progress, ExchangeStatus& status,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  TreeListView* view() const { return view_; }
  // The filter box above the view (hidden until Ctrl+F).
  FilterBar* filter_bar() const { return filter_bar_; }
  // The "Обмен с прибором" panel (hidden until "Линия" shows it).
  TrafficPanel* traffic() const { return traffic_; }
  // The "Графики" window once "Линия" → "Графики" has opened it.
  PlotWindow* plots() const { return plots_; }
  // The action of a menu command, or nullptr.
  QAction* Action(int id) const;

  // The document's title: the file's name, or "безымянный файл" in the current language.
  std::string DocumentTitle() const;
  // Rebuilds the view for the document's (new) tree and sets the caption.
  void DocumentChanged();
  // Refreshes the check marks of the mode and converter items.
  void SyncChecks();
  // The caption's unsaved mark follows the document's modified flag.
  void SyncModified();
  // Asks whether unsaved changes are saved first: true when the caller may go on (saved,
  // or "Нет"), false for "Отмена" or a failed save.
  bool MaybeSave();
  // MaybeSave before something replaces values of the tree, when `edits_replaced` (the
  // document's ReadReplacesEdits) says that edits not yet saved would go.
  bool MayReplaceEdits(bool edits_replaced);
  // The close of an unattended run: nobody is there to answer a question.
  void CloseWithoutAsking();

  // Places and shows the window as the keys x, y, w and h say; explicit placement locks
  // it until ClearPlacementLock.
  void Place(const app::CommandLineSettings& settings);
  void ClearPlacementLock();
  bool PlacementLocked() const { return placement_lock_; }

  // The About box (modal).
  void ShowAbout();

  // The recently-used files and their menu items (rebuilt whenever the "Файл" menu opens).
  RecentFileList& RecentFiles() { return *recent_; }
  void UpdateRecentMenu();
  const std::vector<QAction*>& recent_actions() const { return recent_actions_; }
  // Opens entry `i` of the list; a file that cannot be opened leaves the list. Returns
  // whether it was opened.
  bool OpenRecent(size_t i);
  // Opens a configuration file into the view. Returns whether it was opened.
  bool OpenFile(const std::string& path);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  // What the action of a menu command does; empty for an item that only opens a list.
  std::function<void()> HandlerFor(int id);
  void BuildMenus();
  void BuildToolBar();
  void BuildStatusBar();
  void BuildLinePanels();
  void SetCaption();
  void UpdateLineStatus();
  // The language of the next start: the one kept in the settings, else the current one.
  platform::Language NextStartLanguage() const;
  // Keeps `language` in the settings for the next start and says so, or why it could not.
  void KeepLanguage(platform::Language language);
  bool SaveAs();
  bool Save();
  // Asks first when parameters of the tree failed to read: true when the save may go on.
  bool MaySaveUnread();
  bool ExportJson();

  app::Document& doc_;
  ProgressWindow& progress_;
  ExchangeStatus& status_;
  TreeListView* view_;
  FilterBar* filter_bar_ = nullptr;
  TrafficPanel* traffic_ = nullptr;
  PlotWindow* plots_ = nullptr;
  QToolBar* tool_bar_ = nullptr;
  std::map<int, QAction*> actions_;
  bool placement_lock_ = false;
  QPoint locked_pos_;
  bool close_pending_ = false;
  bool ask_before_discard_ = true;
  QLabel* line_label_ = nullptr;
  QLabel* state_label_ = nullptr;
  std::unique_ptr<RecentFileList> recent_;
  QMenu* file_menu_ = nullptr;
  std::vector<QAction*> recent_actions_;
};

}  // namespace vesk::ui
