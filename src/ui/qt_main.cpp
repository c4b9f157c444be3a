#include "ui/qt_main.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/application.h"
#include "link/presenter.h"
#include "ui/qt_front_end.h"

namespace vesk::ui {

int RunWithWindow(int argc, char** argv, const app::CommandLine& command_line) {
  QApplication qt(argc, argv);
  // Qt's own dialogs and buttons speak the program's language, whatever the locale says
  // (the texts come from qt6-translations-l10n).
  QTranslator qt_texts;
  if (qt_texts.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                    QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qt_texts);
  int code;
  {
    QtFrontEnd front_end;
    link::SetPresenter(&front_end.presenter());
    {
      app::Application app(front_end);
      if (app.Start(command_line)) app.Run();
      code = app.Shutdown();
    }
    link::SetPresenter(nullptr);
  }
  return code;
}

}  // namespace vesk::ui
