#include "exchange/link_probe.h"

#include <cstdint>

#include "exchange/device_commands.h"
#include "exchange/exchange_engine.h"
#include "link/exit_status.h"
#include "link/probe_codec.h"
#include "link/serial_port.h"
#include "platform/event.h"

namespace vesk::exchange {

namespace {

// Each step is tried first through an automatic converter, then through a semi-automatic
// one; the last mode tried is semi-automatic, which is also where a failed probe leaves it.
// Where the port driver switches the direction (the kernel mode was chosen), it stands in
// for the automatic converter, so that a probe that succeeds keeps it.
struct ConverterOrder {
  int modes[2];
};
constexpr int kProbeProtocols[] = {link::kProbeModbusRtu, link::kProbeModbusAscii,
                                   link::kProbePercent};
constexpr int kRounds = 2;

enum class Round { Found, NothingAnswered, Cancelled };

Round ProbeRound(ExchangeEngine& engine, platform::Event* cancel, const ConverterOrder& order) {
  link::SerialPort& port = engine.port();
  auto cancelled = [cancel] { return cancel && cancel->IsSet(); };

  for (int converter : order.modes) {
    if (cancelled()) return Round::Cancelled;
    port.set_converter_mode(converter);
    const int answer = CheckLink(engine, false);
    if (answer & 1) {
      link::exit_status.fetch_and(~(kStatusPortSettings | kStatusOtherDevice));
      return Round::Found;
    }
    // Some other device sits at this address: that is reported unless something better
    // turns up later.
    if (answer & 2) link::exit_status.store(kStatusOtherDevice);
  }

  for (int protocol : kProbeProtocols) {
    for (int converter : order.modes) {
      if (cancelled()) return Round::Cancelled;
      port.set_converter_mode(converter);
      if (engine.Probe(protocol) == link::ProbeResult::Answered) {
        link::exit_status.fetch_and(~(kStatusNoAnswer | kStatusOtherDevice));
        return Round::Found;
      }
    }
  }
  return Round::NothingAnswered;
}

}  // namespace

bool ProbeLink(ExchangeEngine& engine, platform::Event* cancel) {
  // The converter mode is the port's; while it is tried here, nobody else may send.
  const auto hold = engine.HoldLine();
  const bool kernel = engine.port().converter_mode() == link::kConverterKernel;
  const ConverterOrder order{
      {kernel ? link::kConverterKernel : link::kConverterAuto, link::kConverterSemiAuto}};
  // Silent runs open nothing; a port that cannot be opened answers nobody, so the rounds
  // could only fail.
  if (engine.OpenPort(true) == link::kOpenOk) {
    for (int round = 0; round < kRounds; ++round) {
      const Round r = ProbeRound(engine, cancel, order);
      if (r == Round::Found) return true;
      if (r == Round::Cancelled) break;
    }
  }
  engine.port().set_converter_mode(link::kConverterSemiAuto);
  return false;
}

}  // namespace vesk::exchange
