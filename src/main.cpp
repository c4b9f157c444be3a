// vesk-configurator: the configurator of the VESK module. Without a display (or with
// --no-gui) it runs the start-up and the command line's unattended task headless; the
// window joins this shell as another front end. The entry point sits above both front
// ends (app/ for the headless run, ui/ for the window), so that neither reaches the other.

#include <cstdio>
#include <exception>

#include "app/application.h"
#include "app/bus_actions.h"
#include "app/command_line.h"
#include "app/headless_front_end.h"
#include "app/script_actions.h"
#include "app/usage_text.h"
#include "link/presenter.h"
#include "platform/language.h"
#include "platform/paths.h"
#include "platform/settings_store.h"
#ifdef VESK_HAVE_QT
#include "ui/qt_main.h"
#endif

namespace {

constexpr int kNoWindowExit = 1;

constexpr const char* kNoDisplayText =
    "vesk-configurator: нет дисплея для окна программы (не заданы DISPLAY и "
    "WAYLAND_DISPLAY, или задан --no-gui).\nБез окна программа выполняет только "
    "задания командной строки (/read, /write, /test, --get, --print ...);\n"
    "справка: vesk-configurator --help\n";
constexpr const char* kNoWindowBuiltText =
    "vesk-configurator: окно программы в этой сборке отсутствует.\nБез окна программа "
    "выполняет только задания командной строки (/read, /write, /test, --get, "
    "--print ...);\nсправка: vesk-configurator --help\n";

// The language is set before anything is said, so the parser's remarks are already in
// it: the command line's choice, then the one the window kept, then the locale.
vesk::app::CommandLine ParseInChosenLanguage(int argc, char** argv) {
  using namespace vesk::platform;
  const std::optional<Language> asked = vesk::app::ParseCommandLine(argc, argv).language;
  std::optional<Language> kept;
  if (!asked) {
    if (const auto text = SettingsStore::Default().ReadText(kSettingsKey, kLanguageValue))
      kept = ParseLanguage(*text);
  }
  UseLanguage(ChooseLanguage(asked, kept), ProgramFile(ProgramFolder(), "locale", "share/locale"));
  return vesk::app::ParseCommandLine(argc, argv);
}

int RunHeadless(const vesk::app::CommandLine& cl) {
  using namespace vesk::app;
  HeadlessFrontEnd front_end((cl.settings.modes & modebit::kSilent) != 0);
  vesk::link::SetPresenter(&front_end.presenter());
  int code;
  {
    Application app(front_end);
    if (app.Start(cl)) app.Run();
    code = app.Shutdown();
  }
  vesk::link::SetPresenter(nullptr);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vesk::app;
  try {
    const CommandLine cl = ParseInChosenLanguage(argc, argv);
    if (cl.language_refused) {
      for (const std::string& problem : cl.problems)
        std::fprintf(stderr, "vesk-configurator: %s\n", problem.c_str());
      return kNoWindowExit;
    }
    if (const auto text = InformationText(cl)) {
      std::fputs(text->c_str(), stdout);
      return 0;
    }
    if (HasScriptActions(cl)) {
      for (const std::string& problem : cl.problems)
        std::fprintf(stderr, "vesk-configurator: %s\n", problem.c_str());
      return RunScriptActions(cl);
    }
    // Several devices one after another is work for the headless run, window or not.
    if (!cl.addresses.empty()) return RunOnAddresses(cl, RunHeadless);
#ifdef VESK_HAVE_QT
    // With a display the window runs the program, the command line's tasks included.
    if (DisplayAvailable() && !cl.no_gui) return vesk::ui::RunWithWindow(argc, argv, cl);
#endif
    // An interactive start needs the window; without the command line's keys there is
    // nothing a run without one could do.
    if (!(cl.settings.flags & cmdflag::kCommandLineRun)) {
      std::fputs(vesk::platform::Tr(!DisplayAvailable() || cl.no_gui ? kNoDisplayText
                                                                     : kNoWindowBuiltText),
                 stderr);
      return kNoWindowExit;
    }
    return RunHeadless(cl);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vesk-configurator: %s\n", e.what());
    return kNoWindowExit;
  }
}
