<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="ru_RU">
<context>
    <name>vesk</name>
    <message>
        <source>Найти приборы на линии</source>
        <translation>Find devices on the line</translation>
    </message>
    <message>
        <source>Начать</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Остановить</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Выбрать</source>
        <translation>Choose</translation>
    </message>
    <message>
        <source>Адрес %1 не подходит к настройкам порта</source>
        <translation>Address %1 does not fit the port settings</translation>
    </message>
    <message>
        <source>Справка</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Состояние входов и выходов</source>
        <translation>Inputs and outputs</translation>
    </message>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Сохранить изменения в «</source>
        <translation>Save changes to “</translation>
    </message>
    <message>
        <source>»?</source>
        <translation>”?</translation>
    </message>
    <message>
        <source>%1 параметров не прочитаны. Сохранить?</source>
        <translation>%1 parameters not read. Save?</translation>
    </message>
    <message>
        <source>&amp;Файл</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Новый	Ctrl+N</source>
        <translation>&amp;New	Ctrl+N</translation>
    </message>
    <message>
        <source>&amp;Открыть...	Ctrl+O</source>
        <translation>&amp;Open...	Ctrl+O</translation>
    </message>
    <message>
        <source>&amp;Сохранить	Ctrl+S</source>
        <translation>&amp;Save	Ctrl+S</translation>
    </message>
    <message>
        <source>Сохранить &amp;как...</source>
        <translation>Save &amp;As...</translation>
    </message>
    <message>
        <source>Экспорт в JSON…</source>
        <translation>Export to JSON…</translation>
    </message>
    <message>
        <source>Импорт из JSON…</source>
        <translation>Import from JSON…</translation>
    </message>
    <message>
        <source>Сравнить с файлом…</source>
        <translation>Compare with File…</translation>
    </message>
    <message>
        <source>Вы&amp;ход</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>&amp;Прибор</source>
        <translation>&amp;Device</translation>
    </message>
    <message>
        <source>Прочитать все параметры	Alt+R</source>
        <translation>Read All Parameters	Alt+R</translation>
    </message>
    <message>
        <source>Записать все параметры	Alt+W</source>
        <translation>Write All Parameters	Alt+W</translation>
    </message>
    <message>
        <source>Записать только измененные	Alt+U</source>
        <translation>Write Changed Only	Alt+U</translation>
    </message>
    <message>
        <source>Сравнить с реальными значениями	Alt+C</source>
        <translation>Compare with Device Values	Alt+C</translation>
    </message>
    <message>
        <source>С&amp;ервис</source>
        <translation>Ser&amp;vice</translation>
    </message>
    <message>
        <source>Инициализировать прибор</source>
        <translation>Initialise Device</translation>
    </message>
    <message>
        <source>Послать команду &amp;INIT	Alt+I</source>
        <translation>Send &amp;INIT Command	Alt+I</translation>
    </message>
    <message>
        <source>Послать команду &amp;APLY	Alt+A</source>
        <translation>Send &amp;APLY Command	Alt+A</translation>
    </message>
    <message>
        <source>Состояние входов и выходов...</source>
        <translation>Inputs and Outputs...</translation>
    </message>
    <message>
        <source>Опрос отдельного параметра	Alt+S</source>
        <translation>Single Parameter Access	Alt+S</translation>
    </message>
    <message>
        <source>Проверка связи с прибором	Alt+N</source>
        <translation>Check Link to Device	Alt+N</translation>
    </message>
    <message>
        <source>Найти приборы на линии…</source>
        <translation>Find Devices on the Line…</translation>
    </message>
    <message>
        <source>Преобразователь</source>
        <translation>Converter</translation>
    </message>
    <message>
        <source>Полуавтоматический (KV-9)</source>
        <translation>Semi-automatic (KV-9)</translation>
    </message>
    <message>
        <source>Автоматический</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>RS-485 средствами драйвера порта</source>
        <translation>RS-485 by the Port Driver</translation>
    </message>
    <message>
        <source>Преобразователь повторяет посланное: определять</source>
        <translation>Converter Echoes What Is Sent: Detect</translation>
    </message>
    <message>
        <source>Преобразователь повторяет посланное: да</source>
        <translation>Converter Echoes What Is Sent: Yes</translation>
    </message>
    <message>
        <source>Преобразователь повторяет посланное: нет</source>
        <translation>Converter Echoes What Is Sent: No</translation>
    </message>
    <message>
        <source>Настройка порта</source>
        <translation>Port Setup</translation>
    </message>
    <message>
        <source>&amp;Дерево</source>
        <translation>&amp;Tree</translation>
    </message>
    <message>
        <source>Прочитать все параметры выделеной ветви	Alt+Ctrl+R</source>
        <translation>Read All Parameters of the Selected Branch	Alt+Ctrl+R</translation>
    </message>
    <message>
        <source>Записать все параметры выделеной ветви	Alt+Ctrl+W</source>
        <translation>Write All Parameters of the Selected Branch	Alt+Ctrl+W</translation>
    </message>
    <message>
        <source>Записать только измененные параметры ветви	Alt+Ctrl+U</source>
        <translation>Write Changed Parameters of the Branch Only	Alt+Ctrl+U</translation>
    </message>
    <message>
        <source>Сравнить значения с реальными в рамках ветви	Alt+Ctrl+C</source>
        <translation>Compare the Branch with Device Values	Alt+Ctrl+C</translation>
    </message>
    <message>
        <source>К предыдущему проблемному параметру	Atl+вверх</source>
        <translation>Previous Problem Parameter	Alt+Up</translation>
    </message>
    <message>
        <source>К следующему проблемному параметру	Alt+вниз  </source>
        <translation>Next Problem Parameter	Alt+Down</translation>
    </message>
    <message>
        <source>Найти...	Ctrl+F</source>
        <translation>Find...	Ctrl+F</translation>
    </message>
    <message>
        <source>Вернуть прежнее значение	Ctrl+Z</source>
        <translation>Restore Previous Value	Ctrl+Z</translation>
    </message>
    <message>
        <source>Порядок строк как в приборе</source>
        <translation>Row Order as in the Device</translation>
    </message>
    <message>
        <source>&amp;Режимы программы</source>
        <translation>&amp;Modes</translation>
    </message>
    <message>
        <source>Показывать линейные индексы</source>
        <translation>Show Linear Indexes</translation>
    </message>
    <message>
        <source>Режим автоматического чтения</source>
        <translation>Automatic Read</translation>
    </message>
    <message>
        <source>Режим немедленной записи</source>
        <translation>Immediate Write</translation>
    </message>
    <message>
        <source>Не передавать атрибуты параметров</source>
        <translation>Do Not Send Parameter Attributes</translation>
    </message>
    <message>
        <source>Панель инструментов</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>Панель состояния</source>
        <translation>Status Bar</translation>
    </message>
    <message>
        <source>&amp;Справка</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>Экспорт списка параметров в HTML</source>
        <translation>Export Parameter List to HTML</translation>
    </message>
    <message>
        <source>Язык</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>&amp;О программе...</source>
        <translation>&amp;About...</translation>
    </message>
    <message>
        <source>При раскрытии содержимое ветви будет прочитано</source>
        <translation>The branch is read when it is expanded</translation>
    </message>
    <message>
        <source>Прочитать все параметры из прибора
