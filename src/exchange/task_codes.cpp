#include "exchange/task_codes.h"
#include "platform/language.h"

namespace vesk::exchange {

std::string_view TaskCaption(int code) {
  switch (code) {
    case kTaskReadAll:
      return platform::Tr("Идет чтение параметров из прибора");
    case kTaskReadOne:
      return platform::Tr("Идет чтение параметра из прибора");
    case kTaskWriteAll:
      return platform::Tr("Идет запись параметров в прибор");
    case kTaskWriteChanged:
      return platform::Tr("Идет запись измененных значений параметров в прибор");
    case kTaskCompare:
      return platform::Tr("Идет сравнение параметров в конфигурации и в приборе");
    case kTaskInitialise:
      return platform::Tr("Идет инициализация прибора");
    case kTaskWriteOne:
      return platform::Tr("Идет запись параметра в прибор");
    case kTaskBusScan:
      return platform::Tr("Идет поиск приборов на линии");
    case kTaskBackground:
      return platform::Tr("Идет обмен с прибором");
    default:
      return {};
  }
}

}  // namespace vesk::exchange
