#pragma once
// The window's own reader for an HTML file (the manual, the exported list) when the desktop
// has nothing that opens it: a QTextBrowser in a window of its own, with working links.

#include <QString>
#include <QTextBrowser>

namespace vesk::ui {

// The title of the reader when the page names none.
inline constexpr const char* kDocumentViewerCaption = QT_TRANSLATE_NOOP("vesk", "Справка");

class DocumentViewer : public QTextBrowser {
  Q_OBJECT
 public:
  explicit DocumentViewer(QWidget* parent = nullptr);
  // Shows `path` (absolute) and brings the window up.
  void ShowFile(const QString& path);
};

// True for a file the reader can show (HTML).
bool ViewerReads(const QString& path);

}  // namespace vesk::ui
