#pragma once
// The texts of the main menu, the tool bar and the status-bar prompts, as the program
// shows them. A text's "\t" part is the accelerator shown in the menu; a prompt's "\n"
// part is the tool tip.

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

// The status-bar prompt and tool tip of a command ("" when it has none).
std::string_view CommandPrompt(int id);
// The part of the prompt before "\n" (the status-bar text) and after it (the tool tip).
std::string_view PromptStatusText(int id);
std::string_view PromptToolTip(int id);

// Tool bar 128; 0 stands for a separator.
const std::vector<int>& ToolBarCommands();

// The greyed stand-in of the file menu while no file was opened yet (Qt's own word).
inline constexpr const char* kRecentFilesCaption = "Последние файлы";
inline constexpr const char* kIdlePrompt = "Для вызова справки нажмите F1";
inline constexpr const char* kApplicationTitle = "ВЕСК";
inline constexpr const char* kUntitled = "безымянный файл";
inline constexpr const char* kOpenFileTitle = "Открытие файла конфигурации";
inline constexpr const char* kSaveFileTitle = "Сохранение файла конфигурации";
inline constexpr const char* kFileFilter = "Файлы конфигураций (*.vesk)";
inline constexpr const char* kFileExtension = ".vesk";
inline constexpr const char* kExportJsonTitle = "Экспорт конфигурации в JSON";
inline constexpr const char* kImportJsonTitle = "Импорт конфигурации из JSON";
inline constexpr const char* kCompareFileTitle = "Сравнение с файлом конфигурации";
inline constexpr const char* kJsonFilter = "Конфигурации в JSON (*.json)";
inline constexpr const char* kAnyConfigurationFilter = "Файлы конфигураций (*.vesk *.json)";
inline constexpr const char* kJsonExtension = ".json";

}  // namespace vesk::ui
