#include "ui/window_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

#include "platform/paths.h"

namespace vesk::ui {

std::string WindowCataloguePath(const std::string& program_folder) {
  return platform::ProgramFile(program_folder, kWindowCatalogueFile,
                               std::string(platform::kInstalledDataFolder) + kWindowCatalogueFile);
}

WindowTranslators::~WindowTranslators() {
  Remove();
}

bool WindowTranslators::Install(platform::Language language, const std::string& catalogue_path) {
  Remove();
  if (language == platform::Language::English) {
    // Qt's own texts are English already.
    window_installed_ = window_texts_.load(QString::fromStdString(catalogue_path)) &&
                        QCoreApplication::installTranslator(&window_texts_);
    return window_installed_;
  }
  // Russian is where the window's texts come from; Qt's own come from qt6-translations-l10n.
  qt_installed_ =
      qt_texts_.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
      QCoreApplication::installTranslator(&qt_texts_);
  return qt_installed_;
}

void WindowTranslators::Remove() {
  if (qt_installed_) QCoreApplication::removeTranslator(&qt_texts_);
  if (window_installed_) QCoreApplication::removeTranslator(&window_texts_);
  qt_installed_ = window_installed_ = false;
}

}  // namespace vesk::ui
