#include "app/script_actions.h"

#include <string>

#include "app/config_print.h"
#include "app/exit_code.h"
#include "app/front_end.h"
#include "app/html_export.h"
#include "app/port_keys.h"
#include "exchange/exchange_engine.h"
#include "exchange/single_access.h"
#include "link/exit_status.h"
#include "model/description_container.h"
#include "model/description_loader.h"
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
  const std::string path = cl.exportHtml->empty() ? kParameterListFileName : *cl.exportHtml;
  model::DescriptionTree tree;
  if (model::LoadDescription(model::kVeskDeviceKind, tree) != model::DescriptionStatus::Built)
    return kFailure;
  const std::string folder =
      env.programDirectory.empty() ? platform::ProgramFolder() : env.programDirectory;
  std::string error;
  if (!ExportParameterList(path, tree.root.get(), folder + kParameterListFragmentName, error)) {
    std::fprintf(env.err, "vesk-configurator: не удалось записать \"%s\": %s\n", path.c_str(),
                 error.c_str());
    return kFailure;
  }
  if (env.openExport && !cl.noGui && DisplayAvailable()) OpenWithDesktop(path);
  return 0;
}

int AccessParameters(const CommandLine& cl, const ScriptEnvironment& env) {
  model::DescriptionTree tree;
  if (model::LoadDescription(model::kVeskDeviceKind, tree) != model::DescriptionStatus::Built)
    return kFailure;
  const std::vector<exchange::CommandDescription> descriptions =
      exchange::LoadCommandDescriptions(model::container_path(), tree);

  exchange::EngineOptions options;
  options.store = env.store;
  exchange::ExchangeEngine engine(std::move(options));
  const bool silent = (cl.settings.modes & modebit::kSilent) != 0;
  engine.set_silent(silent);
  if (cl.settings.flags & cmdflag::kPortSettings)
    WriteProgramPortKeys(engine.programNet(), cl.settings);
  if (cl.settings.converter == kConverterOff)
    engine.port().set_converter_mode(link::kConverterAuto);
  if (engine.open_port(true) != link::kOpenOk) {
    const int code = ChooseExitCode(link::exitStatus.load(), kFailure);
    return code;
  }

  int first_failure = 0;
  for (const ParameterAccess& access : cl.parameterAccess) {
    link::exitStatus.store(0);
    const exchange::ExecuteOutcome outcome = exchange::AccessOneParameter(
        engine, descriptions, access.write, access.name, access.index, access.value);
    if (!silent)
      for (const std::string& line : outcome.lines) std::fprintf(env.err, "%s\n", line.c_str());
    if (outcome.ok()) {
      std::fprintf(env.out, "%s\n", outcome.value.c_str());
    } else {
      if (!silent)
        std::fprintf(env.err, "vesk-configurator: %s \"%s\": %s\n",
                     access.write ? "--set" : "--get", AccessName(access).c_str(),
                     outcome.described ? outcome.note.c_str() : "параметр не описан");
      if (first_failure == 0) first_failure = ChooseExitCode(link::exitStatus.load(), kFailure);
    }
  }
  std::fflush(env.out);
  engine.close_port();
  return first_failure;
}

}  // namespace

bool HasScriptActions(const CommandLine& cl) {
  return cl.printFile.has_value() || cl.exportHtml.has_value() || !cl.parameterAccess.empty();
}

int RunScriptActions(const CommandLine& cl, const ScriptEnvironment& env) {
  int first_failure = 0;
  auto note = [&first_failure](int code) {
    if (first_failure == 0) first_failure = code;
  };
  if (cl.settings.flags & (cmdflag::kRead | cmdflag::kWrite | cmdflag::kCalibrate))
    std::fprintf(env.err,
                 "vesk-configurator: задания read, write и calibrate не выполняются вместе с "
                 "--print, --export-html, --get и --set\n");
  if (cl.printFile) note(PrintConfiguration(*cl.printFile, env.out));
  if (cl.exportHtml) note(ExportHtml(cl, env));
  if (!cl.parameterAccess.empty()) note(AccessParameters(cl, env));
  return first_failure;
}

}  // namespace vesk::app
