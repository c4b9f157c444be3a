#pragma once
// The device's six network settings, the one table of their short names, captions and
// device codes that the codec, the tree, the program's port settings and the device
// commands share; and the baud rates a port opens at.

#include <cstdint>
#include <string_view>

namespace vesk::link {

inline constexpr const char* kBaudName = "bPS";
inline constexpr const char* kByteSizeName = "LEn";
inline constexpr const char* kParityName = "PrtY";
inline constexpr const char* kStopBitsName = "Sbit";
inline constexpr const char* kAddressLengthName = "A.Len";
inline constexpr const char* kAddressName = "Addr";

// The device's parity items, in the order of its codes.
inline constexpr const char* kParityNoneText = "Отсутствует";
inline constexpr const char* kParityEvenText = "Четность";
inline constexpr const char* kParityOddText = "Нечетность";

// The rates the device offers, in the order of its codes (code 0 is 2400).
inline constexpr const char* kDeviceBaudTypeText =
    "2400:4800:9600:14400:19200:28800:38400:57600:115200";
// A port opens at these as well: the device does not offer them, but a converter or an
// older device sharing the line may run at them, and the line's figures follow from them.
inline constexpr int32_t kPortOnlyBaudRates[] = {110, 300, 600, 1200, 56000, 128000};

struct NetworkSetting {
  const char* short_name;
  const char* caption;
  const char* label;  // the shorter caption of the list the device is told to apply
  // The device sends a list setting as the place of its item in this text, whatever type
  // text a description gives the record.
  const char* type_text;
};

// In the order the device lists them and the program copies them.
inline constexpr NetworkSetting kNetworkSettings[] = {
    {kBaudName, "Скорость обмена", "Скорость", kDeviceBaudTypeText},
    {kByteSizeName, "Длина слова данных", "Длина слова данных", "7:8"},
    {kParityName, "Четность", "Четность", "Отсутствует:Четность:Нечетность"},
    {kStopBitsName, "Кол-во стоп-бит", "Кол-во стоп-бит", "1:2"},
    {kAddressLengthName, "Длина адреса RS-485", "Длина адреса", "8:11"},
    {kAddressName, "Базовый адрес прибора", "Адрес", "int"},
};

// True for the short name of one of kNetworkSettings, case ignored.
bool IsNetworkName(std::string_view short_name);

// The setting named `short_name` (case ignored), or nullptr.
const NetworkSetting* FindNetworkSetting(std::string_view short_name);

// Whether a port opens at `baud`: one of the device's rates or of kPortOnlyBaudRates.
bool BaudRateSupported(int32_t baud);

}  // namespace vesk::link
