#pragma once
// What the application shell needs from whoever shows the program: the Qt window with its
// event loop, dialogs and progress window, or the headless run without any of them. The
// shell (start-up, document, unattended run, shut-down) is the same for both; a front end
// supplies the presenter, the progress window, the dialogs and the loop that runs the
// posted work on its own thread.

#include <functional>
#include <string>

#include "app/command_line.h"
#include "exchange/device_commands.h"
#include "exchange/progress_sink.h"
#include "link/presenter.h"
#include "platform/event.h"

namespace vesk::exchange {
class ExchangeEngine;
}

namespace vesk::app {

class Document;

// How the connection set-up dialog ended.
enum class SetupOutcome {
  Connected,  // OK: the link works, or the user chose to work offline
  Exit,       // "Выход": the user gave up
  NotShown,   // no dialog here (headless): the start goes on without the device
};

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  // Where messages and questions go.
  virtual link::Presenter& presenter() = 0;
  // The progress window of the tasks; nullptr lets the engine use its own headless one.
  virtual exchange::ProgressSink* Progress() { return nullptr; }

  // Shows the splash picture while the program starts (step 1) and removes it.
  virtual void ShowSplash() {}
  virtual void DestroySplash() {}

  // Creates the main window over the document. Returns false when it cannot be created.
  virtual bool CreateMainWindow(Document& document) = 0;
  // True while a main window exists (updates and close requests go to it).
  virtual bool HasMainWindow() const = 0;
  // Destroys the main window and everything in it that watches the document's link
  // (traffic, plots, polling). The document calls it before its engine and link go.
  virtual void DestroyMainWindow() {}
  // Places and shows the main window as the keys say (x, y, w, h, placement bits).
  virtual void PlaceMainWindow(const CommandLineSettings& settings) { (void)settings; }
  // Releases the placement lock that the keys x, y, w, h set.
  virtual void ClearPlacementLock() {}
  // Whether the program stays open after a command-line task without `close`: a window
  // does; a run without one has nothing left to show and ends.
  virtual bool StaysOpenAfterTask() const = 0;

  // Runs `work` on the front end's thread after what was posted before it.
  virtual void Post(std::function<void()> work) = 0;
  // Runs `work` on the front end's thread and returns when it is done ("synchronous
  // send"); called from worker threads while the front end's thread may be in a modal
  // wait for them.
  virtual void Send(std::function<void()> work) = 0;
  // Runs `work` as Send does, but returns false without it once `stop` is set before the
  // front end's thread has taken it up: that thread may be waiting for the caller's to
  // end. Returns true when the work ran.
  bool SendUnlessStopped(const std::function<void()>& work, platform::Event& stop);
  // Asks the main window to close: the loop ends after the work posted before it.
  virtual void RequestClose() = 0;
  // Runs the loop until the main window closes.
  virtual void Run() = 0;

  virtual void RefreshViews() {}
  virtual void BeginWaitCursor() {}
  virtual void EndWaitCursor() {}

  // The dialogs the document opens.
  virtual SetupOutcome RunSetupCarrier(exchange::ExchangeEngine& engine, bool offline_allowed) {
    (void)engine;
    (void)offline_allowed;
    return SetupOutcome::NotShown;
  }
  // Dialog 142 over `dialog`; true when it ended with OK.
  virtual bool RunApplyDialog(exchange::ApplyDialog& dialog) {
    (void)dialog;
    return false;
  }
  virtual void ShowSinglePoint(Document& document) { (void)document; }

  // Runs `job` (exchanges) on the exchange thread after what waits for the line before it,
  // with `text` shown while it runs, then `done` on the front end's thread; Stop ends the
  // job's exchanges. A job that cannot start (the line taken by a task) says so, and
  // `done` runs after nothing. Without a window both run here, one after the other.
  virtual void RunInBackground(exchange::ExchangeEngine& engine, std::string text,
                               std::function<void()> job, std::function<void()> done);
  virtual void ShowStateInOut(Document& document) { (void)document; }

  // Opens a file (the manual, the exported list) in the user's program for it. Returns 0
  // when the opener was started, ENOENT when the file is missing, ENOEXEC when nothing
  // can open it, another errno otherwise.
  virtual int OpenDocumentFile(const std::string& path);

 protected:
  // True when Send runs the work on the calling thread itself (no loop, or the caller is
  // the loop's thread); otherwise the work is posted and waited for.
  virtual bool SendsInline() const { return true; }
};

// The desktop's opener (xdg-open) for `path`, started without waiting for it. Returns 0,
// ENOENT when the file is missing, or the errno of starting it.
int OpenWithDesktop(const std::string& path);

// True when a display is there for a window (DISPLAY or WAYLAND_DISPLAY is set).
bool DisplayAvailable();

}  // namespace vesk::app
