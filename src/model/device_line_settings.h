#pragma once
// The device's RS-485 settings as the device reports them, and the rules that forbid
// impossible combinations of network settings in any node that holds them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/network_settings.h"
#include "model/named_node.h"
#include "platform/language.h"

namespace vesk::model {

inline constexpr const char* kNetDeviceName = "Сетевые параметры прибора";
inline constexpr const char* kBaudTypeText = link::kDeviceBaudTypeText;
inline constexpr const char* kParityNone = link::kParityNoneText;
inline constexpr const char* kParityEven = link::kParityEvenText;
inline constexpr const char* kParityOdd = link::kParityOddText;

inline constexpr const char* kForbiddenCombinationsCaption = "Неудалось изменить значение";
inline constexpr const char* kForbiddenCombinationsText =
    "Запрещенные комбинации сетевых параметров:\n"
    "1) Нельзя чтобы адрес был >255 если длина адреса 8 бит;\n"
    "2) Нельзя чтобы была установлена четность (Четность или Нечетность) и размер данных был "
    "8 бит\n"
    "и количество стоп-бит было равно 2!\n"
    "3) При работе прибора на протоколах, отличных от \"ЛОРН\", адрес не должен быть больше "
    "255.";

class DeviceLineSettings : public NamedNode {
 public:
  DeviceLineSettings();
  ~DeviceLineSettings() override;

  NodeKind Kind() const override { return NodeKind::DeviceLine; }

  // Deletes any parameters and creates those of link::kNetworkSettings.
  void FillParameters() override;

  int Image() const override { return 4; }
  int SelectedImage() const override { return 4; }
  std::string KindText() const override { return platform::Tr("Сеть RS-485"); }

  uint8_t flag = 1;

 protected:
  explicit DeviceLineSettings(std::string name);
};

// False when the node's parity is "Четность" or "Нечетность" with 8 data bits and 2 stop
// bits; true otherwise (missing parameters read as empty text).
bool CheckParityCombination(const ParameterNode& node);

// Whether changing `short_name` to `new_value` keeps the address within what the address
// length ("A.Len") and the protocol ("Prot", when the node has one) allow.
bool CheckAddressChange(const ParameterNode& node, std::string_view short_name,
                        std::string_view new_value);

// Whether a new value of the network parameter `short_name` ("A.Len", "Addr", "Prot",
// "PrtY", "LEn", "Sbit") keeps the combination of `node` allowed; any other name is. One
// rule for in-place editing and for the command line's --set, which refuse alike with
// kForbiddenCombinationsText.
bool NetworkEditAllowed(const ParameterNode& node, std::string_view short_name,
                        std::string_view new_text);

// The leading decimal number of a value text (blanks skipped, optional sign), or nullopt
// when it does not begin with one.
std::optional<long> LeadingNumber(std::string_view text);

}  // namespace vesk::model
