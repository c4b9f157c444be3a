#include "app/exit_event.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/wait.h"

namespace vesk::app {
namespace {

using namespace std::chrono_literals;

std::string UniqueName(const char* stem) {
  return std::string(stem) + std::to_string(::getpid());
}

bool SemaphoreExists(const std::string& name) {
  sem_t* s = sem_open(("/" + name).c_str(), 0);
  if (s == SEM_FAILED) return false;
  sem_close(s);
  return true;
}

void Post(const std::string& name) {
  sem_t* s = sem_open(("/" + name).c_str(), 0);
  ASSERT_NE(s, SEM_FAILED);
  sem_post(s);
  sem_close(s);
}

bool WaitSet(ExitRequest& r, std::chrono::milliseconds limit) {
  return platform::WaitAny({platform::Signalled(r.event())}, limit) == 0;
}

TEST(ExitEvent, SemaphoreNames) {
  EXPECT_EQ(SemaphoreName("done"), "/done");
  EXPECT_EQ(SemaphoreName("Done"), "/Done");
  EXPECT_EQ(SemaphoreName(""), "");
  EXPECT_EQ(SemaphoreName("a/b"), "");
  EXPECT_EQ(SemaphoreName(std::string("a\0b", 3)), "");
  EXPECT_EQ(SemaphoreName(std::string(kMaxExitEventNameBytes, 'x')).size(),
            kMaxExitEventNameBytes + 1);
  EXPECT_EQ(SemaphoreName(std::string(kMaxExitEventNameBytes + 1, 'x')), "");
}

TEST(ExitEvent, PostFromAnotherProgramSetsTheEvent) {
  const std::string name = UniqueName("vesk-test-post-");
  {
    ExitRequest r;
    std::string error;
    ASSERT_EQ(r.OpenSemaphore(name, error), 0) << error;
    EXPECT_FALSE(r.Requested());
    EXPECT_FALSE(WaitSet(r, 120ms));
    Post(name);
    EXPECT_TRUE(WaitSet(r, 2s));
    EXPECT_EQ(r.source(), ExitSource::Semaphore);
  }
  // Created by the program, so removed with it.
  EXPECT_FALSE(SemaphoreExists(name));
}

TEST(ExitEvent, ExistingSemaphoreIsOpenedAndKept) {
  const std::string name = UniqueName("vesk-test-kept-");
  sem_t* own = sem_open(("/" + name).c_str(), O_CREAT, 0600, 0);
  ASSERT_NE(own, SEM_FAILED);
  {
    ExitRequest r;
    std::string error;
    ASSERT_EQ(r.OpenSemaphore(name, error), 0) << error;
    sem_post(own);
    EXPECT_TRUE(WaitSet(r, 2s));
  }
  EXPECT_TRUE(SemaphoreExists(name));
  sem_close(own);
  sem_unlink(("/" + name).c_str());
}

TEST(ExitEvent, BadNameIsRefused) {
  ExitRequest r;
  std::string error;
  EXPECT_EQ(r.OpenSemaphore("a/b", error), EINVAL);
  EXPECT_FALSE(error.empty());
  r.CloseSemaphore();  // nothing open: harmless
}

TEST(ExitEvent, SignalsAskForTheExitOnce) {
  for (int sig : {SIGTERM, SIGINT}) {
    struct sigaction before {};
    sigaction(sig, nullptr, &before);
    {
      ExitRequest r;
      ASSERT_EQ(r.CatchSignals(), 0);
      ExitRequest second;
      EXPECT_EQ(second.CatchSignals(), EBUSY);
      ::raise(sig);
      EXPECT_TRUE(WaitSet(r, 2s));
      EXPECT_EQ(r.source(), ExitSource::Signal);
    }
    // The handling that was there before is back.
    struct sigaction after {};
    sigaction(sig, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
  }
}

}  // namespace
}  // namespace vesk::app
