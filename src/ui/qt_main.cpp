#include "ui/qt_main.h"

#include <QApplication>
#include <cstdio>

#include "app/application.h"
#include "link/presenter.h"
#include "platform/language.h"
#include "platform/paths.h"
#include "ui/qt_front_end.h"
#include "ui/window_language.h"

namespace vesk::ui {

int RunWithWindow(int argc, char** argv, const app::CommandLine& command_line) {
  QApplication qt(argc, argv);
  // Qt's own dialogs and buttons speak the program's language too, whatever Qt makes of the
  // locale.
  WindowTranslators translators;
  const std::string catalogue = WindowCataloguePath(platform::ProgramFolder());
  if (!translators.Install(platform::CurrentLanguage(), catalogue) &&
      platform::CurrentLanguage() == platform::Language::English)
    std::fprintf(stderr, "%s%s\n", kWindowCatalogueMissing, catalogue.c_str());
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
