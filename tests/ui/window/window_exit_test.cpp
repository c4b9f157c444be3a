// The window's end as the program has it: Application::Shutdown lets the document go, and
// the window with its traffic panel and plots goes with it, before the link does.

#include <gtest/gtest.h>

#include <QTimer>

#include "app/application.h"
#include "app/command_line.h"
#include "ui/main_window.h"
#include "ui/traffic_panel.h"
#ifdef VESK_HAVE_CHARTS
#include "ui/plot_window.h"
#endif
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

TEST_F(WindowTest, ExitWithTrafficPanelAndPlotsOpenLeavesNothingWatchingTheLink) {
  SimProcess sim(dir);
  app::Application application(*fe, store.get());
  ASSERT_TRUE(application.Start(app::ParseCommandLine({"--port=" + sim.pty(), "/bps:115200"})));
  MainWindow& frame = *fe->frame();
  bool panels_open = false;
  QTimer::singleShot(0, &frame, [&] {
    ChooseMenuItem(frame, QStringLiteral("Линия"), frame.traffic()->windowTitle());
    panels_open = frame.traffic()->isVisible();
#ifdef VESK_HAVE_CHARTS
    ChooseMenuItem(frame, QStringLiteral("Линия"), QStringLiteral("Графики"));
    panels_open = panels_open && frame.plots() && frame.plots()->isVisible();
#endif
    ChooseMenuItem(frame, QStringLiteral("Файл"), QStringLiteral("Выход"));
  });
  // Whatever happened above, the loop ends.
  QTimer::singleShot(kDialogDeadlineMs, &frame, [&frame] { frame.CloseWithoutAsking(); });
  application.Run();
  EXPECT_TRUE(panels_open);
  EXPECT_EQ(application.Shutdown(), 0);
  EXPECT_FALSE(fe->HasMainWindow());
}

}  // namespace
}  // namespace vesk::ui::test
