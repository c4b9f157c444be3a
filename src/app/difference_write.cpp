#include "app/difference_write.h"

#include <cstdio>
#include <vector>

#include "app/configuration_text_actions.h"
#include "app/exit_code.h"
#include "app/port_keys.h"
#include "exchange/exchange_engine.h"
#include "exchange/node_walks.h"
#include "exchange/parameter_tasks.h"
#include "exchange/task_codes.h"
#include "link/exit_status.h"
#include "model/configuration_json.h"
#include "model/configuration_open.h"
#include "model/scratch_configuration.h"
#include "platform/language.h"

namespace vesk::app {
namespace {

constexpr int kFailure = 1;

void Complain(const ScriptEnvironment& env, const std::string& text) {
  std::fprintf(env.err, "vesk-configurator: %s\n", text.c_str());
}

// What the file asks of one parameter; the record itself takes the device's answers.
struct Wanted {
  model::ConfigurationDifference difference;
  std::string line;  // DifferenceLine before the write
  std::string value;
  bool editable = true;
  bool owned_by_firm = false;
};

// A parameter the description gives no way to write (identity, restart reason) is the
// device's report, not configuration: a template taken from another device differs there.
bool HasEncoder(const link::Parameter& p) {
  uint8_t data[4];
  int count = 0;
  std::string message;
  return p.ConvertToData(p.value, data, count, &message) != -1 || !message.empty();
}

bool Writable(const model::ConfigurationDifference& d) {
  return d.file->value != link::kNoData && !exchange::IsNetworkParameter(d.file->short_name) &&
         HasEncoder(*d.file);
}

bool Arrived(const link::Parameter& read_back, const Wanted& w) {
  return read_back.value == w.value && read_back.editable == w.editable &&
         read_back.owned_by_firm == w.owned_by_firm;
}

}  // namespace

int WriteDifferences(const CommandLine& cl, const ScriptEnvironment& env) {
  if (cl.command_file.empty()) {
    Complain(env, platform::Tr(kDifferenceNeedsFileText));
    return kFailure;
  }
  model::ScratchConfiguration file, device;
  if (!model::OpenConfigurationFile(cl.command_file, file)) return kFailure;

  exchange::EngineOptions options;
  options.store = env.store;
  exchange::ExchangeEngine engine(std::move(options));
  if (!OpenPortWithKeys(engine, cl.settings)) {
    Complain(env, platform::Tr(kDifferencePortText));
    return ChooseExitCode(link::exit_status.load(), kFailure);
  }
  if (device.ReloadDescription(file.device_kind) == nullptr) {
    engine.ClosePort();
    return kFailure;
  }
  exchange::ReadNode(engine, *device.tree.root);
  // Five silent reads in a row end the walk; what was never asked cannot be compared.
  if (engine.Cancelled()) {
    Complain(env, platform::Tr(kDifferenceNoAnswerText));
    engine.ClosePort();
    return ChooseExitCode(link::exit_status.load(), kFailure);
  }
  const auto differences = model::DiffConfigurations(*device.tree.root, *file.tree.root);
  if (!differences) {
    Complain(env, platform::Tr(kDifferenceOtherDescriptionText));
    engine.ClosePort();
    return kFailure;
  }

  std::vector<Wanted> wanted;
  for (const model::ConfigurationDifference& d : *differences)
    if (Writable(d))
      wanted.push_back(
          {d, DifferenceLine(d), d.file->value, d.file->editable, d.file->owned_by_firm});

  int result = 0;
  link::exit_status.store(0);
  std::vector<const Wanted*> written;
  for (const Wanted& w : wanted) {
    if (cl.dry_run) {
      std::fprintf(env.out, "%s\n", w.line.c_str());
      continue;
    }
    link::Parameter& record = *w.difference.file;
    if (exchange::WriteParameter(engine, record, exchange::kModeAll) == 0) {
      std::fprintf(env.out, "%s\n", w.line.c_str());
      written.push_back(&w);
    } else {
      Complain(env, std::string(platform::Tr(kDifferenceNotWrittenText)) + " " + w.line + ": " +
                        record.note);
      if (result == 0) result = ChooseExitCode(link::exit_status.load(), kFailure);
    }
  }
  for (const Wanted* w : written) {
    link::Parameter& record = *w->difference.file;
    if (exchange::ReadParameter(engine, record, false) == 0 && Arrived(record, *w)) continue;
    Complain(env, std::string(platform::Tr(kDifferenceNotVerifiedText)) + " " + w->line + ": " +
                      (record.note.empty() ? record.value : record.note));
    if (result == 0) result = kDifferenceNotVerified;
  }
  std::fflush(env.out);
  engine.ClosePort();
  return result;
}

}  // namespace vesk::app
