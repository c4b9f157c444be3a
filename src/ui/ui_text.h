#pragma once
// The window's own texts in the language the program speaks. Each is written in Russian,
// the source language: a named constant is marked with QT_TRANSLATE_NOOP("vesk", ...) so
// that lupdate collects it into src/ui/translations, and shown through UiText; a text
// written inline goes through tr() of its widget or UiText over the same mark. Texts that
// come from the core are translated there (platform::Tr), never here.

#include <QString>
#include <string>

namespace vesk::ui {

// The translation context of the window's named constants and tables.
inline constexpr const char* kUiTextContext = "vesk";

// `russian` in the current language: itself while no catalogue of ours is installed
// (Russian) or the catalogue lacks it.
QString UiText(const char* russian);
// The same as UTF-8, for texts handed to the presenter.
std::string UiTextUtf8(const char* russian);

}  // namespace vesk::ui