Прочитать</source>
        <translation>Read all parameters from the device
Read</translation>
    </message>
    <message>
        <source>Записать все параметры в прибор
Записать</source>
        <translation>Write all parameters to the device
Write</translation>
    </message>
    <message>
        <source>Записать только измененные параметры в прибор
Записать измененные</source>
        <translation>Write only the changed parameters to the device
Write changed</translation>
    </message>
    <message>
        <source>Сравнить со значениями параметров в приборе
Сравнить</source>
        <translation>Compare with the parameter values in the device
Compare</translation>
    </message>
    <message>
        <source>Инициализация прибора</source>
        <translation>Device initialisation</translation>
    </message>
    <message>
        <source>Сразу после изменения значение параметра будет записано в прибор</source>
        <translation>A parameter value is written to the device as soon as it is changed</translation>
    </message>
    <message>
        <source>Инициализировать основные параметры значениями по умолчанию
Установить значения по умолчанию</source>
        <translation>Initialise the main parameters with their default values
Set default values</translation>
    </message>
    <message>
        <source>Переход к ближайшему сверху параметру, имеющему ошибку или несоответствие
Пред.проблемный пар-р</source>
        <translation>Go to the nearest parameter above with an error or mismatch
Prev. problem param.</translation>
    </message>
    <message>
        <source>Переход к ближайшему снизу параметру, имеющему ошибку или несоответствие
