#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

#include "app/document.h"
#include "app/document_json.h"
#include "exchange/exchange_engine.h"
#include "link/port_settings.h"
#include "link/presenter.h"
#include "model/tree_builder.h"
#include "platform/build_info.h"
#include "platform/language.h"
#include "platform/settings_store.h"
#include "ui/bus_scan_dialog.h"
#include "ui/command_ids.h"
#include "ui/exchange_status.h"
#include "ui/menu_table.h"
#ifdef VESK_HAVE_CHARTS
#include "ui/plot_window.h"
#endif
#include "ui/progress_window.h"
#include "ui/recent_file_list.h"
#include "ui/row_filter.h"
#include "ui/traffic_panel.h"
#include "ui/tree_list_view.h"
#include "ui/ui_text.h"
#include "ui/window_memory.h"

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
    case app::cmd::kConverterKernel:
    case app::cmd::kEchoAuto:
    case app::cmd::kEchoOn:
    case app::cmd::kEchoOff:
    case cmd::kToolBar:
    case cmd::kStatusBar:
    case cmd::kLanguageRussian:
    case cmd::kLanguageEnglish:
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

MainWindow::MainWindow(app::Document& document, ProgressWindow& progress, ExchangeStatus& status,
                       QWidget* parent)
    : QMainWindow(parent), doc_(document), progress_(progress), status_(status) {
  recent_ = std::make_unique<RecentFileList>(platform::SettingsStore::Default());
  view_ = new TreeListView(document, this);
  filter_bar_ = new FilterBar(this);
  auto* centre = new QWidget(this);
  auto* column = new QVBoxLayout(centre);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(filter_bar_);
  column->addWidget(view_);
  setCentralWidget(centre);
  connect(filter_bar_, &FilterBar::TextChanged, view_,
          [this](const QString& text) { view_->SetFilter(text); });
  connect(view_, &TreeListView::FilterApplied, filter_bar_, &FilterBar::ShowFound);
  connect(filter_bar_, &FilterBar::Closed, view_, [this] { view_->setFocus(); });
  RestoreColumnWidths(platform::SettingsStore::Default(), *view_);
  setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  BuildLinePanels();
  connect(view_, &TreeListView::Edited, this, &MainWindow::SyncModified);
  view_->set_may_replace_edits(
      [this](bool edits_replaced) { return MayReplaceEdits(edits_replaced); });
  connect(view_, &TreeListView::StatusText, this,
          [this](const QString& text) { statusBar()->showMessage(text, kPromptMs); });
  // A close asked for while a task ran comes true once it has ended.
  auto close_if_pending = [this] {
    if (close_pending_) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  };
  connect(&progress_, &ProgressWindow::Finished, this, close_if_pending);
  connect(&status_, &ExchangeStatus::Ended, this, close_if_pending);
  view_->set_exchange_status(&status_);
  resize(1100, 700);
  UpdateRecentMenu();
}

MainWindow::~MainWindow() = default;

