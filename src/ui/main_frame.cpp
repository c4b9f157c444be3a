#include "ui/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QWindowStateChangeEvent>

#include "app/document.h"
#include "model/tree_builder.h"
#include "platform/build_info.h"
#include "platform/settings_store.h"
#include "ui/command_ids.h"
#include "ui/menu_table.h"
#include "ui/progress_window.h"
#include "ui/recent_file_list.h"
#include "ui/tree_list_view.h"

namespace vesk::ui {
namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool Checkable(int id) {
  switch (id) {
    case app::cmd::kShowIndexes:
    case app::cmd::kAutoRead:
    case app::cmd::kImmediateWrite:
    case app::cmd::kNoAttributes:
    case app::cmd::kConverterAuto:
    case app::cmd::kConverterSemiAuto:
    case cmd::kToolBar:
    case cmd::kStatusBar:
      return true;
    default:
      return false;
  }
}

// Pictures for the commands that have one, from the style's own set.
QIcon CommandIcon(QStyle* style, int id) {
  switch (id) {
    case cmd::kFileNew:
      return style->standardIcon(QStyle::SP_FileIcon);
    case cmd::kFileOpen:
      return style->standardIcon(QStyle::SP_DialogOpenButton);
    case cmd::kFileSave:
      return style->standardIcon(QStyle::SP_DialogSaveButton);
    case app::cmd::kReadAll:
      return style->standardIcon(QStyle::SP_ArrowDown);
    case app::cmd::kWriteAll:
      return style->standardIcon(QStyle::SP_ArrowUp);
    case app::cmd::kWriteChanged:
      return style->standardIcon(QStyle::SP_DialogApplyButton);
    case cmd::kTreeRead:
      return style->standardIcon(QStyle::SP_FileDialogContentsView);
    case cmd::kTreeWrite:
      return style->standardIcon(QStyle::SP_FileDialogDetailedView);
    case cmd::kTreeWriteChanged:
      return style->standardIcon(QStyle::SP_FileDialogListView);
    case app::cmd::kInitialiseDevice:
      return style->standardIcon(QStyle::SP_BrowserReload);
    case app::cmd::kInit:
      return style->standardIcon(QStyle::SP_MediaPlay);
    case app::cmd::kStateInOut:
      return style->standardIcon(QStyle::SP_DriveNetIcon);
    case cmd::kPrevProblem:
      return style->standardIcon(QStyle::SP_ArrowBack);
    case cmd::kNextProblem:
      return style->standardIcon(QStyle::SP_ArrowForward);
    case cmd::kAppAbout:
      return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case app::cmd::kPortSetup:
      return style->standardIcon(QStyle::SP_ComputerIcon);
    case app::cmd::kExportHtml:
      return style->standardIcon(QStyle::SP_FileLinkIcon);
    case app::cmd::kHelp:
      return style->standardIcon(QStyle::SP_DialogHelpButton);
    case cmd::kAppExit:
      return style->standardIcon(QStyle::SP_DialogCloseButton);
    default:
      return {};
  }
}

}  // namespace

