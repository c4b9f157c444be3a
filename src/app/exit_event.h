#pragma once
// A request from outside to end the program in order: the exit event of the command line
// (a POSIX named semaphore that another program posts) or SIGTERM / SIGINT. Either one
// sets `event()`, which the shutdown watcher waits for beside its own events.

#include <semaphore.h>
#include <atomic>
#include <string>
#include <string_view>
#include <thread>

#include "platform/event.h"

namespace vesk::app {

enum class ExitSource { None, Semaphore, Signal };

// Longest exit event name: a semaphore name is "/" + name, at most NAME_MAX - 4 bytes.
inline constexpr size_t kMaxExitEventNameBytes = 250;

// The semaphore name for an exit event name ("done" -> "/done"); empty when the name
// cannot name a semaphore (empty, too long, holding "/" or a NUL).
std::string SemaphoreName(std::string_view exit_event_name);

class ExitRequest {
 public:
  ExitRequest();
  // Stops watching, restores the signal handling it replaced, closes the semaphore and
  // removes it from the system when this process created it.
  ~ExitRequest();
  ExitRequest(const ExitRequest&) = delete;
  ExitRequest& operator=(const ExitRequest&) = delete;

  // From now on SIGTERM and SIGINT set the event instead of ending the process; a second
  // one of them ends the process as usual (for a run that no longer responds). Returns 0,
  // or the errno when the handlers could not be installed. Only one ExitRequest may catch
  // signals at a time; a second call while another catches them returns EBUSY.
  int CatchSignals();

  // Opens the semaphore of `name`, creating it (mode 0600, count 0) when missing, and
  // starts watching it: a post sets the event. Returns 0, EINVAL for a name that cannot
  // name a semaphore, or the errno of sem_open (with `error` holding its text).
  int OpenSemaphore(std::string_view name, std::string& error);

  // Stops watching the semaphore and closes it (the application forgets its exit event
  // once it has acted on it). Safe to call when none is open.
  void CloseSemaphore();

  // Manual reset: set once an exit has been requested.
  platform::Event& event() { return event_; }
  bool Requested() { return event_.IsSet(); }
  // What asked first: the semaphore, a signal, or nothing yet.
  ExitSource source() const;

  // Sets the event as an outside request would (for a front end's own close request).
  void Request(ExitSource source);

 private:
  void Watch();

  platform::Event event_{platform::Event::Reset::Manual};
  std::atomic<ExitSource> source_{ExitSource::None};
  bool catching_ = false;

  sem_t* semaphore_ = SEM_FAILED;
  std::string semaphore_name_;
  bool created_ = false;
  std::atomic<bool> stop_watching_{false};
  std::thread watcher_;
};

}  // namespace vesk::app
