#include "app/exit_event.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <system_error>

namespace vesk::app {
namespace {

using namespace std::chrono_literals;

// How often the watcher looks whether it should stop; bounds the delay of shutting down.
constexpr long kWatchStepNs = 50'000'000;

// What the signal handler may touch: a descriptor to write to and a flag.
std::atomic<int> g_signal_fd{-1};
volatile sig_atomic_t g_signalled = 0;
std::atomic<bool> g_catching{false};
struct sigaction g_old_term {};
struct sigaction g_old_int {};

extern "C" void OnExitSignal(int) {
  const int saved = errno;
  g_signalled = 1;
  const int fd = g_signal_fd.load();
  if (fd >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
  }
  errno = saved;
}

}  // namespace

std::string SemaphoreName(std::string_view name) {
  if (name.empty() || name.size() > kMaxExitEventNameBytes) return {};
  if (name.find('/') != std::string_view::npos || name.find('\0') != std::string_view::npos)
    return {};
  return "/" + std::string(name);
}

ExitRequest::ExitRequest() = default;

ExitRequest::~ExitRequest() {
  CloseSemaphore();
  if (catching_) {
    sigaction(SIGTERM, &g_old_term, nullptr);
    sigaction(SIGINT, &g_old_int, nullptr);
    g_signal_fd.store(-1);
    g_catching.store(false);
  }
}

int ExitRequest::CatchSignals() {
  if (catching_) return 0;
  bool expected = false;
  if (!g_catching.compare_exchange_strong(expected, true)) return EBUSY;
  g_signalled = 0;
  g_signal_fd.store(event_.fd());
  struct sigaction action {};
  action.sa_handler = OnExitSignal;
  sigemptyset(&action.sa_mask);
  // The first signal asks for an orderly end; the handler then reverts to the default,
  // so that a second one still ends a run that does not respond.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  if (sigaction(SIGTERM, &action, &g_old_term) != 0 || sigaction(SIGINT, &action, &g_old_int)) {
    const int err = errno;
    sigaction(SIGTERM, &g_old_term, nullptr);
    g_signal_fd.store(-1);
    g_catching.store(false);
    return err;
  }
  catching_ = true;
  return 0;
}

int ExitRequest::OpenSemaphore(std::string_view name, std::string& error) {
  CloseSemaphore();
  const std::string sem_name = SemaphoreName(name);
  if (sem_name.empty()) {
    error = std::strerror(EINVAL);
    return EINVAL;
  }
  created_ = true;
  sem_t* sem = sem_open(sem_name.c_str(), O_CREAT | O_EXCL, 0600, 0);
  if (sem == SEM_FAILED && errno == EEXIST) {
    created_ = false;
    sem = sem_open(sem_name.c_str(), 0);
  }
  if (sem == SEM_FAILED) {
    const int err = errno;
    created_ = false;
    error = std::strerror(err);
    return err;
  }
  semaphore_ = sem;
  semaphore_name_ = sem_name;
  stop_watching_.store(false);
  try {
    watcher_ = std::thread([this] { Watch(); });
  } catch (const std::system_error& e) {
    error = e.what();
    CloseSemaphore();
    return EAGAIN;
  }
  return 0;
}

void ExitRequest::CloseSemaphore() {
  stop_watching_.store(true);
  if (watcher_.joinable()) watcher_.join();
  if (semaphore_ != SEM_FAILED) {
    sem_close(semaphore_);
    if (created_) sem_unlink(semaphore_name_.c_str());
  }
  semaphore_ = SEM_FAILED;
  semaphore_name_.clear();
  created_ = false;
}

ExitSource ExitRequest::source() const {
  const ExitSource s = source_.load();
  if (s != ExitSource::None) return s;
  return catching_ && g_signalled ? ExitSource::Signal : ExitSource::None;
}

void ExitRequest::Request(ExitSource source) {
  ExitSource expected = ExitSource::None;
  source_.compare_exchange_strong(expected, source);
  event_.Set();
}

void ExitRequest::Watch() {
  while (!stop_watching_.load()) {
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_nsec += kWatchStepNs;
    if (deadline.tv_nsec >= 1'000'000'000) {
      deadline.tv_nsec -= 1'000'000'000;
      ++deadline.tv_sec;
    }
    if (sem_timedwait(semaphore_, &deadline) == 0) {
      Request(ExitSource::Semaphore);
      return;
    }
    if (errno != ETIMEDOUT && errno != EINTR) {
      // A semaphore that cannot be waited on any more can no longer ask for anything.
      return;
    }
  }
}

}  // namespace vesk::app
