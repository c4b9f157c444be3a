#pragma once
// The program's message boxes: one caption for all of them, wide enough to be read whole;
// the caption a message brings of its own becomes the box's heading above the text; the
// buttons speak the program's language.

#include <QMessageBox>
#include <QString>

namespace vesk::ui {

inline constexpr const char* kYesText = QT_TRANSLATE_NOOP("vesk", "Да");
inline constexpr const char* kNoText = QT_TRANSLATE_NOOP("vesk", "Нет");
inline constexpr const char* kCancelText = QT_TRANSLATE_NOOP("vesk", "Отмена");

// Readies `box` before it is shown: the program's caption, `heading` (when it is not the
// caption itself) above the box's text, the button texts in the program's language, the width
// of the caption.
void PrepareMessageBox(QMessageBox& box, const QString& heading);

// An error box over `parent` with the single button OK.
void ShowErrorBox(QWidget* parent, const QString& heading, const QString& text);

}  // namespace vesk::ui
