#pragma once
// The window's translators for the language the program speaks: Qt's own texts (its
// buttons and standard dialogs) and the window's catalogue. Russian is the source, so
// Russian needs Qt's translation only, and English needs ours only.

#include <QString>
#include <QTranslator>
#include <string>

#include "platform/language.h"

namespace vesk::ui {

// The window's English catalogue, built beside the program and installed with its data.
inline constexpr const char* kWindowCatalogueFile = "vesk_en.qm";

// Where the program in `program_folder` (ending with '/') finds the window's catalogue.
std::string WindowCataloguePath(const std::string& program_folder);

// Owns the translators it installs into the application; removes them when destroyed.
class WindowTranslators {
 public:
  WindowTranslators() = default;
  WindowTranslators(const WindowTranslators&) = delete;
  WindowTranslators& operator=(const WindowTranslators&) = delete;
  ~WindowTranslators();

  // Installs the translators of `language`, the window's own catalogue read from
  // `catalogue_path`. Returns false when a catalogue the language needs cannot be read; the
  // texts it would have given then stay Russian.
  bool Install(platform::Language language, const std::string& catalogue_path);
  // Removes what Install installed.
  void Remove();

 private:
  QTranslator qt_texts_, window_texts_;
  bool qt_installed_ = false, window_installed_ = false;
};

}  // namespace vesk::ui