След.проблемный пар-р</source>
        <translation>Go to the nearest parameter below with an error or mismatch
Next problem param.</translation>
    </message>
    <message>
        <source>Прочитать параметры выбранной ветви из прибора
Прочитать параметры ветви</source>
        <translation>Read the parameters of the selected branch from the device
Read branch parameters</translation>
    </message>
    <message>
        <source>Записать  параметры выбранной ветви в прибор
Записать параметры ветви</source>
        <translation>Write the parameters of the selected branch to the device
Write branch parameters</translation>
    </message>
    <message>
        <source>Записать только измененные параметры выбранной ветви в прибор
Записать измененные параметры ветви</source>
        <translation>Write only the changed parameters of the selected branch to the device
Write changed branch parameters</translation>
    </message>
    <message>
        <source>Прочитать эти ячейки</source>
        <translation>Read these cells</translation>
    </message>
    <message>
        <source>Специальная команда INIT нужна для того, что бы вступили в силу новые значения некоторых параметров
Послать команду INIT</source>
        <translation>The special INIT command makes the new values of some parameters take effect
Send INIT command</translation>
    </message>
    <message>
        <source>Провести юстировку токовых входов</source>
        <translation>Calibrate the current inputs</translation>
    </message>
    <message>
        <source>Настройка сетевых параметров порта</source>
        <translation>Set up the network parameters of the port</translation>
    </message>
    <message>
        <source>Сохранить конфигурацию текстом JSON, по строке на параметр</source>
        <translation>Save the configuration as JSON text, one line per parameter</translation>
    </message>
    <message>
        <source>Открыть конфигурацию из текста JSON как новую</source>
        <translation>Open a configuration from JSON text as a new one</translation>
    </message>
    <message>
        <source>Отметить параметры, значения которых отличаются от другого файла</source>
        <translation>Mark the parameters whose values differ from another file</translation>
    </message>
    <message>
        <source>Опросить все адреса линии и выбрать прибор из найденных</source>
        <translation>Query every address of the line and choose a device among those found</translation>
    </message>
    <message>
        <source>
Состояние входов и выходов</source>
        <translation>
Inputs and outputs</translation>
    </message>
    <message>
        <source>Создать новую конфигурацию
Новый</source>
        <translation>Create a new configuration
New</translation>
    </message>
    <message>
        <source>Открыть конфигурацию
Открыть</source>
        <translation>Open a configuration
Open</translation>
    </message>
    <message>
        <source>Сохранить конфигурацию
Сохранить</source>
        <translation>Save the configuration
Save</translation>
    </message>
    <message>
        <source>Сохранить конфигурацию, определив имя
Сохранить как</source>
        <translation>Save the configuration under a new name
Save as</translation>
    </message>
    <message>
        <source>О программе (верия, копирайт и.т.п.)
О программе</source>
        <translation>About the program (version, copyright etc.)
About</translation>
    </message>
    <message>
        <source>Закрыть конфигуратор
Закончить работу</source>
        <translation>Close the configurator
Exit</translation>
    </message>
    <message>
        <source>Показать панель кнопок
Панель инструментов</source>
        <translation>Show the button bar
Toolbar</translation>
    </message>
    <message>
        <source>Говорить по-русски со следующего запуска</source>
        <translation>Speak Russian from the next start</translation>
    </message>
    <message>
        <source>Говорить по-английски со следующего запуска</source>
        <translation>Speak English from the next start</translation>
    </message>
    <message>
        <source>Показать панель подсказок
Панель состояния</source>
        <translation>Show the prompt bar
