#include "ui/document_viewer.h"
#include "ui/ui_text.h"

#include <QFileInfo>
#include <QUrl>

namespace vesk::ui {

DocumentViewer::DocumentViewer(QWidget* parent) : QTextBrowser(parent) {
  setWindowFlag(Qt::Window);
  setObjectName(QStringLiteral("document_viewer"));
  setOpenExternalLinks(true);
  resize(900, 700);
  connect(this, &QTextBrowser::sourceChanged, this, [this] {
    setWindowTitle(documentTitle().isEmpty() ? UiText(kDocumentViewerCaption) : documentTitle());
  });
}

void DocumentViewer::ShowFile(const QString& path) {
  // The page's pictures and its links to other pages lie beside it.
  setSearchPaths({QFileInfo(path).absolutePath()});
  setSource(QUrl::fromLocalFile(path));
  show();
  raise();
  activateWindow();
}

bool ViewerReads(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  return suffix == QStringLiteral("html") || suffix == QStringLiteral("htm");
}

}  // namespace vesk::ui
