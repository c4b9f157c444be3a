<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="ru_RU">
<context>
    <name>vesk</name>
    <message>
        <source>Найти приборы на линии</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Начать</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Остановить</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Выбрать</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Адрес %1 не подходит к настройкам порта</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Справка</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Состояние входов и выходов</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>О программе</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сохранить изменения в «</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>»?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 параметров не прочитаны. Сохранить?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Файл</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Новый	Ctrl+N</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Открыть...	Ctrl+O</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Сохранить	Ctrl+S</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сохранить &amp;как...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Экспорт в JSON…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Импорт из JSON…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сравнить с файлом…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Вы&amp;ход</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Прибор</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Прочитать все параметры	Alt+R</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Записать все параметры	Alt+W</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Записать только измененные	Alt+U</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сравнить с реальными значениями	Alt+C</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>С&amp;ервис</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Инициализировать прибор</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Послать команду &amp;INIT	Alt+I</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Послать команду &amp;APLY	Alt+A</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Состояние входов и выходов...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Опрос отдельного параметра	Alt+S</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Проверка связи с прибором	Alt+N</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Найти приборы на линии…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Преобразователь</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Полуавтоматический (KV-9)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Автоматический</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RS-485 средствами драйвера порта</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Преобразователь повторяет посланное: определять</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Преобразователь повторяет посланное: да</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Преобразователь повторяет посланное: нет</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Настройка порта</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Дерево</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Прочитать все параметры выделеной ветви	Alt+Ctrl+R</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Записать все параметры выделеной ветви	Alt+Ctrl+W</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Записать только измененные параметры ветви	Alt+Ctrl+U</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сравнить значения с реальными в рамках ветви	Alt+Ctrl+C</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>К предыдущему проблемному параметру	Atl+вверх</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>К следующему проблемному параметру	Alt+вниз  </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Найти...	Ctrl+F</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Вернуть прежнее значение	Ctrl+Z</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Порядок строк как в приборе</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Режимы программы</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Показывать линейные индексы</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Режим автоматического чтения</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Режим немедленной записи</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Не передавать атрибуты параметров</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Панель инструментов</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Панель состояния</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Справка</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Экспорт списка параметров в HTML</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Язык</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;О программе...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>При раскрытии содержимое ветви будет прочитано</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Прочитать все параметры из прибора
