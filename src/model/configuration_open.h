#pragma once
// Opening a configuration that may be a ".vesk" archive or its JSON text, told apart by
// the contents, so that every place that reads a configuration takes either.

#include <string>

#include "model/config_file.h"

namespace vesk::model {

// Caption of the messages of a JSON text that cannot be taken.
inline constexpr const char* kJsonErrorCaption = "Ошибка в конфигурации JSON";

// Reads the file at `path` into `target`: a ".vesk" archive as LoadConfiguration does, a
// JSON text (first character "{") as ConfigurationFromJson does. Returns true when the
// whole configuration was read into a tree; false after a message through the presenter
// (the archive's messages, or the JSON refusal under kJsonErrorCaption with the path), the
// target then holding a partial configuration or none.
bool OpenConfigurationFile(const std::string& path, ConfigurationTarget& target);

}  // namespace vesk::model