CMainFrame::CMainFrame(app::CTRB6Doc& document, ProgressWindow& progress, QWidget* parent)
    : QMainWindow(parent), doc_(document), progress_(progress) {
  recent_ = std::make_unique<RecentFileList>(platform::SettingsStore::Default());
  view_ = new TreeListView(document, this);
  setCentralWidget(view_);
  setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  connect(&progress_, &ProgressWindow::finished, this, [this] {
    // A close asked for while a task ran comes true once it has ended.
    if (closePending_) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  });
  resize(1100, 700);
  UpdateRecentMenu();
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::action(int id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::BuildMenus() {
  for (const TopMenu& top : MainMenu()) {
    QMenu* menu = menuBar()->addMenu(Q(top.title));
    QMenu* sub = nullptr;
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::SyncChecks);
    for (const MenuEntry& e : top.entries) {
      QMenu* into = e.depth == 1 && sub ? sub : menu;
      if (e.id == 0) {
        into->addSeparator();
        continue;
      }
      if (e.id == -1) {
        sub = menu->addMenu(Q(e.text));
        continue;
      }
      QAction* a = into->addAction(Q(e.text));
      a->setData(e.id);
      a->setIcon(CommandIcon(style(), e.id));
      a->setIconVisibleInMenu(true);
      if (*e.keys) {
        a->setShortcut(QKeySequence(Q(e.keys)));
        a->setShortcutContext(Qt::WindowShortcut);
      }
      if (const std::string_view tip = PromptStatusText(e.id); !tip.empty())
        a->setStatusTip(Q(tip));
      if (const std::string_view tip = PromptToolTip(e.id); !tip.empty()) a->setToolTip(Q(tip));
      a->setCheckable(Checkable(e.id));
      if (e.id == cmd::kRecentFile) {
        a->setEnabled(false);
        fileMenu_ = into;
        connect(into, &QMenu::aboutToShow, this, &CMainFrame::UpdateRecentMenu);
      }
      const int id = e.id;
      connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
      actions_[e.id] = a;
    }
  }
  SyncChecks();
}

void CMainFrame::BuildToolBar() {
  toolBar_ = addToolBar(QStringLiteral("Панель инструментов"));
  toolBar_->setObjectName("toolbar");
  toolBar_->setIconSize(QSize(23, 22));
  for (int id : ToolBarCommands()) {
    if (id == 0) {
      toolBar_->addSeparator();
    } else if (QAction* a = action(id)) {
      toolBar_->addAction(a);
    }
  }
}

void CMainFrame::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
    auto* label = new QLabel(QString::fromLatin1(indicator), bar);
    label->setEnabled(false);
    bar->addPermanentWidget(label);
  }
  bar->showMessage(Q(kIdlePrompt));
  connect(bar, &QStatusBar::messageChanged, this, [bar](const QString& text) {
    if (text.isEmpty()) bar->showMessage(Q(kIdlePrompt));
  });
}

void CMainFrame::SyncChecks() {
  for (int id : {app::cmd::kShowIndexes, app::cmd::kAutoRead, app::cmd::kImmediateWrite,
                 app::cmd::kNoAttributes, app::cmd::kConverterAuto, app::cmd::kConverterSemiAuto})
    if (QAction* a = action(id)) a->setChecked(doc_.IsChecked(id));
  if (QAction* a = action(cmd::kToolBar)) a->setChecked(toolBar_ ? toolBar_->isVisible() : true);
  if (QAction* a = action(cmd::kStatusBar)) a->setChecked(statusBar()->isVisible());
}

std::string CMainFrame::DocumentTitle() const {
  if (doc_.pathName.empty()) return kUntitled;
  return QFileInfo(QString::fromStdString(doc_.pathName)).fileName().toStdString();
}

void CMainFrame::DocumentChanged() {
  const std::string title = DocumentTitle();
  setWindowTitle(Q(title) + " - " + Q(kApplicationTitle));
  view_->Fill(title);
}

void CMainFrame::OnCommand(int id) {
  switch (id) {
    case cmd::kFileNew:
      view_->ClearRows();
      doc_.OnNewDocument();
      DocumentChanged();
      return;
    case cmd::kFileOpen: {
      const QString path =
          QFileDialog::getOpenFileName(this, Q(kOpenFileTitle), QString(), Q(kFileFilter));
      if (!path.isEmpty()) OpenFile(path.toStdString());
      return;
    }
    case cmd::kFileSave:
      Save();
      return;
    case cmd::kFileSaveAs:
      SaveAs();
      return;
    case cmd::kAppExit:
      close();
      return;
    case cmd::kAppAbout:
      ShowAbout();
      return;
    case cmd::kPrevProblem:
    case cmd::kNextProblem:
      view_->GoToProblem(id == cmd::kNextProblem);
      return;
    case cmd::kTreeRead:
    case cmd::kTreeWrite:
    case cmd::kTreeWriteChanged:
    case cmd::kTreeCompare:
      view_->RunRowCommand(id, view_->currentItem());
      return;
    case cmd::kToolBar:
      toolBar_->setVisible(!toolBar_->isVisible());
      SyncChecks();
      return;
    case cmd::kStatusBar:
      statusBar()->setVisible(!statusBar()->isVisible());
      SyncChecks();
      return;
    default:
      break;
  }
  if (app::CTRB6Doc::HandlesCommand(id)) {
    doc_.OnCommand(id);
    SyncChecks();
    view_->RefreshAll();
  }
}

bool CMainFrame::Save() {
  if (doc_.pathName.empty()) return SaveAs();
  return doc_.OnSaveDocument(doc_.pathName);
}

