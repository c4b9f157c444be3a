#include "app/port_keys.h"

#include <string>

#include "model/net_rs485.h"

namespace vesk::app {
namespace {

const char* ParityText(uint8_t parity) {
  switch (parity) {
    case kParityEven:
      return model::kParityEven;
    case kParityOdd:
      return model::kParityOdd;
    case kParityNone:
      return model::kParityNone;
    default:
      return nullptr;
  }
}

}  // namespace

int WriteNetworkKeys(model::ObjectWithParameters& node, const CommandLineSettings& s) {
  int written = 0;
  auto put = [&](const char* key, const std::string& text) { written += node.SetValue(key, text); };
  if (!s.address.empty()) put("Addr", s.address);
  if (s.addressLength != 0) put("A.Len", std::to_string(s.addressLength));
  if (s.baud != 0) put("bPS", std::to_string(static_cast<int32_t>(s.baud)));
  if (s.dataBits != 0) put("LEn", std::to_string(s.dataBits));
  if (!s.stopBits.empty()) put("Sbit", s.stopBits);
  if (const char* parity = ParityText(s.parity)) put("PrtY", parity);
  return written;
}

int WriteProgramPortKeys(model::ObjectWithParameters& node, const CommandLineSettings& s) {
  int written = WriteNetworkKeys(node, s);
  if (!s.portPath.empty())
    written += node.SetValue("Port", s.portPath);
  else if (s.port != 0)
    written += node.SetValue("Port", "COM" + std::to_string(s.port));
  return written;
}

}  // namespace vesk::app
