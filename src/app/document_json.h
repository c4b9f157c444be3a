#pragma once
// The window's configurations as text on the document: "Экспорт в JSON…", "Импорт из
// JSON…" and "Сравнить с файлом…". The rules are those of the command line's
// --export-json, --import-json and --diff; only the outcome is shown in the window's way.

#include <string>

#include "app/document.h"

namespace vesk::app {

inline constexpr const char* kFileCompareCaption = "Результат сравнения с файлом";
inline constexpr const char* kOtherDescriptionText =
    "Конфигурации относятся к разным описаниям прибора, сравнение невозможно.";

// Writes the document's configuration as JSON at `path`, replacing the file whole. Returns
// false after a message (no tree, a text JSON cannot hold, or the system's reason).
bool ExportDocumentJson(Document& document, const std::string& path);

// Makes the configuration the JSON file at `path` describes the document's: a new one
// without a file name, modified, so that saving asks for a name. Returns false after the
// refusal's message, the document then as it was.
bool ImportDocumentJson(Document& document, const std::string& path);

// Compares the document's configuration with the file at `path` (".vesk" or JSON): every
// parameter whose settings differ gets the note "Знач-е в файле: '...'" with the file's
// value and attributes (its row turns blue), and the report of a compare with the device
// is shown under kFileCompareCaption. Returns the number of differences, or -1 after a
// message when the file could not be read or belongs to another description.
int CompareDocumentWithFile(Document& document, const std::string& path);

}  // namespace vesk::app