Прочитать</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Записать все параметры в прибор
Записать</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Записать только измененные параметры в прибор
Записать измененные</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сравнить со значениями параметров в приборе
Сравнить</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Инициализация прибора</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сразу после изменения значение параметра будет записано в прибор</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Инициализировать основные параметры значениями по умолчанию
Установить значения по умолчанию</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Переход к ближайшему сверху параметру, имеющему ошибку или несоответствие
Пред.проблемный пар-р</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Переход к ближайшему снизу параметру, имеющему ошибку или несоответствие
След.проблемный пар-р</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Прочитать параметры выбранной ветви из прибора
Прочитать параметры ветви</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Записать  параметры выбранной ветви в прибор
Записать параметры ветви</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Записать только измененные параметры выбранной ветви в прибор
Записать измененные параметры ветви</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Прочитать эти ячейки</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Специальная команда INIT нужна для того, что бы вступили в силу новые значения некоторых параметров
Послать команду INIT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Провести юстировку токовых входов</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Настройка сетевых параметров порта</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сохранить конфигурацию текстом JSON, по строке на параметр</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Открыть конфигурацию из текста JSON как новую</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Отметить параметры, значения которых отличаются от другого файла</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Опросить все адреса линии и выбрать прибор из найденных</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
Состояние входов и выходов</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Создать новую конфигурацию
Новый</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Открыть конфигурацию
Открыть</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сохранить конфигурацию
Сохранить</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сохранить конфигурацию, определив имя
Сохранить как</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>О программе (верия, копирайт и.т.п.)
О программе</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Закрыть конфигуратор
Закончить работу</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Показать панель кнопок
Панель инструментов</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Говорить по-русски со следующего запуска</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Говорить по-английски со следующего запуска</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Показать панель подсказок
Панель состояния</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Последние файлы</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Для вызова справки нажмите F1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ВЕСК</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>безымянный файл</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Открытие файла конфигурации</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сохранение файла конфигурации</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Файлы конфигураций (*.vesk)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Экспорт конфигурации в JSON</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Импорт конфигурации из JSON</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сравнение с файлом конфигурации</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Конфигурации в JSON (*.json)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Файлы конфигураций (*.vesk *.json)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Не удалось сохранить выбор языка в файле настроек </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Да</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Нет</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Перевод прибора на новый режим работы</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Поменять сразу сетевые настройки программы</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Поcлать широковещательную команду APLY</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Поcлать посылку трижды (для надежности)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ВНИМАНИЕ: Данная операция приведет к переключению прибора на новые сетевые параметры. Это может привести к потере связи с прибором. Проверьте параметры связи:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Новые параметры:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Записывать в CSV…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Остановить запись в CSV</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Не удалось открыть &quot;%1&quot;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, порт %2, адрес %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Прибор &lt;==&gt; программа</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Прервать!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Найти:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>название, имя или значение</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ничего не найдено</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Значение «%1» не подходит: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>скорость %v из %m</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Произвольный доступ к отдельным параметрам (Single Point)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Время, с</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Параметр</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Индекс</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Значение или ошибка</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Кадр</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сохранить обмен</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Не удалось записать &quot;%1&quot;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Описание</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Значение</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Атрибут редактирования</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Владелец</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ошибки обмена и несоответствия</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Параметры прибора</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(не определены)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Нет других проблемных параметров</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Нет больше проблемных параметров</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Параметр только для чтения: значение не изменяется</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Значение принадлежит изготовителю и здесь не изменяется</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>vesk::ui::BusScanDialog</name>
    <message>
        <source>Адреса от</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>до</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Прибор</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Версия</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ответ, мс</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Начальный адрес больше конечного</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Прибор занят другим заданием</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Найдено приборов: %1 за %2 с</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> (поиск остановлен)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>vesk::ui::FilterBar</name>
    <message>
        <source>найдено: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>vesk::ui::IoStateDialog</name>
    <message>
        <source>Входы</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Выходы</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Значение</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Счетчики</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Обнуление</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>vesk::ui::LineStatsPanel</name>
    <message>
        <source>Статистика линии</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сбросить</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>vesk::ui::MainWindow</name>
    <message>
        <source>Панель инструментов</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Линия</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Графики</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Запросов: %1, сбоев: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1  %2 %3%4%5  адрес %6  %7</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>порт открыт</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>версия %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>vesk::ui::NetModeDialog</name>
    <message>
        <source>Отмена</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>vesk::ui::PlotWindow</name>
    <message>
        <source>Графики</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Пауза</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сбросить масштаб</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сохранить PNG…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Параметр</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>опрос.csv</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сохранить PNG</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>графики.png</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Не удалось записать &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>vesk::ui::ProgressDialog</name>
    <message>
        <source>Обмен идет:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Обработано пар-ов:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>vesk::ui::SingleParameterDialog</name>
    <message>
        <source>Определите команду:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Хеш-код:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Операция:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Чтение</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Запись</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Наличие лин-го индекса:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Индекс в поле данных</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Индекс в адресе (3 бит)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Что записать:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Протокол обмена данными с прибором:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Выполнить!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Выход</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>vesk::ui::TrafficModel</name>
    <message>
        <source>попытка %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>vesk::ui::TrafficPanel</name>
    <message>
        <source>Обмен с прибором</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Пауза</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Очистить</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Параметр</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Все</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Успешные</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сбои</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Следовать за концом</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сохранить…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>потеряно: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>обмен.csv</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Текст (*.txt)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>vesk::ui::TreeListView</name>
    <message>
        <source>%1 мс</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Конфигурация ВЕСК (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Последнее полученное значение: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Прочитать параметры ветви</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Записать параметры ветви</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Записать только измененные</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Сравнить с реальными значениями</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Прочитать параметр</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Записать параметр</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Установить значение в &quot;Нет данных&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Порядок строк как в приборе</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