QAction* MainWindow::Action(int id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::BuildMenus() {
  for (const TopMenu& top : MainMenu()) {
    QMenu* menu = menuBar()->addMenu(UiText(top.title));
    QMenu* sub = nullptr;
    connect(menu, &QMenu::aboutToShow, this, &MainWindow::SyncChecks);
    for (const MenuEntry& e : top.entries) {
      QMenu* into = e.depth == 1 && sub ? sub : menu;
      if (e.id == 0) {
        into->addSeparator();
        continue;
      }
      if (e.id == -1) {
        sub = menu->addMenu(UiText(e.text));
        continue;
      }
      QAction* a = into->addAction(UiText(e.text));
      a->setData(e.id);
      a->setIcon(CommandIcon(style(), e.id));
      a->setIconVisibleInMenu(true);
      if (*e.keys) {
        a->setShortcut(QKeySequence(Q(e.keys)));
        a->setShortcutContext(Qt::WindowShortcut);
      }
      if (const QString tip = PromptStatusText(e.id); !tip.isEmpty()) a->setStatusTip(tip);
      if (const QString tip = PromptToolTip(e.id); !tip.isEmpty()) a->setToolTip(tip);
      a->setCheckable(Checkable(e.id));
      if (e.id == cmd::kRecentFile) {
        a->setEnabled(false);
        file_menu_ = into;
        connect(into, &QMenu::aboutToShow, this, &MainWindow::UpdateRecentMenu);
      }
      if (std::function<void()> handler = HandlerFor(e.id))
        connect(a, &QAction::triggered, this, std::move(handler));
      actions_[e.id] = a;
    }
  }
  SyncChecks();
}

void MainWindow::BuildToolBar() {
  tool_bar_ = addToolBar(tr("Панель инструментов"));
  tool_bar_->setObjectName("toolbar");
  tool_bar_->setIconSize(QSize(23, 22));
  for (int id : ToolBarCommands()) {
    if (id == 0) {
      tool_bar_->addSeparator();
    } else if (QAction* a = Action(id)) {
      tool_bar_->addAction(a);
    }
  }
}

void MainWindow::BuildLinePanels() {
  traffic_ = new TrafficPanel(doc_.engine(), this);
  auto* stats = new LineStatsPanel(traffic_->stats(), this);
  addDockWidget(Qt::BottomDockWidgetArea, traffic_);
  addDockWidget(Qt::RightDockWidgetArea, stats);
  traffic_->hide();
  stats->hide();
  // Help stays the last menu, as desktop users expect.
  auto* menu = new QMenu(tr("&Линия"), this);
  const QList<QAction*> tops = menuBar()->actions();
  menuBar()->insertMenu(tops.isEmpty() ? nullptr : tops.back(), menu);
  menu->addAction(traffic_->toggleViewAction());
  menu->addAction(stats->toggleViewAction());
#ifdef VESK_HAVE_CHARTS
  QAction* plots = menu->addAction(tr("Графики"));
  plots->setObjectName(QStringLiteral("plots_action"));
  connect(plots, &QAction::triggered, this, [this] {
    if (!plots_) plots_ = new PlotWindow(doc_.engine(), this);
    plots_->OfferPolledRows(view_);
    plots_->show();
    plots_->raise();
  });
#endif
  auto* counters = new QLabel(this);
  statusBar()->addPermanentWidget(counters);
  connect(traffic_, &TrafficPanel::CountersChanged, this,
          [counters, stats](quint64 requests, quint64 failures) {
            counters->setText(tr("Запросов: %1, сбоев: %2").arg(requests).arg(failures));
            if (stats->isVisible()) stats->Refresh();
          });
}

void MainWindow::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  // The line as the window works with it, and what the last exchanges found.
  line_label_ = new QLabel(bar);
  line_label_->setObjectName(QStringLiteral("line"));
  state_label_ = new QLabel(bar);
  state_label_->setObjectName(QStringLiteral("link_state"));
  // A background exchange (a branch's automatic read) and its "Прервать!", shown while
  // it runs.
  auto* exchange_label = new QLabel(bar);
  exchange_label->setObjectName(QStringLiteral("exchange"));
  auto* stop = new QPushButton(UiText(kCancelButtonText), bar);
  stop->setObjectName(QStringLiteral("stop_exchange"));
  stop->setFocusPolicy(Qt::NoFocus);
  bar->addPermanentWidget(exchange_label);
  bar->addPermanentWidget(stop);
  status_.Attach(exchange_label, stop);
  bar->addPermanentWidget(line_label_);
  bar->addPermanentWidget(state_label_);
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, &MainWindow::UpdateLineStatus);
  timer->start(kLineStatusMs);
  UpdateLineStatus();
  bar->showMessage(UiText(kIdlePrompt));
  connect(bar, &QStatusBar::messageChanged, this, [bar](const QString& text) {
    if (text.isEmpty()) bar->showMessage(UiText(kIdlePrompt));
  });
}

void MainWindow::SyncChecks() {
  for (int id :
       {app::cmd::kShowIndexes, app::cmd::kAutoRead, app::cmd::kImmediateWrite,
        app::cmd::kNoAttributes, app::cmd::kConverterAuto, app::cmd::kConverterSemiAuto,
        app::cmd::kConverterKernel, app::cmd::kEchoAuto, app::cmd::kEchoOn, app::cmd::kEchoOff})
    if (QAction* a = Action(id)) a->setChecked(doc_.IsChecked(id));
  if (QAction* a = Action(cmd::kToolBar)) a->setChecked(tool_bar_ ? tool_bar_->isVisible() : true);
  if (QAction* a = Action(cmd::kStatusBar)) a->setChecked(statusBar()->isVisible());
  const platform::Language next = NextStartLanguage();
  if (QAction* a = Action(cmd::kLanguageRussian))
    a->setChecked(next == platform::Language::Russian);
  if (QAction* a = Action(cmd::kLanguageEnglish))
    a->setChecked(next == platform::Language::English);
}

platform::Language MainWindow::NextStartLanguage() const {
  const std::optional<std::string> kept =
      platform::SettingsStore::Default().ReadText(platform::kSettingsKey, platform::kLanguageValue);
  if (kept)
    if (const std::optional<platform::Language> language = platform::ParseLanguage(*kept))
      return *language;
  return platform::CurrentLanguage();
}

