#include "app/front_end.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/wait.h"

extern char** environ;

namespace vesk::app {

void FrontEnd::RunInBackground(exchange::ExchangeEngine& engine, std::string text,
                               std::function<void()> job, std::function<void()> done) {
  (void)engine;
  (void)text;
  if (job) job();
  if (done) done();
}

bool FrontEnd::SendUnlessStopped(const std::function<void()>& work, platform::Event& stop) {
  if (SendsInline()) {
    work();
    return true;
  }
  // Whoever comes first decides: the front end's thread takes the work up, or the caller
  // gives it up, and the work never runs later with its caller gone.
  struct Handover {
    std::mutex mutex;
    bool taken = false;
    bool abandoned = false;
    platform::Event done{platform::Event::Reset::Manual};
  };
  auto handover = std::make_shared<Handover>();
  Post([handover, work] {
    {
      std::lock_guard lock(handover->mutex);
      if (handover->abandoned) return;
      handover->taken = true;
    }
    work();
    handover->done.Set();
  });
  const auto forever = std::chrono::milliseconds(-1);
  for (;;) {
    const int woke = platform::WaitAny(
        {platform::Signalled(handover->done), platform::Signalled(stop)}, forever);
    if (woke == 0) return true;
    if (woke != 1) continue;
    std::lock_guard lock(handover->mutex);
    if (!handover->taken) {
      handover->abandoned = true;
      return false;
    }
    break;
  }
  // Taken up already: the front end's thread is running it, not waiting for this one.
  while (platform::WaitAny({platform::Signalled(handover->done)}, forever) != 0) {
  }
  return true;
}

int FrontEnd::OpenDocumentFile(const std::string& path) {
  return OpenWithDesktop(path);
}

int OpenWithDesktop(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  // An absolute name cannot be taken for an option of the opener.
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved)) return errno;
  // The shell starts the opener in the background and ends at once: the opener may run as
  // long as it likes, and nothing is left for this process to collect later.
  const char* argv[] = {"/bin/sh", "-c",     "xdg-open \"$1\" >/dev/null 2>&1 </dev/null &",
                        "sh",      resolved, nullptr};
  pid_t pid = 0;
  const int rc =
      ::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
  if (rc != 0) return rc;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return 0;
}

bool DisplayAvailable() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

}  // namespace vesk::app
