#include "app/document_json.h"

#include <span>
#include <vector>

#include "exchange/task_commands.h"
#include "link/presenter.h"
#include "model/config_file_io.h"
#include "model/configuration_json.h"
#include "model/configuration_open.h"
#include "model/description_catalogue.h"
#include "model/scratch_configuration.h"
#include "platform/language.h"

namespace vesk::app {
namespace {

// The differences a report details, as in the compare with the device.
constexpr int kReportedDifferences = 10;

void ShowError(const std::string& text, const char* caption) {
  link::presenter().ShowMessage(text, caption, link::MsgIcon::Error, link::MsgButtons::Ok);
}

std::string Attributes(const link::Parameter& p) {
  return std::string(p.editable ? platform::Tr("Редактируемый")
                                : platform::Tr("Не редактируемый")) +
         platform::Tr(",принадлежит ") +
         (p.owned_by_firm ? platform::Tr("фирме") : platform::Tr("пользователю"));
}

void MarkDifference(const model::ConfigurationDifference& d) {
  const link::Parameter& other = *d.other;
  link::Parameter& p = *d.file;
  const std::string failure = std::move(p.note);
  p.SetCompareNote(link::kFileCompareNotePrefix, model::ShownValue(other), other);
  if (!failure.empty()) p.note += "; " + failure;
}

std::string ReportEntry(int number, const model::ConfigurationDifference& d) {
  const link::Parameter& p = *d.file;
  return "\n" + std::to_string(number) + platform::Tr(") Параметер '") + p.short_name + " (" +
         model::ShownCaption(p) + platform::Tr(") в конфигурации: значение=") +
         model::ShownValue(p) + "," + Attributes(p) + platform::Tr("; в файле: значение=") +
         model::ShownValue(*d.other) + "," + Attributes(*d.other) + ".\n";
}

}  // namespace

bool ExportDocumentJson(Document& document, const std::string& path) {
  std::string json, error;
  if (!model::ConfigurationToJson({document.description_version, document.Root()}, json, error)) {
    ShowError(error, platform::Tr(model::kJsonErrorCaption));
    return false;
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(json.data());
  if (!model::ReplaceFileContents(path, std::span(bytes, json.size()), error)) {
    ShowError(
        std::string(platform::Tr(model::kSaveDocumentFailedText)) + "\n" + path + "\n" + error,
        platform::Tr(model::kErrorCaption));
    return false;
  }
  return true;
}

bool ImportDocumentJson(Document& document, const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!model::ReadFileBytes(path, model::kMaxConfigurationBytes, bytes, error)) {
    ShowError(std::string(platform::Tr(model::kOpenDocumentFailedText)) + "\n" + path + "\n" +
                  (error.empty() ? platform::Tr(model::kReadFailedText) : error),
              platform::Tr(model::kErrorCaption));
    return false;
  }
  // Taken whole into a tree of its own first, so that a refused text leaves the document
  // as it was; the document then opens what saving it would write.
  model::ScratchConfiguration scratch;
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!model::ConfigurationFromJson(text, scratch, error)) {
    ShowError(path + "\n" + error, platform::Tr(model::kJsonErrorCaption));
    return false;
  }
  const std::vector<uint8_t> archive =
      model::ConfigurationBytes({scratch.device_kind, scratch.tree.root.get()});
  document.engine().StopThreads();
  model::ArchiveReader reader(archive);
  const bool loaded = model::LoadConfiguration(reader, document) == model::LoadOutcome::Loaded;
  document.path_name.clear();
  document.modified = true;
  document.engine().OpenPort(true);
  return loaded;
}

int CompareDocumentWithFile(Document& document, const std::string& path) {
  if (document.Root() == nullptr) {
    ShowError(platform::Tr(model::kNoTreeText), platform::Tr(model::kNoTreeCaption));
    return -1;
  }
  model::ScratchConfiguration other;
  if (!model::OpenConfigurationFile(path, other)) return -1;
  const auto differences = other.device_kind == document.description_version
                               ? model::DiffConfigurations(*other.tree.root, *document.Root())
                               : std::nullopt;
  if (!differences) {
    ShowError(platform::Tr(kOtherDescriptionText), platform::Tr(kFileCompareCaption));
    return -1;
  }
  std::string report;
  int number = 0;
  for (const model::ConfigurationDifference& d : *differences) {
    MarkDifference(d);
    if (++number <= kReportedDifferences) report += ReportEntry(number, d);
  }
  link::presenter().ShowMessage(exchange::CompareReport(number, report),
                                platform::Tr(kFileCompareCaption), link::MsgIcon::Information,
                                link::MsgButtons::Ok);
  return number;
}

}  // namespace vesk::app
