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
    link::set_presenter(&front_end.presenter());
    {
      app::CConfiguratorApp app(front_end);
      if (app.InitInstance(command_line)) app.Run();
      code = app.ExitInstance();
    }
    link::set_presenter(nullptr);
  }
  return code;
}

}  // namespace vesk::ui