Status bar</translation>
    </message>
    <message>
        <source>Последние файлы</source>
        <translation>Recent Files</translation>
    </message>
    <message>
        <source>Для вызова справки нажмите F1</source>
        <translation>For help, press F1</translation>
    </message>
    <message>
        <source>ВЕСК</source>
        <translation>VESK</translation>
    </message>
    <message>
        <source>безымянный файл</source>
        <translation>untitled</translation>
    </message>
    <message>
        <source>Открытие файла конфигурации</source>
        <translation>Open Configuration File</translation>
    </message>
    <message>
        <source>Сохранение файла конфигурации</source>
        <translation>Save Configuration File</translation>
    </message>
    <message>
        <source>Файлы конфигураций (*.vesk)</source>
        <translation>Configuration files (*.vesk)</translation>
    </message>
    <message>
        <source>Экспорт конфигурации в JSON</source>
        <translation>Export Configuration to JSON</translation>
    </message>
    <message>
        <source>Импорт конфигурации из JSON</source>
        <translation>Import Configuration from JSON</translation>
    </message>
    <message>
        <source>Сравнение с файлом конфигурации</source>
        <translation>Compare with Configuration File</translation>
    </message>
    <message>
        <source>Конфигурации в JSON (*.json)</source>
        <translation>Configurations in JSON (*.json)</translation>
    </message>
    <message>
        <source>Файлы конфигураций (*.vesk *.json)</source>
        <translation>Configuration files (*.vesk *.json)</translation>
    </message>
    <message>
        <source>Не удалось сохранить выбор языка в файле настроек </source>
        <translation>Cannot keep the language choice in the settings file </translation>
    </message>
    <message>
        <source>Да</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Перевод прибора на новый режим работы</source>
        <translation>Switching the Device to New Network Settings</translation>
    </message>
    <message>
        <source>Поменять сразу сетевые настройки программы</source>
        <translation>Change the program&apos;s network settings at once</translation>
    </message>
    <message>
        <source>Поcлать широковещательную команду APLY</source>
        <translation>Send the APLY command to all addresses</translation>
    </message>
    <message>
        <source>Поcлать посылку трижды (для надежности)</source>
        <translation>Send it three times (to be sure)</translation>
    </message>
    <message>
        <source>ВНИМАНИЕ: Данная операция приведет к переключению прибора на новые сетевые параметры. Это может привести к потере связи с прибором. Проверьте параметры связи:</source>
        <translation>WARNING: this switches the device to new network settings, and the link to the device may be lost. Check the link settings:</translation>
    </message>
    <message>
        <source>Новые параметры:</source>
        <translation>New settings:</translation>
    </message>
    <message>
        <source>Записывать в CSV…</source>
        <translation>Record to CSV…</translation>
    </message>
    <message>
        <source>Остановить запись в CSV</source>
        <translation>Stop Recording to CSV</translation>
    </message>
    <message>
        <source>Не удалось открыть &quot;%1&quot;: %2</source>
        <translation>Cannot open &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>%1, порт %2, адрес %3</source>
        <translation>%1, port %2, address %3</translation>
    </message>
    <message>
        <source>Прибор &lt;==&gt; программа</source>
        <translation>Device &lt;==&gt; program</translation>
    </message>
    <message>
        <source>Прервать!</source>
        <translation>Abort!</translation>
    </message>
    <message>
        <source>Найти:</source>
        <translation>Find:</translation>
    </message>
    <message>
        <source>название, имя или значение</source>
        <translation>caption, name or value</translation>
    </message>
    <message>
        <source>ничего не найдено</source>
        <translation>nothing found</translation>
    </message>
    <message>
        <source>Значение «%1» не подходит: %2</source>
        <translation>Value “%1” does not fit: %2</translation>
    </message>
    <message>
        <source>скорость %v из %m</source>
        <translation>rate %v of %m</translation>
    </message>
    <message>
        <source>Произвольный доступ к отдельным параметрам (Single Point)</source>
        <translation>Access to Single Parameters (Single Point)</translation>
    </message>
    <message>
        <source>Время, с</source>
        <translation>Time, s</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Параметр</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Индекс</source>
        <translation>Index</translation>
    </message>
    <message>
        <source>Значение или ошибка</source>
        <translation>Value or error</translation>
    </message>
    <message>
        <source>Кадр</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>Сохранить обмен</source>
        <translation>Save Traffic</translation>
    </message>
    <message>
        <source>Не удалось записать &quot;%1&quot;: %2</source>
        <translation>Cannot write &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>Описание</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>Значение</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Атрибут редактирования</source>
        <translation>Edit attribute</translation>
    </message>
    <message>
        <source>Владелец</source>
        <translation>Owner</translation>
    </message>
    <message>
        <source>Ошибки обмена и несоответствия</source>
        <translation>Exchange errors and mismatches</translation>
    </message>
    <message>
        <source>Параметры прибора</source>
        <translation>Device parameters</translation>
    </message>
    <message>
        <source>(не определены)</source>
        <translation>(not defined)</translation>
    </message>
    <message>
        <source>Нет других проблемных параметров</source>
        <translation>No other problem parameters</translation>
    </message>
    <message>
        <source>Нет больше проблемных параметров</source>
        <translation>No more problem parameters</translation>
    </message>
    <message>
        <source>Параметр только для чтения: значение не изменяется</source>
        <translation>Read-only parameter: the value cannot be changed</translation>
    </message>
    <message>
        <source>Значение принадлежит изготовителю и здесь не изменяется</source>
        <translation>The value belongs to the manufacturer and cannot be changed here</translation>
    </message>
    <message>
        <source>10 с</source>
        <translation>10 s</translation>
    </message>
    <message>
        <source>1 мин</source>
        <translation>1 min</translation>
    </message>
    <message>
        <source>10 мин</source>
        <translation>10 min</translation>
    </message>
    <message>
        <source>1 ч</source>
        <translation>1 h</translation>
    </message>
    <message>
        <source>Чтение ветви «%1»</source>
        <translation>Reading branch “%1”</translation>
    </message>
    <message>
        <source>Команда «%1»</source>
        <translation>Command “%1”</translation>
    </message>
    <message>
        <source>Запись «%1»</source>
        <translation>Writing “%1”</translation>
    </message>
