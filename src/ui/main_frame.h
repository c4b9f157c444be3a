#pragma once
// CMainFrame: the program's one top-level window with the main menu, the accelerators,
// the tool bar, the status bar and the tree-list view; the About box; its part in the
// unattended run (placement lock, close gate while a task runs).

#include <QMainWindow>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"

class QAction;
class QLabel;

namespace vesk::app {
class CTRB6Doc;
}

namespace vesk::ui {

class ProgressWindow;
class RecentFileList;
class TreeListView;

inline constexpr const char* kAboutTitle = "О программе";

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  CMainFrame(app::CTRB6Doc& document, ProgressWindow& progress, QWidget* parent = nullptr);
  ~CMainFrame() override;

  TreeListView* view() const { return view_; }
  // The action of a menu command, or nullptr.
  QAction* action(int id) const;

  // Runs a command of the menus, the tool bar or the accelerators.
  void OnCommand(int id);
  // The document's title: the file's name, or "безымянный файл".
  std::string DocumentTitle() const;
  // Rebuilds the view for the document's (new) tree and sets the caption.
  void DocumentChanged();
  // Refreshes the check marks of the mode and converter items.
  void SyncChecks();

  // Places and shows the window as the keys x, y, w and h say; explicit placement locks
  // it until ClearPlacementLock.
  void Place(const app::CommandLineSettings& settings);
  void ClearPlacementLock();
  bool placementLocked() const { return placementLock_; }

  // The About box (modal).
  void ShowAbout();

  // The recently-used files and their menu items (rebuilt whenever the "Файл" menu opens).
  RecentFileList& recentFiles() { return *recent_; }
  void UpdateRecentMenu();
  const std::vector<QAction*>& recentActions() const { return recentActions_; }
  // Opens entry `i` of the list; a file that cannot be opened leaves the list. Returns
  // whether it was opened.
  bool OpenRecent(size_t i);
  // Opens a configuration file into the view. Returns whether it was opened.
  bool OpenFile(const std::string& path);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolBar();
  void BuildStatusBar();
  bool SaveAs();
  bool Save();

  app::CTRB6Doc& doc_;
  ProgressWindow& progress_;
  TreeListView* view_;
  QToolBar* toolBar_ = nullptr;
  std::map<int, QAction*> actions_;
  bool placementLock_ = false;
  QPoint lockedPos_;
  bool closePending_ = false;
  std::unique_ptr<RecentFileList> recent_;
  QMenu* fileMenu_ = nullptr;
  std::vector<QAction*> recentActions_;
};

}  // namespace vesk::ui
