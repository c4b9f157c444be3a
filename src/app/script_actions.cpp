#include "app/script_actions.h"

#include <cstring>
#include <string>

#include "app/bus_actions.h"
#include "app/config_print.h"
#include "app/configuration_text_actions.h"
#include "app/difference_write.h"
#include "app/exit_code.h"
#include "app/exit_event.h"
#include "app/front_end.h"
#include "app/html_export.h"
#include "app/line_watch.h"
#include "app/port_keys.h"
#include "app/watch_run.h"
#include "exchange/exchange_engine.h"
#include "exchange/parameter_tasks.h"
#include "exchange/single_access.h"
#include "link/exit_status.h"
#include "model/description_container.h"
#include "model/description_loader.h"
#include "model/device_line_settings.h"
#include "platform/language.h"
#include "platform/paths.h"

namespace vesk::app {
namespace {

constexpr int kFailure = 1;

std::string AccessName(const ParameterAccess& access) {
  std::string name = access.name;
  if (access.index) name += ":" + std::to_string(*access.index);
  return name;
}

int ExportHtml(const CommandLine& cl, const ScriptEnvironment& env) {
  const std::string path = cl.export_html->empty() ? kParameterListFileName : *cl.export_html;
  model::DescriptionTree tree;
  if (model::LoadDescription(model::kVeskDeviceKind, tree) != model::DescriptionStatus::Built)
    return kFailure;
  const std::string folder =
      env.program_directory.empty() ? platform::ProgramFolder() : env.program_directory;
  std::string error;
  if (!ExportParameterList(path, tree.root.get(), ParameterListFragmentPath(folder), error)) {
    std::fprintf(env.err, platform::Tr("vesk-configurator: не удалось записать \"%s\": %s\n"),
                 path.c_str(), error.c_str());
    return kFailure;
  }
  if (env.open_export && !cl.no_gui && DisplayAvailable()) OpenWithDesktop(path);
  return 0;
}

// A new network value is checked against the device's other network values before it is
// sent, by the same rule as in-place editing in the window.
bool NetworkWriteAllowed(exchange::ExchangeEngine& engine, model::DescriptionTree& tree,
                         const ParameterAccess& access) {
  model::ParameterNode* network = tree.network;
  const link::Parameter* target = network ? network->FindParameter(access.name) : nullptr;
  if (!access.write || !target || !exchange::IsNetworkParameter(target->short_name)) return true;
  for (const char* name : {"A.Len", "Addr", "Prot", "PrtY", "LEn", "Sbit"})
    if (link::Parameter* p = network->FindParameter(name))
      exchange::ReadParameter(engine, *p, false);
  return model::NetworkEditAllowed(*network, target->short_name, access.value);
}

int Watch(const CommandLine& cl, const ScriptEnvironment& env, link::DeviceLink& link,
          const std::vector<exchange::CommandDescription>& descriptions) {
  exchange::SingleAccess names(link, descriptions);
  for (const ParameterAccess& w : cl.watch) {
    if (!names.Find(w.name)) {
      std::fprintf(env.err, platform::Tr("vesk-configurator: --watch \"%s\": параметр не описан\n"),
                   AccessName(w).c_str());
      return kFailure;
    }
  }
  ExitRequest exit;
  if (const int err = exit.CatchSignals(); err != 0)
    std::fprintf(env.err, "vesk-configurator: sigaction: %s\n", std::strerror(err));
  return RunWatch(cl, link, descriptions, exit, env.out);
}

int AccessParameters(const CommandLine& cl, const ScriptEnvironment& env) {
  model::DescriptionTree tree;
  if (model::LoadDescription(model::kVeskDeviceKind, tree) != model::DescriptionStatus::Built)
    return kFailure;
  const std::vector<exchange::CommandDescription> descriptions =
      exchange::LoadCommandDescriptions(model::ContainerPath(), tree);

  exchange::EngineOptions options;
  options.store = env.store;
  exchange::ExchangeEngine engine(std::move(options));
  const bool silent = (cl.settings.modes & modebit::kSilent) != 0;
  LineWatch line_watch;
  if (std::string error; !line_watch.Open(cl, error)) {
    std::fprintf(env.err, "vesk-configurator: %s\n", error.c_str());
    return kFailure;
  }
  line_watch.Attach(engine);
  if (!OpenPortWithKeys(engine, cl.settings)) {
    line_watch.Finish(env.err);
    return ChooseExitCode(link::exit_status.load(), kFailure);
  }

  int first_failure = 0;
  for (const ParameterAccess& access : cl.parameter_access) {
    link::exit_status.store(0);
    if (!NetworkWriteAllowed(engine, tree, access)) {
      if (!silent)
        std::fprintf(env.err, "vesk-configurator: --set \"%s\": %s\n", AccessName(access).c_str(),
                     platform::Tr(model::kForbiddenCombinationsText));
      if (first_failure == 0) first_failure = kFailure;
      continue;
    }
    const exchange::ExecuteOutcome outcome = exchange::AccessOneParameter(
        engine, descriptions, access.write, access.name, access.index, access.value);
    if (!silent)
      for (const std::string& line : outcome.lines) std::fprintf(env.err, "%s\n", line.c_str());
    if (outcome.Ok()) {
      std::fprintf(env.out, "%s\n", outcome.value.c_str());
    } else {
      if (!silent)
        std::fprintf(env.err, "vesk-configurator: %s \"%s\": %s\n",
                     access.write ? "--set" : "--get", AccessName(access).c_str(),
                     outcome.described ? outcome.note.c_str() : platform::Tr("параметр не описан"));
      if (first_failure == 0) first_failure = ChooseExitCode(link::exit_status.load(), kFailure);
    }
  }
  std::fflush(env.out);
  if (!cl.watch.empty() && first_failure == 0) first_failure = Watch(cl, env, engine, descriptions);
  engine.ClosePort();
  line_watch.Finish(env.err);
  return first_failure;
}

}  // namespace

bool HasScriptActions(const CommandLine& cl) {
  return cl.print_file.has_value() || cl.export_html.has_value() || !cl.parameter_access.empty() ||
         !cl.watch.empty() || cl.export_json.has_value() || cl.import_json.has_value() ||
         cl.diff_with.has_value() || cl.bus_scan.has_value() || cl.write_differences;
}

int RunScriptActions(const CommandLine& cl, const ScriptEnvironment& env) {
  int first_failure = 0;
  auto note = [&first_failure](int code) {
    if (first_failure == 0) first_failure = code;
  };
  if (cl.settings.flags & (cmdflag::kRead | cmdflag::kWrite | cmdflag::kCalibrate))
    std::fputs(platform::Tr(
                   "vesk-configurator: задания read, write и calibrate не выполняются вместе с "
                   "--print, --export-html, --export-json, --import-json, --diff, --get и --set\n"),
               env.err);
  if (cl.print_file) note(PrintConfiguration(*cl.print_file, env.out));
  if (cl.export_html) note(ExportHtml(cl, env));
  if (cl.export_json) note(ExportJson(cl, env));
  if (cl.import_json) note(ImportJson(cl, env));
  if (cl.diff_with) note(DiffConfigurationFiles(cl, env));
  if (cl.write_differences) note(WriteDifferences(cl, env));
  if (!cl.parameter_access.empty() || !cl.watch.empty()) note(AccessParameters(cl, env));
  if (cl.bus_scan) note(RunBusScan(cl, env));
  return first_failure;
}

}  // namespace vesk::app