</context>
<context>
    <name>vesk::ui::BusScanDialog</name>
    <message>
        <source>Адреса от</source>
        <translation>Addresses from</translation>
    </message>
    <message>
        <source>до</source>
        <translation>to</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Прибор</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Версия</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Ответ, мс</source>
        <translation>Reply, ms</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Начальный адрес больше конечного</source>
        <translation>The first address is above the last</translation>
    </message>
    <message>
        <source>Прибор занят другим заданием</source>
        <translation>The device is busy with another task</translation>
    </message>
    <message>
        <source>Найдено приборов: %1 за %2 с</source>
        <translation>Devices found: %1 in %2 s</translation>
    </message>
    <message>
        <source> (поиск остановлен)</source>
        <translation> (search stopped)</translation>
    </message>
</context>
<context>
    <name>vesk::ui::FilterBar</name>
    <message>
        <source>найдено: %1</source>
        <translation>found: %1</translation>
    </message>
</context>
<context>
    <name>vesk::ui::IoStateDialog</name>
    <message>
        <source>Входы</source>
        <translation>Inputs</translation>
    </message>
    <message>
        <source>Выходы</source>
        <translation>Outputs</translation>
    </message>
    <message>
        <source>Значение</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Счетчики</source>
        <translation>Counters</translation>
    </message>
    <message>
        <source>Обнуление</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>vesk::ui::LineStatsPanel</name>
    <message>
        <source>Статистика линии</source>
        <translation>Line Statistics</translation>
    </message>
    <message>
        <source>Сбросить</source>
        <translation>Reset</translation>
    </message>
</context>
<context>
    <name>vesk::ui::MainWindow</name>
    <message>
        <source>Панель инструментов</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>&amp;Линия</source>
        <translation>&amp;Line</translation>
    </message>
    <message>
        <source>Графики</source>
        <translation>Plots</translation>
    </message>
    <message>
        <source>Запросов: %1, сбоев: %2</source>
        <translation>Requests: %1, failures: %2</translation>
    </message>
    <message>
        <source>%1  %2 %3%4%5  адрес %6  %7</source>
        <translation>%1  %2 %3%4%5  address %6  %7</translation>
    </message>
    <message>
        <source>порт открыт</source>
        <translation>port open</translation>
    </message>
    <message>
        <source>версия %1</source>
        <translation>version %1</translation>
    </message>
</context>
<context>
    <name>vesk::ui::NetModeDialog</name>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>vesk::ui::PlotWindow</name>
    <message>
        <source>Графики</source>
        <translation>Plots</translation>
    </message>
    <message>
        <source>Пауза</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Сбросить масштаб</source>
        <translation>Reset Zoom</translation>
    </message>
    <message>
        <source>Сохранить PNG…</source>
        <translation>Save PNG…</translation>
    </message>
    <message>
        <source>Параметр</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>опрос.csv</source>
        <translation>poll.csv</translation>
    </message>
    <message>
        <source>Сохранить PNG</source>
        <translation>Save PNG</translation>
    </message>
    <message>
        <source>графики.png</source>
        <translation>plots.png</translation>
    </message>
    <message>
        <source>Не удалось записать &quot;%1&quot;</source>
        <translation>Cannot write &quot;%1&quot;</translation>
    </message>