void MainWindow::KeepLanguage(platform::Language language) {
  platform::SettingsStore& store = platform::SettingsStore::Default();
  if (store.WriteText(platform::kSettingsKey, platform::kLanguageValue,
                      platform::LanguageCode(language)) != platform::kSettingsOk) {
    link::presenter().ShowMessage(
        UiTextUtf8(kLanguageNotKeptText) + store.FilePath() + ": " + store.LastError(),
        UiTextUtf8(kApplicationTitle), link::MsgIcon::Error);
  } else {
    link::presenter().ShowMessage(
        language == platform::Language::English ? kLanguageChosenEnglish : kLanguageChosenRussian,
        UiTextUtf8(kApplicationTitle), link::MsgIcon::Information);
  }
  SyncChecks();
}

void MainWindow::UpdateLineStatus() {
  exchange::ExchangeEngine& engine = doc_.engine();
  link::PortSettings line;
  engine.program_line().ToPortSettings(line);
  const char parity = line.parity == 1 ? 'E' : line.parity == 4 ? 'O' : 'N';
  // Every exchange speaks LORN; the foreign protocols are only ever probed.
  const QString protocol = QStringLiteral("LORN");
  line_label_->setText(tr("%1  %2 %3%4%5  адрес %6  %7")
                           .arg(Q(line.port_name))
                           .arg(line.baud_rate)
                           .arg(line.byte_size)
                           .arg(QChar(parity))
                           .arg(line.stop_bits)
                           .arg(line.device_address)
                           .arg(protocol));
  const exchange::LineState& state = engine.line_state();
  exchange::LineCondition condition = state.condition();
  if (!engine.port().IsOpen()) condition = exchange::LineCondition::kPortClosed;
  QString text = QString::fromUtf8(exchange::LineConditionText(condition));
  if (text.isEmpty()) text = tr("порт открыт");
  // The counters are the traffic panel's, beside this label.
  if (text != state_label_->text()) {
    state_label_->setText(text);
    const char* colour = condition == exchange::LineCondition::kConnected ? "#007000"
                         : condition == exchange::LineCondition::kUnknown ? "palette(text)"
                                                                          : "#c00000";
    state_label_->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(colour)));
  }
}

std::string MainWindow::DocumentTitle() const {
  if (doc_.path_name.empty()) return UiTextUtf8(kUntitled);
  return QFileInfo(QString::fromStdString(doc_.path_name)).fileName().toStdString();
}

void MainWindow::DocumentChanged() {
  const std::string title = DocumentTitle();
  SetCaption();
  view_->Fill(title);
}

void MainWindow::SetCaption() {
  // "[*]" is where the platform puts the unsaved mark.
  setWindowTitle(Q(DocumentTitle()) + "[*] - " + UiText(kApplicationTitle));
  SyncModified();
}

void MainWindow::SyncModified() {
  setWindowModified(doc_.modified);
}

bool MainWindow::MaybeSave() {
  if (!doc_.modified || !ask_before_discard_) return true;
  const std::string text =
      UiTextUtf8(kSaveChangesHead) + DocumentTitle() + UiTextUtf8(kSaveChangesTail);
  switch (link::presenter().ShowMessage(text, UiTextUtf8(kApplicationTitle),
                                        link::MsgIcon::Question, link::MsgButtons::YesNoCancel)) {
    case link::MsgAnswer::Yes:
      return Save();
    case link::MsgAnswer::No:
      return true;
    default:
      return false;
  }
}

bool MainWindow::MayReplaceEdits(bool edits_replaced) {
  return !edits_replaced || MaybeSave();
}

void MainWindow::CloseWithoutAsking() {
  ask_before_discard_ = false;
  close();
}

