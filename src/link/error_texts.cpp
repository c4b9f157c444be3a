#include "link/error_texts.h"
#include "platform/language.h"

namespace vesk::link {

namespace {

const char* KnownError(int code) {
  switch (code) {
    case 0:
      return platform::Tr("Безошибочный прием кадра");
    case 2:
      return platform::Tr("Задано положение точки, превышающее 3");
    case 3:
      return platform::Tr("Попытка модификации ROM-параметра");
    case 4:
      return platform::Tr("Не целое число при записи индекса строки или времени");
    case 5:
      return platform::Tr("Неверно задано положение точки (при фиксированной точке)");
    case 6:
      return platform::Tr("Значение мантиссы превышает ограничения дескриптора");
    case 7:
      return platform::Tr(
          "Несанкционированная попытка редактирования Атрибутов (попытка изменить атрибут "
          "пользователем, когда он не является хозяином параметра)");
    case 8:
      return platform::Tr("У запрошенного параметра отсутствуют признаки");
    case 33:
      return platform::Tr("Аппаратная ошибка кадрирования");
    case 34:
      return platform::Tr("Ошибка в 8-ом бите посылки");
    case 35:
      return platform::Tr("Ошибка в 9-ом бите посылки");
    case 36:
      return platform::Tr("Ошибка приема стоп-байта (стоп пришел не вовремя)");
    case 37:
      return platform::Tr("Ошибка переполнения буфера");
    case 38:
      return platform::Tr("Принят недопустимый символ");
    case 39:
      return platform::Tr("Неверная контрольная сумма кадра");
    case 40:
      return platform::Tr("Не найден дескриптор");
    case 41:
      return platform::Tr(
          "Не найдена сетевая функция, хотя дескриптор найден!!!\t\t\t\t\t\t\t  "
          "В нормальном приборе эта ошибка встречаться НЕ ДОЛЖНА!!!");
    case 48:
      return platform::Tr("Мантисса двоично-десятичного параметра содержит ошибку");
    case 49:
      return platform::Tr("Размер поля данных не соответствует ожидаемому");
    case 50:
      return platform::Tr("Значение бита запроса не соответствует ожидаемому");
    case 51:
      return platform::Tr("Редактирование параметра запрещено атрибутами доступа");
    case 52:
      return platform::Tr("Недопустимо большой линейный индекс");
    case 53:
    case 54:
      return platform::Tr("Индекс параметра превышает ограничитель индекса");
    case 55:
      return platform::Tr("Данный код не используется (прибор отверг записываемое значение)");
    case 56:
      return platform::Tr("Запрещающий групповой атрибут находится на уровне 0 (в корне)");
    case 65:
      return platform::Tr("выполняется другая задача (Сегмент COMMON занят)");
    case 66:
      return platform::Tr("задача еще не запущена(Сегмент COMMON свободен)");
    case 67:
      return platform::Tr("запрошенная задача уже выполняется");
    case 68:
      return platform::Tr("Программе неизвестна запрошенная функция");
    case 69:
      return platform::Tr("В программе стоит заглушка функции WhatCOMState()");
    case 70:
      return platform::Tr("В программе стоит заглушка функции RunCOMTask()");
    case 71:
      return platform::Tr(
          "Недопустимое сочетание значений параметров (Изменение параметра было запрещено "
          "функцией Valid)");
    case 72:
      return platform::Tr("Ошибка при чтении ЕЕПРОМ");
    case 73:
      return platform::Tr("Нарушена упорядоченность узлов X по возрастанию");
    case 74:
      return platform::Tr("Попытка записи X при ненулевом числе узлов графика");
    case 75:
      return platform::Tr("Ошибка выполнения функции PrevWriteActions()");
    default:
      return nullptr;
  }
}

}  // namespace

bool ErrorReplyText(const uint8_t* data, int count, std::string& text) {
  text.clear();
  if (count <= 0 || data == nullptr) return false;
  const int code = static_cast<int8_t>(data[0]);
  if (const char* known = KnownError(code)) {
    text = known;
  } else if (code >= 57 && code <= 63) {
    text = platform::Tr("Запрещающий групповой атрибут находится на уровне ") +
           std::to_string(code - 56);
  } else {
    text = platform::Tr("Не найдено значение ошибки. (Код ") + std::to_string(code) + ")";
  }
  return true;
}

bool ProbeErrorText(ProbeResult result, std::string& text) {
  switch (result) {
    case ProbeResult::Timeout:
      text = platform::Tr("Таймаут при передаче данных (нет связи)");
      return true;
    case ProbeResult::LineError:
      text = platform::Tr("Ошибки на линии связи");
      return true;
    case ProbeResult::Checksum:
      text = platform::Tr("Ошибка в контрольной сумме");
      return true;
    case ProbeResult::Address:
      text = platform::Tr("Адрес устройства в запросе не соответствует адресу в ответе.");
      return true;
    case ProbeResult::Malformed:
      text = platform::Tr("Некорректный ответ");
      return true;
    case ProbeResult::Answered:
    case ProbeResult::Refused:
      break;
  }
  text.clear();
  return false;
}

}  // namespace vesk::link
