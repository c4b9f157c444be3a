#include "link/network_settings.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "link/type_text.h"
#include "platform/text.h"

namespace vesk::link {

namespace {

bool IsDeviceRate(int32_t baud) {
  for (std::string_view piece : TypeTextPieces(kDeviceBaudTypeText)) {
    int32_t rate = 0;
    std::from_chars(piece.data(), piece.data() + piece.size(), rate);
    if (rate == baud) return true;
  }
  return false;
}

}  // namespace

const NetworkSetting* FindNetworkSetting(std::string_view short_name) {
  for (const NetworkSetting& s : kNetworkSettings)
    if (platform::Iequals(short_name, s.short_name)) return &s;
  return nullptr;
}

bool IsNetworkName(std::string_view short_name) {
  return FindNetworkSetting(short_name) != nullptr;
}

bool BaudRateSupported(int32_t baud) {
  return IsDeviceRate(baud) ||
         std::find(std::begin(kPortOnlyBaudRates), std::end(kPortOnlyBaudRates), baud) !=
             std::end(kPortOnlyBaudRates);
}

}  // namespace vesk::link
