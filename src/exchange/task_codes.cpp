#include "exchange/task_codes.h"

namespace vesk::exchange {

std::string_view TaskCaption(int code) {
  switch (code) {
    case kTaskReadAll:
      return "Идет чтение параметров из прибора";
    case kTaskReadOne:
      return "Идет чтение параметра из прибора";
    case kTaskWriteAll:
      return "Идет запись параметров в прибор";
    case kTaskWriteChanged:
      return "Идет запись измененных значений параметров в прибор";
    case kTaskCompare:
      return "Идет сравнение параметров в конфигурации и в приборе";
    case kTaskInitialise:
      return "Идет инициализация прибора";
    case kTaskWriteOne:
      return "Идет запись параметра в прибор";
    case kTaskScan:
      return "Идет поиск приборов на линии";
    case kTaskBackground:
      return "Идет обмен с прибором";
    default:
      return {};
  }
}

}  // namespace vesk::exchange
