#pragma once
// The program's service parameters: version, copyright and operating system.

#include <string>

#include "model/named_node.h"
#include "platform/language.h"

namespace vesk::platform {
class SettingsStore;
}

namespace vesk::model {

inline constexpr const char* kProductName = "Конфигуратор ВЕСК";

class ServiceParameters : public NamedNode {
 public:
  // Writes "name" and "version" to `store` when filled; nullptr means the default store.
  explicit ServiceParameters(platform::SettingsStore* store = nullptr);
  ~ServiceParameters() override;

  NodeKind Kind() const override { return NodeKind::Service; }

  // Creates "Версия", "Копирайт" and "Операционная система" (short names of one, two and
  // three blanks, not writable, no attributes) and records "name" = "VESK" and "version"
  // under the installation key. A failing store is ignored.
  void FillParameters() override;

  int Image() const override { return 20; }
  int SelectedImage() const override { return 20; }
  std::string KindText() const override { return platform::Tr("Сервисные параметры программы"); }

 private:
  platform::SettingsStore* store_;
};

// "<system> <release>" from uname, e.g. "Linux 6.1.0"; "???" when uname fails.
std::string OperatingSystemText();

}  // namespace vesk::model
