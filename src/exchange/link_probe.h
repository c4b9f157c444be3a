#pragma once
// The link probe: opens the port with the program's settings and tries the device in every
// way the configurator knows, so that start-up and the connection set-up can tell whether
// a device is on the line at these settings.

namespace vesk::platform {
class Event;
}

namespace vesk::exchange {

class ExchangeEngine;

// Exit status bits the probe records or clears.
inline constexpr unsigned kStatusOtherDevice = 0x40;  // another kind of device answered "dev"
inline constexpr unsigned kStatusPortSettings = 0x08;
inline constexpr unsigned kStatusNoAnswer = 0x04;

// Re-opens the port with the program's settings (a failure is shown outside command-line
// runs) and asks "dev" with the automatic, then the semi-automatic converter, then sends
// the probes of Modbus RTU, Modbus ASCII and the "%" protocol with each converter mode;
// the whole round is made twice.
// Returns true when this device answered "dev" (exit_status bits 0x08 and 0x40 cleared,
// the converter mode left at the one that worked) or a probe protocol answered (bits 0x04
// and 0x40 cleared). Returns false when the port cannot be opened, the run is silent, or
// nothing answered; a device of another kind that answered "dev" has then set exit_status to
// 0x40. After a failure the converter is semi-automatic. The line is held for the whole
// probe (ExchangeEngine::HoldLine): polling and the other workers wait meanwhile.
// `cancel`, when given and signalled, ends the probe (as a failure) between two exchanges,
// so that the set-up's "Выход" does not wait for a whole round at a slow rate.
bool ProbeLink(ExchangeEngine& engine, platform::Event* cancel = nullptr);

}  // namespace vesk::exchange
