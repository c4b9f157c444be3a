#pragma once
// Command identifiers that only the window handles (the document's are in app/document.h).

namespace vesk::ui::cmd {
constexpr int kFileNew = 57600;
constexpr int kFileOpen = 57601;
constexpr int kFileSave = 57603;
constexpr int kFileSaveAs = 57604;
// Configurations as text; numbers of our own, outside the framework's ranges.
constexpr int kFileExportJson = 32900;
constexpr int kFileImportJson = 32901;
constexpr int kFileCompareFile = 32902;
constexpr int kFindDevices = 32910;
constexpr int kRecentFile = 57616;
constexpr int kAppExit = 57665;
constexpr int kAppAbout = 57664;
constexpr int kPrevProblem = 276;
constexpr int kNextProblem = 277;
constexpr int kTreeRead = 279;
constexpr int kTreeWrite = 280;
constexpr int kTreeWriteChanged = 281;
constexpr int kTreeCompare = 282;
constexpr int kReadParameter = 32808;
constexpr int kWriteParameter = 32809;
constexpr int kResetParameter = 32811;
constexpr int kUndoParameter = 32812;
// The view's own: the filter box, taking back an edit, the description's row order.
constexpr int kFind = 32903;
constexpr int kUndoEdit = 32904;
constexpr int kTreeOrder = 32905;
constexpr int kToolBar = 59392;
constexpr int kStatusBar = 59393;
// The language of the next start.
constexpr int kLanguageRussian = 32920;
constexpr int kLanguageEnglish = 32921;
}  // namespace vesk::ui::cmd
