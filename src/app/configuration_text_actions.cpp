#include "app/configuration_text_actions.h"

#include <cstdio>
#include <span>

#include "app/config_print.h"
#include "app/port_keys.h"
#include "exchange/exchange_engine.h"
#include "exchange/node_walks.h"
#include "model/config_file_io.h"
#include "model/configuration_open.h"
#include "model/description_loader.h"
#include "model/scratch_configuration.h"
#include "platform/language.h"

namespace vesk::app {
namespace {

constexpr int kFailure = 1;

void Complain(const ScriptEnvironment& env, const std::string& text) {
  std::fprintf(env.err, "vesk-configurator: %s\n", text.c_str());
}

bool WriteOut(const std::string& text, std::FILE* out) {
  return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
}

std::string AttributesText(const link::Parameter& p) {
  return std::string(p.editable ? platform::Tr("Редактируемый")
                                : platform::Tr("Не редактируемый")) +
         ", " + (p.owned_by_firm ? platform::Tr("Фирма") : platform::Tr("Пользователь"));
}

std::string ShownValue(const link::Parameter& p, bool with_attributes) {
  std::string text = EscapeField(p.value);
  if (with_attributes) text += " (" + AttributesText(p) + ")";
  return text;
}

// The device's settings for every parameter of a fresh tree of `device_kind`, read as
// the compare task reads them: a failed read leaves "Нет данных", judged like any value.
bool ReadDevice(const CommandLine& cl, const ScriptEnvironment& env, int32_t device_kind,
                model::ScratchConfiguration& device) {
  exchange::EngineOptions options;
  options.store = env.store;
  exchange::ExchangeEngine engine(std::move(options));
  if (!OpenPortWithKeys(engine, cl.settings)) {
    Complain(env, platform::Tr("не удалось открыть порт прибора"));
    return false;
  }
  bool whole = false;
  if (device.ReloadDescription(device_kind) != nullptr) {
    exchange::ReadNode(engine, *device.tree.root);
    // Five silent reads in a row end the walk: the rest of the tree was never asked.
    whole = !engine.Cancelled();
    if (!whole) Complain(env, platform::Tr("прибор не отвечает, сравнение прервано"));
  }
  engine.ClosePort();
  return whole;
}

}  // namespace

std::string DifferenceLine(const model::ConfigurationDifference& d) {
  const link::Parameter& file = *d.file;
  const bool attributes =
      d.other->editable != file.editable || d.other->owned_by_firm != file.owned_by_firm;
  std::string line = EscapeField(d.path);
  line += '\t';
  line += EscapeField(file.NameColumn(true));
  line += '\t';
  line += ShownValue(*d.other, attributes);
  line += '\t';
  line += ShownValue(file, attributes);
  return line;
}

int ExportJson(const CommandLine& cl, const ScriptEnvironment& env) {
  model::ScratchConfiguration source;
  if (!model::OpenConfigurationFile(*cl.export_json, source)) return kFailure;
  std::string json, error;
  if (!model::ConfigurationToJson(source.View(), json, error)) {
    Complain(env, *cl.export_json + ": " + error);
    return kFailure;
  }
  if (!cl.output) {
    if (WriteOut(json, env.out)) return 0;
    Complain(env, platform::Tr("не удалось вывести JSON"));
    return kFailure;
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(json.data());
  if (!model::ReplaceFileContents(*cl.output, std::span(bytes, json.size()), error)) {
    Complain(env, platform::Tr("не удалось записать \"") + *cl.output + "\": " + error);
    return kFailure;
  }
  return 0;
}

int ImportJson(const CommandLine& cl, const ScriptEnvironment& env) {
  if (!cl.output) {
    Complain(env, platform::Tr("для --import-json нужен ключ --output=ФАЙЛ.vesk"));
    return kFailure;
  }
  std::vector<uint8_t> bytes;
  std::string error;
  if (!model::ReadFileBytes(*cl.import_json, model::kMaxConfigurationBytes, bytes, error)) {
    Complain(env, platform::Tr("не удалось прочитать \"") + *cl.import_json +
                      "\": " + (error.empty() ? platform::Tr("файл слишком велик") : error));
    return kFailure;
  }
  model::ScratchConfiguration target;
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!model::ConfigurationFromJson(text, target, error)) {
    Complain(env, *cl.import_json + ": " + error);
    return kFailure;
  }
  return model::SaveConfiguration(*cl.output, target.View()) ? 0 : kFailure;
}

int DiffConfigurationFiles(const CommandLine& cl, const ScriptEnvironment& env) {
  if (cl.command_file.empty()) {
    Complain(env, platform::Tr("для --diff нужен ФАЙЛ, с которым сравнивать"));
    return kDiffTrouble;
  }
  model::ScratchConfiguration file, other;
  if (!model::OpenConfigurationFile(cl.command_file, file)) return kDiffTrouble;
  if (*cl.diff_with == kDiffDeviceName) {
    if (!ReadDevice(cl, env, file.device_kind, other)) return kDiffTrouble;
  } else if (!model::OpenConfigurationFile(*cl.diff_with, other)) {
    return kDiffTrouble;
  }
  const auto differences = file.device_kind == other.device_kind
                               ? model::DiffConfigurations(*other.tree.root, *file.tree.root)
                               : std::nullopt;
  if (!differences) {
    Complain(env, platform::Tr(
                      "конфигурации относятся к разным описаниям прибора, сравнение невозможно"));
    return kDiffTrouble;
  }
  std::string text;
  for (const model::ConfigurationDifference& d : *differences) text += DifferenceLine(d) + "\n";
  if (!WriteOut(text, env.out)) {
    Complain(env, platform::Tr("не удалось вывести различия"));
    return kDiffTrouble;
  }
  return differences->empty() ? kDiffSame : kDiffDifferent;
}

}  // namespace vesk::app