</context>
<context>
    <name>vesk::ui::ProgressDialog</name>
    <message>
        <source>Обмен идет:</source>
        <translation>Exchanging:</translation>
    </message>
    <message>
        <source>Обработано пар-ов:</source>
        <translation>Parameters done:</translation>
    </message>
</context>
<context>
    <name>vesk::ui::SingleParameterDialog</name>
    <message>
        <source>Определите команду:</source>
        <translation>Command:</translation>
    </message>
    <message>
        <source>Хеш-код:</source>
        <translation>Hash code:</translation>
    </message>
    <message>
        <source>Операция:</source>
        <translation>Operation:</translation>
    </message>
    <message>
        <source>Чтение</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>Запись</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>Наличие лин-го индекса:</source>
        <translation>Linear index:</translation>
    </message>
    <message>
        <source>Индекс в поле данных</source>
        <translation>Index in the data field</translation>
    </message>
    <message>
        <source>Индекс в адресе (3 бит)</source>
        <translation>Index in the address (3 bits)</translation>
    </message>
    <message>
        <source>Что записать:</source>
        <translation>Value to write:</translation>
    </message>
    <message>
        <source>Протокол обмена данными с прибором:</source>
        <translation>Exchange with the device:</translation>
    </message>
    <message>
        <source>Выполнить!</source>
        <translation>Execute!</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Exit</translation>
    </message>
</context>
<context>
    <name>vesk::ui::TrafficModel</name>
    <message>
        <source>попытка %1</source>
        <translation>attempt %1</translation>
    </message>
</context>
<context>
    <name>vesk::ui::TrafficPanel</name>
    <message>
        <source>Обмен с прибором</source>
        <translation>Device Traffic</translation>
    </message>
    <message>
        <source>Пауза</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Очистить</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Параметр</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Все</source>
        <translation>All</translation>
    </message>
    <message>
        <source>Успешные</source>
        <translation>Succeeded</translation>
    </message>
    <message>
        <source>Сбои</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>Следовать за концом</source>
        <translation>Follow the end</translation>
    </message>
    <message>
        <source>Сохранить…</source>
        <translation>Save…</translation>
    </message>
    <message>
        <source>потеряно: %1</source>
        <translation>lost: %1</translation>
    </message>
    <message>
        <source>обмен.csv</source>
        <translation>traffic.csv</translation>
    </message>
    <message>
        <source>Текст (*.txt)</source>
        <translation>Text (*.txt)</translation>
    </message>
</context>
<context>
    <name>vesk::ui::TreeListView</name>
    <message>
        <source>%1 мс</source>
        <translation>%1 ms</translation>
    </message>
    <message>
        <source>Конфигурация ВЕСК (%1)</source>
        <translation>VESK configuration (%1)</translation>
    </message>
    <message>
        <source>Последнее полученное значение: </source>
        <translation>Last value received: </translation>
    </message>
    <message>
        <source>Прочитать параметры ветви</source>
        <translation>Read Branch Parameters</translation>
    </message>
    <message>
        <source>Записать параметры ветви</source>
        <translation>Write Branch Parameters</translation>
    </message>
    <message>
        <source>Записать только измененные</source>
        <translation>Write Changed Only</translation>
    </message>
    <message>
        <source>Сравнить с реальными значениями</source>
        <translation>Compare with Device Values</translation>
    </message>
    <message>
        <source>Прочитать параметр</source>
        <translation>Read Parameter</translation>
    </message>
    <message>
        <source>Записать параметр</source>
        <translation>Write Parameter</translation>
    </message>
    <message>
        <source>Установить значение в &quot;Нет данных&quot;</source>
        <translation>Set Value to &quot;No data&quot;</translation>
    </message>
    <message>
        <source>Порядок строк как в приборе</source>
        <translation>Row Order as in the Device</translation>
    </message>
</context>
</TS>
