#include "model/device_line_settings.h"

#include <cctype>
#include <climits>
#include <memory>
#include <utility>

#include "link/parameter.h"
#include "platform/text.h"

namespace vesk::model {

DeviceLineSettings::DeviceLineSettings() : NamedNode(kNetDeviceName) {}
DeviceLineSettings::DeviceLineSettings(std::string name) : NamedNode(std::move(name)) {}
DeviceLineSettings::~DeviceLineSettings() = default;

void DeviceLineSettings::FillParameters() {
  NamedNode::FillParameters();
  for (const link::NetworkSetting& f : link::kNetworkSettings) {
    auto p = std::make_unique<link::Parameter>(f.short_name);
    p->caption = f.caption;
    p->type_text = f.type_text;
    p->writable = true;
    AddParameter(std::move(p));
  }
}

std::optional<long> LeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
  long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    // A number too long for any setting saturates instead of wrapping into a small one.
    if (value > (LONG_MAX - 9) / 10) {
      value = LONG_MAX;
      continue;
    }
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

namespace {

long NumberOrZero(std::string_view text) {
  return LeadingNumber(text).value_or(0);
}

// The device code of a protocol text, converted through the node's "Prot" record; a text
// that does not convert counts as code 0, as the converter leaves the byte clear.
int ProtocolCode(const link::Parameter& prot, std::string_view text) {
  uint8_t data[4] = {0, 0, 0, 0};
  int count = 0;
  if (prot.ConvertToData(text, data, count) != 1 || count < 1) return 0;
  return data[0];
}

}  // namespace

bool CheckParityCombination(const ParameterNode& node) {
  const std::string parity = node.GetValue(link::kParityName);
  const bool with_parity =
      platform::Iequals(parity, kParityEven) || platform::Iequals(parity, kParityOdd);
  return !(with_parity && NumberOrZero(node.GetValue(link::kByteSizeName)) == 8 &&
           NumberOrZero(node.GetValue(link::kStopBitsName)) == 2);
}

bool CheckAddressChange(const ParameterNode& node, std::string_view short_name,
                        std::string_view new_value) {
  const link::Parameter* prot = node.FindParameter("Prot");
  if (platform::Iequals(short_name, link::kAddressLengthName)) {
    if (NumberOrZero(new_value) == 11) return true;
    return NumberOrZero(node.GetValue(link::kAddressName)) < 256;
  }
  if (platform::Iequals(short_name, "prot")) {
    if (!prot || ProtocolCode(*prot, new_value) == 0) return true;
    return NumberOrZero(node.GetValue(link::kAddressName)) < 256;
  }
  if (platform::Iequals(short_name, link::kAddressName)) {
    if (NumberOrZero(new_value) <= 255) return true;
    if (NumberOrZero(node.GetValue(link::kAddressLengthName)) != 11) return false;
    return !(prot && ProtocolCode(*prot, prot->value) != 0);
  }
  return true;
}

bool NetworkEditAllowed(const ParameterNode& node, std::string_view short_name,
                        std::string_view new_text) {
  if (short_name == link::kAddressLengthName || short_name == link::kAddressName ||
      platform::Iequals(short_name, "Prot"))
    return CheckAddressChange(node, short_name, new_text);
  if (short_name == link::kParityName || short_name == link::kByteSizeName ||
      short_name == link::kStopBitsName)
    return CheckParityCombination(node);
  return true;
}

}  // namespace vesk::model
