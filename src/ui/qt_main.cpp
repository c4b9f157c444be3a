#include "ui/qt_main.h"

#include <QApplication>

#include "app/application.h"
#include "link/presenter.h"
#include "ui/qt_front_end.h"

namespace vesk::ui {

int RunWithWindow(int argc, char** argv, const app::CommandLine& command_line) {
  QApplication qt(argc, argv);
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
