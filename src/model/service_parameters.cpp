#include "model/service_parameters.h"

#include <sys/utsname.h>

#include <memory>

#include "link/parameter.h"
#include "platform/build_info.h"
#include "platform/settings_store.h"

namespace vesk::model {

ServiceParameters::ServiceParameters(platform::SettingsStore* store)
    : NamedNode("Сервисные параметры программы"), store_(store) {}

ServiceParameters::~ServiceParameters() = default;

std::string OperatingSystemText() {
  struct utsname info {};
  if (uname(&info) != 0) return "???";
  std::string text = info.sysname;
  if (text.empty()) text = "<неизвестно>";
  text += ' ';
  text += info.release[0] ? info.release : "<неизвестно>";
  return text;
}

void ServiceParameters::FillParameters() {
  NamedNode::FillParameters();
  auto add = [this](const char* short_name, const char* caption, std::string value) {
    auto p = std::make_unique<link::Parameter>(short_name);
    p->caption = caption;
    p->value = std::move(value);
    p->writable = false;
    p->has_attributes = 0;
    AddParameter(std::move(p));
  };
  add(" ", "Версия", std::string(kProductName) + " " + VESK_VERSION);
  add("  ", "Копирайт", VESK_COPYRIGHT);
  add("   ", "Операционная система", OperatingSystemText());

  // The installation record tells other programs of the maker which configurator and
  // version is here; a store that cannot be written changes nothing for this program.
  platform::SettingsStore& store = store_ ? *store_ : platform::SettingsStore::Default();
  store.WriteText(platform::kDevicesKey, "name", "VESK");
  store.WriteText(platform::kDevicesKey, "version", VESK_VERSION);
}

}  // namespace vesk::model
