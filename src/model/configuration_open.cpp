#include "model/configuration_open.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "link/presenter.h"
#include "model/config_file_io.h"
#include "model/configuration_json.h"
#include "platform/language.h"

namespace vesk::model {
namespace {

// Remembers whether a tree was built, which LoadConfiguration does not say.
class TreeWatch : public ConfigurationTarget {
 public:
  explicit TreeWatch(ConfigurationTarget& inner) : inner_(inner) {}
  DescriptionBranch* ReloadDescription(int32_t device_kind) override {
    root = inner_.ReloadDescription(device_kind);
    return root;
  }
  DescriptionBranch* root = nullptr;

 private:
  ConfigurationTarget& inner_;
};

void Show(const std::string& text, const char* caption) {
  link::presenter().ShowMessage(text, caption, link::MsgIcon::Error, link::MsgButtons::Ok);
}

}  // namespace

bool OpenConfigurationFile(const std::string& path, ConfigurationTarget& target) {
  std::vector<uint8_t> bytes;
  std::string error;
  try {
    if (!ReadFileBytes(path, kMaxConfigurationBytes, bytes, error)) {
      Show(std::string(platform::Tr(kOpenDocumentFailedText)) + "\n" + path + "\n" +
               (error.empty() ? platform::Tr(kReadFailedText) : error),
           platform::Tr(kErrorCaption));
      return false;
    }
  } catch (const std::bad_alloc&) {
    Show(std::string(platform::Tr(kOpenDocumentFailedText)) + "\n" + path + "\n" +
             std::strerror(ENOMEM),
         platform::Tr(kErrorCaption));
    return false;
  }
  TreeWatch watch(target);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (LooksLikeJson(text)) {
    if (ConfigurationFromJson(text, watch, error)) return true;
    Show(path + "\n" + error, platform::Tr(kJsonErrorCaption));
    return false;
  }
  ArchiveReader archive(bytes);
  if (LoadConfiguration(archive, watch) != LoadOutcome::Loaded) return false;
  if (watch.root == nullptr) {
    Show(platform::Tr(kNoTreeText), platform::Tr(kNoTreeCaption));
    return false;
  }
  return true;
}

}  // namespace vesk::model
