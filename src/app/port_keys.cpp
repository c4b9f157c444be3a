#include "app/port_keys.h"

#include <string>

#include "exchange/exchange_engine.h"
#include "model/device_line_settings.h"

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

int WriteNetworkKeys(model::ParameterNode& node, const CommandLineSettings& s) {
  int written = 0;
  auto put = [&](const char* key, const std::string& text) { written += node.SetValue(key, text); };
  if (!s.address.empty()) put("Addr", s.address);
  if (s.address_length != 0) put("A.Len", std::to_string(s.address_length));
  if (s.baud != 0) put("bPS", std::to_string(static_cast<int32_t>(s.baud)));
  if (s.data_bits != 0) put("LEn", std::to_string(s.data_bits));
  if (!s.stop_bits.empty()) put("Sbit", s.stop_bits);
  if (const char* parity = ParityText(s.parity)) put("PrtY", parity);
  return written;
}

int WriteProgramPortKeys(model::ParameterNode& node, const CommandLineSettings& s) {
  int written = WriteNetworkKeys(node, s);
  if (!s.port_path.empty())
    written += node.SetValue("Port", s.port_path);
  else if (s.port != 0)
    written += node.SetValue("Port", "COM" + std::to_string(s.port));
  return written;
}

void ApplyEchoKey(exchange::ExchangeEngine& engine, const CommandLineSettings& settings) {
  if (settings.echo == 0) return;
  const auto mode = static_cast<link::EchoMode>(settings.echo - kEchoAuto);
  engine.program_line().set_echo(mode);
  engine.port().set_echo_mode(mode);
}

bool OpenPortWithKeys(exchange::ExchangeEngine& engine, const CommandLineSettings& settings) {
  engine.set_silent((settings.modes & modebit::kSilent) != 0);
  if (settings.flags & cmdflag::kPortSettings)
    WriteProgramPortKeys(engine.program_line(), settings);
  if (settings.converter == kConverterOff) engine.port().set_converter_mode(link::kConverterAuto);
  ApplyEchoKey(engine, settings);
  return engine.OpenPort(true) == link::kOpenOk;
}

}  // namespace vesk::app
