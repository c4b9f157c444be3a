#include "app/front_end.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

extern char** environ;

namespace vesk::app {

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