bool CMainFrame::SaveAs() {
  QString path = QFileDialog::getSaveFileName(
      this, Q(kSaveFileTitle), QString::fromStdString(doc_.pathName), Q(kFileFilter));
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += Q(kFileExtension);
  if (!doc_.OnSaveDocument(path.toStdString())) return false;
  doc_.pathName = path.toStdString();
  recent_->Add(doc_.pathName);
  const std::string title = DocumentTitle();
  setWindowTitle(Q(title) + " - " + Q(kApplicationTitle));
  if (QTreeWidgetItem* top = view_->topLevelItem(0))
    top->setText(0, Q("Конфигурация ВЕСК (" + title + ")"));
  return true;
}

bool CMainFrame::OpenFile(const std::string& path) {
  view_->ClearRows();
  const bool opened = doc_.OnOpenDocument(path);
  if (opened) recent_->Add(path);
  DocumentChanged();
  return opened;
}

// ---------------------------------------------------------------- recent files

void CMainFrame::UpdateRecentMenu() {
  QAction* placeholder = action(cmd::kRecentFile);
  if (!fileMenu_ || !placeholder) return;
  for (QAction* a : recentActions_) {
    fileMenu_->removeAction(a);
    a->deleteLater();
  }
  recentActions_.clear();
  // Another instance may have changed the profile meanwhile.
  recent_->Load();
  const std::vector<std::string>& entries = recent_->entries();
  // The greyed "Recent File" stands in while the list is empty.
  placeholder->setVisible(entries.empty());
  for (size_t i = 0; i < entries.size(); ++i) {
    auto* a = new QAction(Q(recent_->MenuText(i)), fileMenu_);
    a->setData(cmd::kRecentFile + static_cast<int>(i));
    a->setStatusTip(Q(entries[i]));
    fileMenu_->insertAction(placeholder, a);
    connect(a, &QAction::triggered, this, [this, i] { OpenRecent(i); });
    recentActions_.push_back(a);
  }
}

bool CMainFrame::OpenRecent(size_t i) {
  if (i >= recent_->entries().size()) return false;
  const std::string path = recent_->entries()[i];
  const bool opened = OpenFile(path);
  // The file is no longer there to be opened: it leaves the list.
  if (!opened) recent_->Remove(path);
  UpdateRecentMenu();
  return opened;
}

void CMainFrame::ShowAbout() {
  QDialog box(this);
  box.setWindowTitle(Q(kAboutTitle));
  auto* grid = new QGridLayout(&box);
  auto* icon = new QLabel(&box);
  icon->setPixmap(windowIcon().pixmap(32, 32));
  grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
  grid->addWidget(new QLabel(Q(model::kProgramTitle), &box), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("версия ") + QStringLiteral(VESK_VERSION), &box), 1, 1);
  grid->addWidget(new QLabel(QStringLiteral(VESK_COPYRIGHT), &box), 2, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
  connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  grid->addWidget(buttons, 3, 0, 1, 2);
  box.exec();
}

// ---------------------------------------------------------------- placement

void CMainFrame::Place(const app::CommandLineSettings& s) {
  using namespace app::placebit;
  const bool wh = (s.placement & kW) && (s.placement & kH);
  const bool xy = (s.placement & kX) && (s.placement & kY);
  if (wh && s.w == 0 && s.h == 0) {
    showMinimized();
  } else if (wh && xy) {
    setGeometry(s.x, s.y, s.w, s.h);
    show();
    move(s.x, s.y);
    placementLock_ = true;
    lockedPos_ = pos();
    setFixedSize(size());
  } else {
    showMaximized();
  }
  update();
}

void CMainFrame::ClearPlacementLock() {
  placementLock_ = false;
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void CMainFrame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // While locked the window is neither minimised nor maximised.
  if (event->type() == QEvent::WindowStateChange && placementLock_ &&
      (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
    QMetaObject::invokeMethod(
        this, [this] { setWindowState(Qt::WindowNoState); }, Qt::QueuedConnection);
}

void CMainFrame::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (placementLock_ && pos() != lockedPos_)
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (placementLock_) move(lockedPos_);
        },
        Qt::QueuedConnection);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // A running task is cancelled first; the window closes once it has ended.
  if (progress_.isOpen()) {
    closePending_ = true;
    doc_.engine().Cancel();
    event->ignore();
    return;
  }
  closePending_ = false;
  event->accept();
}

}  // namespace vesk::ui