std::function<void()> MainWindow::HandlerFor(int id) {
  switch (id) {
    case cmd::kFileNew:
      return [this] {
        if (!MaybeSave()) return;
        view_->ClearRows();
        doc_.NewDocument();
        DocumentChanged();
      };
    case cmd::kFileOpen:
      return [this] {
        if (!MaybeSave()) return;
        const QString path = QFileDialog::getOpenFileName(this, UiText(kOpenFileTitle), QString(),
                                                          UiText(kFileFilter));
        if (!path.isEmpty()) OpenFile(path.toStdString());
      };
    case cmd::kFileSave:
      return [this] { Save(); };
    case cmd::kFileSaveAs:
      return [this] { SaveAs(); };
    case cmd::kFileExportJson:
      return [this] { ExportJson(); };
    case cmd::kFileImportJson:
      return [this] {
        if (!MaybeSave()) return;
        const QString path = QFileDialog::getOpenFileName(this, UiText(kImportJsonTitle), QString(),
                                                          UiText(kJsonFilter));
        if (path.isEmpty()) return;
        view_->ClearRows();
        app::ImportDocumentJson(doc_, path.toStdString());
        DocumentChanged();
      };
    case cmd::kFileCompareFile:
      return [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, UiText(kCompareFileTitle), QString(), UiText(kAnyConfigurationFilter));
        if (path.isEmpty()) return;
        app::CompareDocumentWithFile(doc_, path.toStdString());
        view_->RefreshAll();
      };
    case cmd::kFindDevices:
      return [this] {
        const auto may_read = [this](int32_t address) {
          return MayReplaceEdits(doc_.ReadReplacesEdits(nullptr, address));
        };
        if (RunBusScanDialog(doc_, this, may_read)) view_->RefreshAll();
      };
    case cmd::kAppExit:
      return [this] { close(); };
    case cmd::kAppAbout:
      return [this] { ShowAbout(); };
    case cmd::kPrevProblem:
    case cmd::kNextProblem:
      return [this, next = id == cmd::kNextProblem] { view_->GoToProblem(next); };
    case cmd::kTreeRead:
    case cmd::kTreeWrite:
    case cmd::kTreeWriteChanged:
    case cmd::kTreeCompare:
      return [this, id] { view_->RunRowCommand(id, view_->currentItem()); };
    case cmd::kFind:
      return [this] { filter_bar_->Open(); };
    case cmd::kUndoEdit:
      return [this] { view_->UndoEdit(nullptr); };
    case cmd::kTreeOrder:
      return [this] { view_->RestoreTreeOrder(); };
    case cmd::kToolBar:
      return [this] {
        tool_bar_->setVisible(!tool_bar_->isVisible());
        SyncChecks();
      };
    case cmd::kStatusBar:
      return [this] {
        statusBar()->setVisible(!statusBar()->isVisible());
        SyncChecks();
      };
    case cmd::kLanguageRussian:
      return [this] { KeepLanguage(platform::Language::Russian); };
    case cmd::kLanguageEnglish:
      return [this] { KeepLanguage(platform::Language::English); };
    default:
      break;
  }
  // The document's own commands keep their numbers: the unattended run starts them too.
  if (app::Document::HandlesCommand(id))
    return [this, id] {
      if (id == app::cmd::kReadAll || id == app::cmd::kReadBranch) {
        const model::ParameterNode* branch =
            id == app::cmd::kReadAll ? nullptr : doc_.current_branch;
        if (!MayReplaceEdits(doc_.ReadReplacesEdits(branch))) return;
      }
      doc_.RunCommand(id);
      SyncChecks();
      view_->RefreshAll();
      SyncModified();
    };
  return {};
}

bool MainWindow::MaySaveUnread() {
  const int unread = doc_.UnreadCount();
  if (unread == 0) return true;
  const std::string text = UiText(kUnreadSaveQuestion).arg(unread).toStdString();
  return link::presenter().ShowMessage(text, UiTextUtf8(kApplicationTitle), link::MsgIcon::Question,
                                       link::MsgButtons::YesNo) == link::MsgAnswer::Yes;
}

bool MainWindow::Save() {
  if (doc_.path_name.empty()) return SaveAs();
  if (!MaySaveUnread()) return false;
  const bool saved = doc_.SaveDocument(doc_.path_name);
  SyncModified();
  return saved;
}

bool MainWindow::SaveAs() {
  if (!MaySaveUnread()) return false;
  QString path = QFileDialog::getSaveFileName(
      this, UiText(kSaveFileTitle), QString::fromStdString(doc_.path_name), UiText(kFileFilter));
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += Q(kFileExtension);
  if (!doc_.SaveDocument(path.toStdString())) return false;
  doc_.path_name = path.toStdString();
  recent_->Add(doc_.path_name);
  const std::string title = DocumentTitle();
  SetCaption();
  if (QTreeWidgetItem* top = view_->topLevelItem(0))
    top->setText(0, TreeListView::TopRowText(Q(title)));
  return true;
}

bool MainWindow::ExportJson() {
  // Beside the configuration's own file by default, under the same name.
  QString suggested;
  if (!doc_.path_name.empty()) {
    const QFileInfo file(QString::fromStdString(doc_.path_name));
    suggested = file.path() + "/" + file.completeBaseName() + Q(kJsonExtension);
  }
  QString path =
      QFileDialog::getSaveFileName(this, UiText(kExportJsonTitle), suggested, UiText(kJsonFilter));
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += Q(kJsonExtension);
  return app::ExportDocumentJson(doc_, path.toStdString());
}

