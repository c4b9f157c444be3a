#include "link/error_texts.h"

namespace vesk::link {

namespace {

const char* KnownError(int code) {
  switch (code) {
    case 0:
      return "Безошибочный прием кадра";
    case 2:
      return "Задано положение точки, превышающее 3";
    case 3:
      return "Попытка модификации ROM-параметра";
    case 4:
      return "Не целое число при записи индекса строки или времени";
    case 5:
      return "Неверно задано положение точки (при фиксированной точке)";
    case 6:
      return "Значение мантиссы превышает ограничения дескриптора";
    case 7:
      return "Несанкционированная попытка редактирования Атрибутов (попытка изменить атрибут "
             "пользователем, когда он не является хозяином параметра)";
    case 8:
      return "У запрошенного параметра отсутствуют признаки";
    case 33:
      return "Аппаратная ошибка кадрирования";
    case 34:
      return "Ошибка в 8-ом бите посылки";
    case 35:
      return "Ошибка в 9-ом бите посылки";
    case 36:
      return "Ошибка приема стоп-байта (стоп пришел не вовремя)";
    case 37:
      return "Ошибка переполнения буфера";
    case 38:
      return "Принят недопустимый символ";
    case 39:
      return "Неверная контрольная сумма кадра";
    case 40:
      return "Не найден дескриптор";
    case 41:
      return "Не найдена сетевая функция, хотя дескриптор найден!!!\t\t\t\t\t\t\t  "
             "В нормальном приборе эта ошибка встречаться НЕ ДОЛЖНА!!!";
    case 48:
      return "Мантисса двоично-десятичного параметра содержит ошибку";
    case 49:
      return "Размер поля данных не соответствует ожидаемому";
    case 50:
      return "Значение бита запроса не соответствует ожидаемому";
    case 51:
      return "Редактирование параметра запрещено атрибутами доступа";
    case 52:
      return "Недопустимо большой линейный индекс";
    case 53:
    case 54:
      return "Индекс параметра превышает ограничитель индекса";
    case 55:
      return "Данный код не используется (прибор отверг записываемое значение)";
    case 56:
      return "Запрещающий групповой атрибут находится на уровне 0 (в корне)";
    case 65:
      return "выполняется другая задача (Сегмент COMMON занят)";
    case 66:
      return "задача еще не запущена(Сегмент COMMON свободен)";
    case 67:
      return "запрошенная задача уже выполняется";
    case 68:
      return "Программе неизвестна запрошенная функция";
    case 69:
      return "В программе стоит заглушка функции WhatCOMState()";
    case 70:
      return "В программе стоит заглушка функции RunCOMTask()";
    case 71:
      return "Недопустимое сочетание значений параметров (Изменение параметра было запрещено "
             "функцией Valid)";
    case 72:
      return "Ошибка при чтении ЕЕПРОМ";
    case 73:
      return "Нарушена упорядоченность узлов X по возрастанию";
    case 74:
      return "Попытка записи X при ненулевом числе узлов графика";
    case 75:
      return "Ошибка выполнения функции PrevWriteActions()";
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
    text = "Запрещающий групповой атрибут находится на уровне " + std::to_string(code - 56);
  } else {
    text = "Не найдено значение ошибки. (Код " + std::to_string(code) + ")";
  }
  return true;
}

bool ProbeErrorText(ProbeResult result, std::string& text) {
  switch (result) {
    case ProbeResult::Timeout:
      text = "Таймаут при передаче данных (нет связи)";
      return true;
    case ProbeResult::LineError:
      text = "Ошибки на линии связи";
      return true;
    case ProbeResult::Checksum:
      text = "Ошибка в контрольной сумме";
      return true;
    case ProbeResult::Address:
      text = "Адрес устройства в запросе не соответствует адресу в ответе.";
      return true;
    case ProbeResult::Malformed:
      text = "Некорректный ответ";
      return true;
    case ProbeResult::Answered:
    case ProbeResult::Refused:
      break;
  }
  text.clear();
  return false;
}

}  // namespace vesk::link
