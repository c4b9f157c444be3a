#include "ui/menu_table.h"

#include <map>

#include "app/document.h"
#include "ui/command_ids.h"
#include "ui/ui_text.h"

namespace vesk::ui {

namespace c = app::cmd;

const std::vector<TopMenu>& MainMenu() {
  static const std::vector<TopMenu> menu = {
      {QT_TRANSLATE_NOOP("vesk", "&Файл"),
       {{cmd::kFileNew, QT_TRANSLATE_NOOP("vesk", "&Новый\tCtrl+N"), "Ctrl+N"},
        {cmd::kFileOpen, QT_TRANSLATE_NOOP("vesk", "&Открыть...\tCtrl+O"), "Ctrl+O"},
        {cmd::kFileSave, QT_TRANSLATE_NOOP("vesk", "&Сохранить\tCtrl+S"), "Ctrl+S"},
        {cmd::kFileSaveAs, QT_TRANSLATE_NOOP("vesk", "Сохранить &как...")},
        {0},
        {cmd::kFileExportJson, QT_TRANSLATE_NOOP("vesk", "Экспорт в JSON…")},
        {cmd::kFileImportJson, QT_TRANSLATE_NOOP("vesk", "Импорт из JSON…")},
        {cmd::kFileCompareFile, QT_TRANSLATE_NOOP("vesk", "Сравнить с файлом…")},
        {0},
        {cmd::kRecentFile, kRecentFilesCaption},
        {0},
        {cmd::kAppExit, QT_TRANSLATE_NOOP("vesk", "Вы&ход")}}},
      {QT_TRANSLATE_NOOP("vesk", "&Прибор"),
       {{c::kReadAll, QT_TRANSLATE_NOOP("vesk", "Прочитать все параметры\tAlt+R"), "Alt+R"},
        {c::kWriteAll, QT_TRANSLATE_NOOP("vesk", "Записать все параметры\tAlt+W"), "Alt+W"},
        {c::kWriteChanged, QT_TRANSLATE_NOOP("vesk", "Записать только измененные\tAlt+U"), "Alt+U"},
        {c::kCompare, QT_TRANSLATE_NOOP("vesk", "Сравнить с реальными значениями\tAlt+C"), "Alt+C"},
        {0},
        {-1, QT_TRANSLATE_NOOP("vesk", "С&ервис")},
        {c::kInitialiseDevice, QT_TRANSLATE_NOOP("vesk", "Инициализировать прибор"), "", 1},
        {c::kInit, QT_TRANSLATE_NOOP("vesk", "Послать команду &INIT\tAlt+I"), "Alt+I", 1},
        {c::kAply, QT_TRANSLATE_NOOP("vesk", "Послать команду &APLY\tAlt+A"), "Alt+A", 1},
        {c::kStateInOut, QT_TRANSLATE_NOOP("vesk", "Состояние входов и выходов...")},
        {c::kSinglePoint, QT_TRANSLATE_NOOP("vesk", "Опрос отдельного параметра\tAlt+S"), "Alt+S"},
        {c::kCheckLink, QT_TRANSLATE_NOOP("vesk", "Проверка связи с прибором\tAlt+N"), "Alt+N"},
        {cmd::kFindDevices, QT_TRANSLATE_NOOP("vesk", "Найти приборы на линии…")},
        {-1, QT_TRANSLATE_NOOP("vesk", "Преобразователь")},
        {c::kConverterSemiAuto, QT_TRANSLATE_NOOP("vesk", "Полуавтоматический (KV-9)"), "", 1},
        {c::kConverterAuto, QT_TRANSLATE_NOOP("vesk", "Автоматический"), "", 1},
        {c::kConverterKernel, QT_TRANSLATE_NOOP("vesk", "RS-485 средствами драйвера порта"), "", 1},
        {c::kEchoAuto, QT_TRANSLATE_NOOP("vesk", "Преобразователь повторяет посланное: определять"),
         "", 1},
        {c::kEchoOn, QT_TRANSLATE_NOOP("vesk", "Преобразователь повторяет посланное: да"), "", 1},
        {c::kEchoOff, QT_TRANSLATE_NOOP("vesk", "Преобразователь повторяет посланное: нет"), "", 1},
        {c::kPortSetup, QT_TRANSLATE_NOOP("vesk", "Настройка порта")}}},
      {QT_TRANSLATE_NOOP("vesk", "&Дерево"),
       {{cmd::kTreeRead,
         QT_TRANSLATE_NOOP("vesk", "Прочитать все параметры выделеной ветви\tAlt+Ctrl+R"),
         "Alt+Ctrl+R"},
        {cmd::kTreeWrite,
         QT_TRANSLATE_NOOP("vesk", "Записать все параметры выделеной ветви\tAlt+Ctrl+W"),
         "Alt+Ctrl+W"},
        {cmd::kTreeWriteChanged,
         QT_TRANSLATE_NOOP("vesk", "Записать только измененные параметры ветви\tAlt+Ctrl+U"),
         "Alt+Ctrl+U"},
        {cmd::kTreeCompare,
         QT_TRANSLATE_NOOP("vesk", "Сравнить значения с реальными в рамках ветви\tAlt+Ctrl+C"),
         "Alt+Ctrl+C"},
        {0},
        {cmd::kPrevProblem,
         QT_TRANSLATE_NOOP("vesk", "К предыдущему проблемному параметру\tAtl+вверх"), "Alt+Up"},
        {cmd::kNextProblem,
         QT_TRANSLATE_NOOP("vesk", "К следующему проблемному параметру\tAlt+вниз  "), "Alt+Down"},
        {0},
        {cmd::kFind, QT_TRANSLATE_NOOP("vesk", "Найти...\tCtrl+F"), "Ctrl+F"},
        {cmd::kUndoEdit, QT_TRANSLATE_NOOP("vesk", "Вернуть прежнее значение\tCtrl+Z"), "Ctrl+Z"},
        {cmd::kTreeOrder, QT_TRANSLATE_NOOP("vesk", "Порядок строк как в приборе")}}},
      {QT_TRANSLATE_NOOP("vesk", "&Режимы программы"),
       {{c::kShowIndexes, QT_TRANSLATE_NOOP("vesk", "Показывать линейные индексы")},
        {c::kAutoRead, QT_TRANSLATE_NOOP("vesk", "Режим автоматического чтения")},
        {c::kImmediateWrite, QT_TRANSLATE_NOOP("vesk", "Режим немедленной записи")},
        {c::kNoAttributes, QT_TRANSLATE_NOOP("vesk", "Не передавать атрибуты параметров")},
        {0},
        {cmd::kToolBar, QT_TRANSLATE_NOOP("vesk", "Панель инструментов")},
        {cmd::kStatusBar, QT_TRANSLATE_NOOP("vesk", "Панель состояния")}}},
      {QT_TRANSLATE_NOOP("vesk", "&Справка"),
       {{c::kHelp, QT_TRANSLATE_NOOP("vesk", "&Справка"), "F1"},
        {c::kExportHtml, QT_TRANSLATE_NOOP("vesk", "Экспорт списка параметров в HTML")},
        {-1, QT_TRANSLATE_NOOP("vesk", "Язык")},
        {cmd::kLanguageRussian, kRussianName, "", 1},
        {cmd::kLanguageEnglish, kEnglishName, "", 1},
        {0},
        {cmd::kAppAbout, QT_TRANSLATE_NOOP("vesk", "&О программе...")}}},
  };
  return menu;
}

std::string_view CommandPrompt(int id) {
  static const std::map<int, const char*> prompts = {
      {134, QT_TRANSLATE_NOOP("vesk", "При раскрытии содержимое ветви будет прочитано")},
      {139, QT_TRANSLATE_NOOP("vesk", "Прочитать все параметры из прибора\nПрочитать")},
      {140, QT_TRANSLATE_NOOP("vesk", "Записать все параметры в прибор\nЗаписать")},
      {256, QT_TRANSLATE_NOOP(
                "vesk", "Записать только измененные параметры в прибор\nЗаписать измененные")},
      {257, QT_TRANSLATE_NOOP("vesk", "Сравнить со значениями параметров в приборе\nСравнить")},
      {263, QT_TRANSLATE_NOOP("vesk", "Инициализация прибора")},
      {268, QT_TRANSLATE_NOOP("vesk",
                              "Сразу после изменения значение параметра будет записано в прибор")},
      {269,
       QT_TRANSLATE_NOOP(
           "vesk",
           "Инициализировать основные параметры значениями по умолчанию\nУстановить значения по "
           "умолчанию")},
      {276, QT_TRANSLATE_NOOP(
                "vesk",
                "Переход к ближайшему сверху параметру, имеющему ошибку или несоответствие\nПред."
                "проблемный пар-р")},
      {277, QT_TRANSLATE_NOOP(
                "vesk",
                "Переход к ближайшему снизу параметру, имеющему ошибку или несоответствие\nСлед."
                "проблемный пар-р")},
      {279,
       QT_TRANSLATE_NOOP(
           "vesk", "Прочитать параметры выбранной ветви из прибора\nПрочитать параметры ветви")},
      {280, QT_TRANSLATE_NOOP(
                "vesk", "Записать  параметры выбранной ветви в прибор\nЗаписать параметры ветви")},
      {281,
       QT_TRANSLATE_NOOP(
           "vesk",
           "Записать только измененные параметры выбранной ветви в прибор\nЗаписать измененные "
           "параметры ветви")},
      {284, QT_TRANSLATE_NOOP("vesk", "Прочитать эти ячейки")},
      {301, QT_TRANSLATE_NOOP(
                "vesk",
                "Специальная команда INIT нужна для того, что бы вступили в силу новые значения "
                "некоторых параметров\nПослать команду INIT")},
      {303, QT_TRANSLATE_NOOP("vesk", "Провести юстировку токовых входов")},
      {32819, QT_TRANSLATE_NOOP("vesk", "Настройка сетевых параметров порта")},
      {32900,
       QT_TRANSLATE_NOOP("vesk", "Сохранить конфигурацию текстом JSON, по строке на параметр")},
      {32901, QT_TRANSLATE_NOOP("vesk", "Открыть конфигурацию из текста JSON как новую")},
      {32902, QT_TRANSLATE_NOOP(
                  "vesk", "Отметить параметры, значения которых отличаются от другого файла")},
      {32910, QT_TRANSLATE_NOOP("vesk", "Опросить все адреса линии и выбрать прибор из найденных")},
      {32821, QT_TRANSLATE_NOOP("vesk", "\nСостояние входов и выходов")},
      {57600, QT_TRANSLATE_NOOP("vesk", "Создать новую конфигурацию\nНовый")},
      {57601, QT_TRANSLATE_NOOP("vesk", "Открыть конфигурацию\nОткрыть")},
      {57603, QT_TRANSLATE_NOOP("vesk", "Сохранить конфигурацию\nСохранить")},
      {57604, QT_TRANSLATE_NOOP("vesk", "Сохранить конфигурацию, определив имя\nСохранить как")},
      {57664, QT_TRANSLATE_NOOP("vesk", "О программе (верия, копирайт и.т.п.)\nО программе")},
      {57665, QT_TRANSLATE_NOOP("vesk", "Закрыть конфигуратор\nЗакончить работу")},
      {59392, QT_TRANSLATE_NOOP("vesk", "Показать панель кнопок\nПанель инструментов")},
      {32920, QT_TRANSLATE_NOOP("vesk", "Говорить по-русски со следующего запуска")},
      {32921, QT_TRANSLATE_NOOP("vesk", "Говорить по-английски со следующего запуска")},
      {59393, QT_TRANSLATE_NOOP("vesk", "Показать панель подсказок\nПанель состояния")},
  };
  const auto it = prompts.find(id);
  return it == prompts.end() ? std::string_view() : std::string_view(it->second);
}

QString PromptStatusText(int id) {
  const std::string_view p = CommandPrompt(id);
  return p.empty() ? QString() : UiText(p.data()).section('\n', 0, 0);
}

QString PromptToolTip(int id) {
  const std::string_view p = CommandPrompt(id);
  return p.empty() ? QString() : UiText(p.data()).section('\n', 1);
}

const std::vector<int>& ToolBarCommands() {
  static const std::vector<int> bar = {57600, 57601, 57603, 0,   139,   140, 256, 0,   279, 280,
                                       281,   0,     269,   301, 32821, 0,   276, 277, 0,   57664};
  return bar;
}

}  // namespace vesk::ui