bool MainWindow::OpenFile(const std::string& path) {
  view_->ClearRows();
  const bool opened = doc_.OpenDocument(path);
  if (opened) recent_->Add(path);
  DocumentChanged();
  return opened;
}

// ---------------------------------------------------------------- recent files

void MainWindow::UpdateRecentMenu() {
  QAction* placeholder = Action(cmd::kRecentFile);
  if (!file_menu_ || !placeholder) return;
  for (QAction* a : recent_actions_) {
    file_menu_->removeAction(a);
    a->deleteLater();
  }
  recent_actions_.clear();
  // Another instance may have changed the profile meanwhile.
  recent_->Load();
  const std::vector<std::string>& entries = recent_->entries();
  // The greyed "Последние файлы" stands in while the list is empty.
  placeholder->setVisible(entries.empty());
  for (size_t i = 0; i < entries.size(); ++i) {
    auto* a = new QAction(Q(recent_->MenuText(i)), file_menu_);
    a->setData(cmd::kRecentFile + static_cast<int>(i));
    a->setStatusTip(Q(entries[i]));
    file_menu_->insertAction(placeholder, a);
    connect(a, &QAction::triggered, this, [this, i] { OpenRecent(i); });
    recent_actions_.push_back(a);
  }
}

bool MainWindow::OpenRecent(size_t i) {
  if (i >= recent_->entries().size() || !MaybeSave()) return false;
  const std::string path = recent_->entries()[i];
  const bool opened = OpenFile(path);
  // The file is no longer there to be opened: it leaves the list.
  if (!opened) recent_->Remove(path);
  UpdateRecentMenu();
  return opened;
}

void MainWindow::ShowAbout() {
  QDialog box(this);
  box.setWindowTitle(UiText(kAboutTitle));
  auto* grid = new QGridLayout(&box);
  auto* icon = new QLabel(&box);
  icon->setPixmap(windowIcon().pixmap(32, 32));
  grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
  grid->addWidget(new QLabel(Q(platform::Tr(model::kProgramTitle)), &box), 0, 1);
  grid->addWidget(new QLabel(tr("версия %1").arg(QStringLiteral(VESK_VERSION)), &box), 1, 1);
  grid->addWidget(new QLabel(QStringLiteral(VESK_COPYRIGHT), &box), 2, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
  connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  grid->addWidget(buttons, 3, 0, 1, 2);
  box.exec();
}

// ---------------------------------------------------------------- placement

void MainWindow::Place(const app::CommandLineSettings& s) {
  using namespace app::placebit;
  const bool wh = (s.placement & kW) && (s.placement & kH);
  const bool xy = (s.placement & kX) && (s.placement & kY);
  if (wh && s.w == 0 && s.h == 0) {
    showMinimized();
  } else if (wh && xy) {
    setGeometry(s.x, s.y, s.w, s.h);
    show();
    move(s.x, s.y);
    placement_lock_ = true;
    locked_pos_ = pos();
    setFixedSize(size());
  } else if (const std::optional<WindowPlace> stored =
                 StoredWindowPlace(platform::SettingsStore::Default())) {
    // Where the user left it last time.
    setGeometry(stored->normal);
    if (stored->maximised)
      showMaximized();
    else
      show();
  } else {
    showMaximized();
  }
  update();
}

void MainWindow::ClearPlacementLock() {
  placement_lock_ = false;
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // While locked the window is neither minimised nor maximised.
  if (event->type() == QEvent::WindowStateChange && placement_lock_ &&
      (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
    QMetaObject::invokeMethod(
        this, [this] { setWindowState(Qt::WindowNoState); }, Qt::QueuedConnection);
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (placement_lock_ && pos() != locked_pos_)
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (placement_lock_) move(locked_pos_);
        },
        Qt::QueuedConnection);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Escape anywhere in the window ends the background exchange, as "Прервать!" does.
  if (event->key() == Qt::Key_Escape && view_->StopReads()) {
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A running task is cancelled first; the window closes once it has ended.
  if (progress_.IsOpen() || status_.IsBusy()) {
    close_pending_ = true;
    if (!view_->StopReads()) doc_.engine().Cancel();
    event->ignore();
    return;
  }
  close_pending_ = false;
  if (!MaybeSave()) {
    event->ignore();
    return;
  }
  // A place the command line fixed is not the user's choice.
  if (!placement_lock_) SaveWindowMemory(platform::SettingsStore::Default(), *this, *view_);
  event->accept();
}

}  // namespace vesk::ui
