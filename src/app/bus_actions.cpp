#include "app/bus_actions.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "app/exit_code.h"
#include "app/exit_event.h"
#include "app/line_watch.h"
#include "app/port_keys.h"
#include "exchange/bus_scan.h"
#include "exchange/exchange_engine.h"
#include "link/address_list.h"
#include "link/exit_status.h"
#include "model/config_file.h"
#include "model/description_container.h"
#include "model/description_loader.h"
#include "model/scratch_configuration.h"
#include "platform/language.h"
#include "platform/wait.h"

namespace vesk::app {
namespace {

constexpr int kFailure = 1;
constexpr int kCancelledCode = 205;

int32_t MaxAddress(int32_t length_bits) {
  return length_bits > 8 ? 2047 : 255;
}

// One file written to many devices must not give them all its own base address: a copy
// of `source` with "Addr" set to `address`, in a temporary file whose path is returned
// (empty when the file cannot be read as a configuration: the run then reports it).
std::string CopyForAddress(const std::string& source, int32_t address) {
  model::ScratchConfiguration target;
  if (model::LoadConfiguration(source, target) != model::LoadOutcome::Loaded || !target.tree.root ||
      !target.tree.network)
    return {};
  link::Parameter* addr = target.tree.network->FindParameter("Addr");
  if (!addr) return {};
  addr->value = std::to_string(address);
  char path[] = "/tmp/vesk-addresses-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) return {};
  ::close(fd);
  if (!model::SaveConfiguration(path, {model::kVeskDeviceKind, target.tree.root.get()})) {
    ::unlink(path);
    return {};
  }
  return path;
}

// The engine's port opened with the program's settings and the port keys, and the line
// watched as the command line asks. Returns 0, or the exit code after saying why.
int OpenBusScanLine(const CommandLine& cl, const ScriptEnvironment& env,
                    exchange::ExchangeEngine& engine, LineWatch& line_watch) {
  if (cl.settings.flags & cmdflag::kPortSettings)
    WriteProgramPortKeys(engine.program_line(), cl.settings);
  if (cl.settings.converter == kConverterOff)
    engine.port().set_converter_mode(link::kConverterAuto);
  if (std::string error; !line_watch.Open(cl, error)) {
    std::fprintf(env.err, "vesk-configurator: %s\n", error.c_str());
    return kFailure;
  }
  line_watch.Attach(engine);
  link::exit_status.store(0);
  if (engine.OpenPort(true) != link::kOpenOk) {
    line_watch.Finish(env.err);
    return ChooseExitCode(link::exit_status.load(), kFailure);
  }
  if (cl.verbose && engine.port().low_latency_refused())
    std::fprintf(env.err, "vesk-configurator: %s: %s\n", engine.port().settings().port_name.c_str(),
                 link::kTextLowLatencyRefused);
  return 0;
}

// The addresses of --scan, the whole range of the address length when it names none.
// Returns false after saying why when the range lies beyond the length.
bool BusScanRange(const CommandLine& cl, const ScriptEnvironment& env, int32_t address_length,
                  int32_t& from, int32_t& to) {
  const int32_t max_address = MaxAddress(address_length);
  from = 0;
  to = max_address;
  if (!cl.bus_scan || cl.bus_scan->empty()) return true;
  auto range = link::ParseAddressRange(*cl.bus_scan, max_address);
  if (!range) {
    std::fprintf(
        env.err,
        platform::Tr("vesk-configurator: --scan=%s: адреса вне диапазона 0 ... %d для длины "
                     "адреса %d бит\n"),
        cl.bus_scan->c_str(), max_address, address_length);
    return false;
  }
  from = range->first;
  to = range->second;
  return true;
}

struct BusScanRun {
  bool ran = false;  // the exchange thread ran the task
  exchange::BusScanOutcome outcome;
  double seconds = 0;
};

// The exchange thread runs the bus scan as it runs every task, so the line's observers and
// a signal's stop see it too: SIGINT or SIGTERM stops it between two questions, and what
// was found is kept.
BusScanRun RunBusScanUntilSignal(const CommandLine& cl, const ScriptEnvironment& env,
                                 exchange::ExchangeEngine& engine, int32_t from, int32_t to) {
  BusScanRun run;
  ExitRequest exit;
  if (const int err = exit.CatchSignals(); err != 0)
    std::fprintf(env.err, "vesk-configurator: sigaction: %s\n", std::strerror(err));
  engine.SetLinger(std::chrono::milliseconds(0));
  if (engine.StartTransmitThread() != 0) return run;
  const auto start = std::chrono::steady_clock::now();
  exchange::BusScanObserver observer;
  if (!(cl.settings.modes & modebit::kSilent) && cl.verbose)
    observer.found = [&env](const exchange::FoundDevice& d) {
      std::fprintf(env.err, platform::Tr("vesk-configurator: найден прибор по адресу %d\n"),
                   d.address);
    };
  observer.finished = [&run](const exchange::BusScanOutcome& o) { run.outcome = o; };
  platform::Event bus_scan_over{platform::Event::Reset::Manual};
  std::thread stopper([&] {
    if (platform::WaitAny({platform::Signalled(exit.event()), platform::Signalled(bus_scan_over)},
                          std::chrono::milliseconds(-1)) == 0)
      engine.Cancel();
  });
  run.ran = exchange::RunBusScanTask(engine, from, to, std::move(observer));
  bus_scan_over.Set();
  stopper.join();
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return run;
}

// One line per device on `env.out`; the figures and the reason the bus scan ended early
// on `env.err` unless silent.
void PrintBusScan(const CommandLine& cl, const ScriptEnvironment& env, int32_t from, int32_t to,
                  const BusScanRun& run) {
  const exchange::BusScanOutcome& outcome = run.outcome;
  for (const exchange::FoundDevice& d : outcome.devices)
    std::fprintf(env.out, "%d\t%s\t%s\t%.1f\n", d.address, d.name.c_str(), d.version.c_str(),
                 d.reply_ms);
  std::fflush(env.out);
  if (cl.settings.modes & modebit::kSilent) return;
  std::fprintf(
      env.err,
      platform::Tr("vesk-configurator: просмотрено адресов %d ... %d: найдено приборов %zu за "
                   "%.2f с (короткое ожидание %d мс, повторно с полным ожиданием %d)\n"),
      from, to, outcome.devices.size(), run.seconds, outcome.short_wait_ms, outcome.rechecked);
  if (!outcome.error.empty())
    std::fprintf(env.err, "vesk-configurator: --scan: %s\n", outcome.error.c_str());
}

int BusScanExitCode(const exchange::BusScanOutcome& outcome) {
  if (!outcome.error.empty()) {
    // A port that is gone is a port that cannot be used, as if it had not opened.
    if (outcome.port_lost) return ChooseExitCode(exitbit::kPortOpen);
    return ChooseExitCode(link::exit_status.load() | exitbit::kWrongSettings, kFailure);
  }
  if (outcome.cancelled) return kCancelledCode;
  return outcome.devices.empty() ? kBusScanNothingFound : 0;
}

}  // namespace

const char* ExitCodeText(int code) {
  switch (code) {
    case 0:
      return platform::Tr("задание выполнено");
    case 200:
      return platform::Tr("файл конфигурации отсутствует или пуст");
    case 201:
      return platform::Tr("не удалось открыть последовательный порт");
    case 202:
      return platform::Tr("прибор не ответил вовремя или пять попыток записи не удались");
    case 203:
      return platform::Tr("неверные параметры порта или потеряно начало ответа");
    case 204:
      return platform::Tr("прибор ответил кодом ошибки");
    case 205:
      return platform::Tr("обмен прерван пользователем, семафором завершения или сигналом");
    case 206:
      return platform::Tr("проверка связи при запуске не достигла прибора");
    default:
      return platform::Tr("задание не выполнено");
  }
}

int RunBusScan(const CommandLine& cl, const ScriptEnvironment& env) {
  exchange::EngineOptions options;
  options.store = env.store;
  exchange::ExchangeEngine engine(std::move(options));
  LineWatch line_watch;
  if (const int failed = OpenBusScanLine(cl, env, engine, line_watch); failed != 0) return failed;
  int32_t from = 0, to = 0;
  if (!BusScanRange(cl, env, engine.port().settings().address_length, from, to)) {
    line_watch.Finish(env.err);
    return kFailure;
  }
  const BusScanRun run = RunBusScanUntilSignal(cl, env, engine, from, to);
  engine.StopThreads();
  engine.ClosePort();
  line_watch.Finish(env.err);
  if (!run.ran) return kFailure;
  PrintBusScan(cl, env, from, to, run);
  return BusScanExitCode(run.outcome);
}

int RunOnAddresses(const CommandLine& cl, const std::function<int(const CommandLine&)>& run,
                   const ScriptEnvironment& env) {
  const bool read = (cl.settings.flags & cmdflag::kRead) != 0;
  const bool write = (cl.settings.flags & cmdflag::kWrite) != 0;
  if (!read && !write) {
    std::fputs(platform::Tr("vesk-configurator: --addresses действует только с /read или /write\n"),
               env.err);
    return kFailure;
  }
  const auto addresses = link::ParseAddressList(cl.addresses, kMaxBusAddress);
  if (!addresses) return kFailure;
  int worst = 0;
  for (int32_t address : *addresses) {
    CommandLine one = cl;
    one.addresses.clear();
    one.settings.address = std::to_string(address);
    one.settings.flags |= cmdflag::kPortSettings;
    if (read && !cl.command_file.empty())
      one.command_file = link::PathForAddress(cl.command_file, address);
    std::string copy;
    if (write && !cl.command_file.empty()) {
      copy = CopyForAddress(cl.command_file, address);
      if (!copy.empty()) one.command_file = copy;
    }
    link::exit_status.store(0);
    const int code = run(one);
    if (!copy.empty()) ::unlink(copy.c_str());
    std::fprintf(env.out, "%d\t%d\t%s\n", address, code, ExitCodeText(code));
    std::fflush(env.out);
    if (code > worst) worst = code;
  }
  return worst;
}

}  // namespace vesk::app
