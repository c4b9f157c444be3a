#pragma once
// The texts of the device's error replies and of the probe exchanges.

#include <cstdint>
#include <string>

#include "link/probe_codec.h"

namespace vesk::link {

inline constexpr const char* kIndexLimitText = "Индекс параметра превышает ограничитель индекса";

// The device's error codes that have a text of their own.
struct DeviceErrorText {
  int code;
  const char* text;
};
inline constexpr DeviceErrorText kDeviceErrorTexts[] = {
    {0, "Безошибочный прием кадра"},
    {2, "Задано положение точки, превышающее 3"},
    {3, "Попытка модификации ROM-параметра"},
    {4, "Не целое число при записи индекса строки или времени"},
    {5, "Неверно задано положение точки (при фиксированной точке)"},
    {6, "Значение мантиссы превышает ограничения дескриптора"},
    {7,
     "Несанкционированная попытка редактирования Атрибутов (попытка изменить атрибут "
     "пользователем, когда он не является хозяином параметра)"},
    {8, "У запрошенного параметра отсутствуют признаки"},
    {33, "Аппаратная ошибка кадрирования"},
    {34, "Ошибка в 8-ом бите посылки"},
    {35, "Ошибка в 9-ом бите посылки"},
    {36, "Ошибка приема стоп-байта (стоп пришел не вовремя)"},
    {37, "Ошибка переполнения буфера"},
    {38, "Принят недопустимый символ"},
    {39, "Неверная контрольная сумма кадра"},
    {40, "Не найден дескриптор"},
    {41,
     "Не найдена сетевая функция, хотя дескриптор найден!!!\t\t\t\t\t\t\t  "
     "В нормальном приборе эта ошибка встречаться НЕ ДОЛЖНА!!!"},
    {48, "Мантисса двоично-десятичного параметра содержит ошибку"},
    {49, "Размер поля данных не соответствует ожидаемому"},
    {50, "Значение бита запроса не соответствует ожидаемому"},
    {51, "Редактирование параметра запрещено атрибутами доступа"},
    {52, "Недопустимо большой линейный индекс"},
    {53, kIndexLimitText},
    {54, kIndexLimitText},
    {55, "Данный код не используется (прибор отверг записываемое значение)"},
    {56, "Запрещающий групповой атрибут находится на уровне 0 (в корне)"},
    {65, "выполняется другая задача (Сегмент COMMON занят)"},
    {66, "задача еще не запущена(Сегмент COMMON свободен)"},
    {67, "запрошенная задача уже выполняется"},
    {68, "Программе неизвестна запрошенная функция"},
    {69, "В программе стоит заглушка функции WhatCOMState()"},
    {70, "В программе стоит заглушка функции RunCOMTask()"},
    {71,
     "Недопустимое сочетание значений параметров (Изменение параметра было запрещено "
     "функцией Valid)"},
    {72, "Ошибка при чтении ЕЕПРОМ"},
    {73, "Нарушена упорядоченность узлов X по возрастанию"},
    {74, "Попытка записи X при ненулевом числе узлов графика"},
    {75, "Ошибка выполнения функции PrevWriteActions()"},
};
// Codes 57 ... 63: this text and the level, code - 56.
inline constexpr const char* kGroupAttributeLevelText =
    "Запрещающий групповой атрибут находится на уровне ";
// Any other code: this text, the code taken as signed, and ")".
inline constexpr const char* kUnknownErrorText = "Не найдено значение ошибки. (Код ";

// The texts of failed probe exchanges; a time-out is told as in any exchange
// (kTextTimeout).
inline constexpr const char* kProbeLineErrorText = "Ошибки на линии связи";
inline constexpr const char* kProbeChecksumText = "Ошибка в контрольной сумме";
inline constexpr const char* kProbeAddressText =
    "Адрес устройства в запросе не соответствует адресу в ответе.";
inline constexpr const char* kProbeMalformedText = "Некорректный ответ";

// The message for the data of an "n.Err" reply: its first byte, taken as signed, is the
// device's error code. Returns false, leaving `text` empty, when there is no data.
bool ErrorReplyText(const uint8_t* data, int count, std::string& text);

// The message for a failed probe exchange. Returns false, with an empty text, for Answered
// and Refused (nothing went wrong on the line).
bool ProbeErrorText(ProbeResult result, std::string& text);

}  // namespace vesk::link
