#pragma once
// The texts of the main menu, the tool bar and the status-bar prompts, in Russian as
// written; the window shows them through UiText (ui/ui_text.h). A text's "\t" part is the
// accelerator shown in the menu; a prompt's "\n" part is the tool tip.

#include <QString>
#include <string_view>
#include <vector>

namespace vesk::ui {

struct MenuEntry {
  int id = 0;             // 0: separator; -1: a submenu that the next entries fill
  const char* text = "";  // caption with "\t" accelerator text
  const char* keys = "";  // the accelerator as Qt reads it ("" for none)
  int depth = 0;          // 0: in the top menu; 1: in the submenu above it
};

struct TopMenu {
  const char* title;
  std::vector<MenuEntry> entries;
};

// Menu 128 as stored.
const std::vector<TopMenu>& MainMenu();

// The status-bar prompt and tool tip of a command, as written ("" when it has none).
std::string_view CommandPrompt(int id);
// The part of the prompt before "\n" (the status-bar text) and after it (the tool tip), in
// the current language; empty when there is none.
QString PromptStatusText(int id);
QString PromptToolTip(int id);

// Tool bar 128; 0 stands for a separator.
const std::vector<int>& ToolBarCommands();

// The greyed stand-in of the file menu while no file was opened yet (Qt's own word).
inline constexpr const char* kRecentFilesCaption = QT_TRANSLATE_NOOP("vesk", "Последние файлы");
inline constexpr const char* kIdlePrompt =
    QT_TRANSLATE_NOOP("vesk", "Для вызова справки нажмите F1");
inline constexpr const char* kApplicationTitle = QT_TRANSLATE_NOOP("vesk", "ВЕСК");
inline constexpr const char* kUntitled = QT_TRANSLATE_NOOP("vesk", "безымянный файл");
inline constexpr const char* kOpenFileTitle =
    QT_TRANSLATE_NOOP("vesk", "Открытие файла конфигурации");
inline constexpr const char* kSaveFileTitle =
    QT_TRANSLATE_NOOP("vesk", "Сохранение файла конфигурации");
inline constexpr const char* kFileFilter = QT_TRANSLATE_NOOP("vesk", "Файлы конфигураций (*.vesk)");
inline constexpr const char* kFileExtension = ".vesk";
inline constexpr const char* kExportJsonTitle =
    QT_TRANSLATE_NOOP("vesk", "Экспорт конфигурации в JSON");
inline constexpr const char* kImportJsonTitle =
    QT_TRANSLATE_NOOP("vesk", "Импорт конфигурации из JSON");
inline constexpr const char* kCompareFileTitle =
    QT_TRANSLATE_NOOP("vesk", "Сравнение с файлом конфигурации");
inline constexpr const char* kJsonFilter =
    QT_TRANSLATE_NOOP("vesk", "Конфигурации в JSON (*.json)");
inline constexpr const char* kAnyConfigurationFilter =
    QT_TRANSLATE_NOOP("vesk", "Файлы конфигураций (*.vesk *.json)");
inline constexpr const char* kJsonExtension = ".json";
// The items of "Справка" → "Язык": each language by its own name, in either language.
inline constexpr const char* kRussianName = "Русский";
inline constexpr const char* kEnglishName = "English";
// Said once a language is chosen, in the language chosen: it takes effect at the next start.
inline constexpr const char* kLanguageChosenRussian =
    "Программа будет говорить по-русски со следующего запуска.";
inline constexpr const char* kLanguageChosenEnglish =
    "The program will speak English from its next start.";
// The choice could not be kept: the settings file's path and the system's reason follow.
inline constexpr const char* kLanguageNotKeptText =
    QT_TRANSLATE_NOOP("vesk", "Не удалось сохранить выбор языка в файле настроек ");

}  // namespace vesk::ui
