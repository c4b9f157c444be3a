// The configurator killed outright while it saves an unattended read, over and over at
// random moments around and inside the save: the file is always the old configuration or
// the new one, whole.

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "fault_support.h"
#include "shared_fixture.h"

namespace vesk::faults {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kKills = 30;
const char* const kTarget = "c.vesk";
// The save writes beside the file and renames: "c.vesk.tmpXXXXXX".
const std::string kTemporaryPrefix = std::string(kTarget) + ".tmp";

// Files appearing in a folder: created, or renamed into it.
class FolderWatch {
 public:
  explicit FolderWatch(const std::string& folder) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) ::inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_MOVED_TO);
  }
  ~FolderWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // Waits for an event of `mask` on a name that starts with `prefix`; the moment it was
  // seen, or nothing by the deadline. Events read along with it wait for the next call.
  std::optional<Clock::time_point> WaitFor(uint32_t mask, const std::string& prefix,
                                           Clock::time_point deadline) {
    for (;;) {
      while (!seen_.empty()) {
        const Seen e = seen_.front();
        seen_.pop_front();
        if ((e.mask & mask) && e.name.rfind(prefix, 0) == 0) return e.at;
      }
      if (Clock::now() >= deadline) return std::nullopt;
      pollfd p{fd_, POLLIN, 0};
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (::poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
      alignas(inotify_event) char buffer[4096];
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      const Clock::time_point at = Clock::now();
      for (ssize_t i = 0; i < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + i);
        if (e->len > 0) seen_.push_back({e->mask, std::string(e->name), at});
        i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
  }

 private:
  struct Seen {
    uint32_t mask;
    std::string name;
    Clock::time_point at;
  };
  int fd_ = -1;
  std::deque<Seen> seen_;
};

// Removes the temporary files a killed save left behind; how many there were.
int RemoveLeftovers(const std::string& folder) {
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().rfind(kTemporaryPrefix, 0) != 0) continue;
    std::filesystem::remove(entry.path());
    ++n;
  }
  return n;
}

TEST(SavingUnderACrash, FileIsTheOldOrTheNewConfigurationWhole) {
  const SharedFixture& s = Shared();
  ASSERT_EQ(s.error, "");
  TempDir dir;
  const std::string state = dir / "state.txt";
  WriteFile(state, FormatDump(s.device_state));
  SimRun sim(dir, state, {});
  ASSERT_TRUE(sim.Ok());
  const std::string target = dir / kTarget;

  // What an undisturbed read saves, the same twice over; and when, after the start, the
  // save begins and how long it takes.
  std::string new_bytes;
  Clock::duration save_begins{}, save_takes{};
  for (int k = 0; k < 2; ++k) {
    WriteFile(target, s.file_bytes);
    FolderWatch watch(dir.path());
    const Clock::time_point start = Clock::now();
    auto configurator = StartConfigurator(dir, sim.pty(), "/read/close", target);
    const auto created = watch.WaitFor(IN_CREATE, kTemporaryPrefix, start + 30s);
    const auto renamed = watch.WaitFor(IN_MOVED_TO, kTarget, start + 30s);
    const RunResult r = configurator->Wait(30s);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    ASSERT_TRUE(created && renamed) << "the save did not go through a temporary file";
    save_begins = *created - start;
    save_takes = *renamed - *created;
    const std::string bytes = ReadFile(target);
    ASSERT_NE(bytes, s.file_bytes);
    if (k == 1) {
      ASSERT_EQ(bytes, new_bytes) << "two reads of the same device saved different files";
    }
    new_bytes = bytes;
  }

  std::mt19937 random(20240607);
  int old_file = 0, new_file = 0, inside_save = 0;
  for (int i = 0; i < kKills; ++i) {
    SCOPED_TRACE("kill " + std::to_string(i));
    WriteFile(target, s.file_bytes);
    FolderWatch watch(dir.path());
    const Clock::time_point start = Clock::now();
    auto configurator = StartConfigurator(dir, sim.pty(), "/read/close", target);
    if (i % 3 == 2) {
      // Just before the save: in the last fifth of the time until it begins.
      std::uniform_real_distribution<double> share(0.8, 1.0);
      std::this_thread::sleep_until(
          start + std::chrono::duration_cast<Clock::duration>(share(random) * save_begins));
    } else {
      // Inside the save: from the temporary file's creation to a while past the rename.
      ASSERT_TRUE(watch.WaitFor(IN_CREATE, kTemporaryPrefix, start + 30s));
      std::uniform_real_distribution<double> share(0.0, 1.5);
      std::this_thread::sleep_for(
          std::chrono::duration_cast<Clock::duration>(share(random) * save_takes));
    }
    configurator->Signal(SIGKILL);
    configurator->Wait(std::chrono::hours(1));
    if (RemoveLeftovers(dir.path()) > 0) ++inside_save;

    const std::string bytes = ReadFile(target);
    EXPECT_TRUE(bytes == s.file_bytes || bytes == new_bytes)
        << "the file is neither configuration (" << bytes.size() << " bytes)";
    old_file += bytes == s.file_bytes ? 1 : 0;
    new_file += bytes == new_bytes ? 1 : 0;
    const SavedConfiguration saved = LoadSaved(target);
    EXPECT_TRUE(saved.loaded);
    EXPECT_TRUE(saved.messages.empty()) << saved.messages.front();
  }
  std::cout << "[   INFO   ] " << kKills << " kills: old file " << old_file << ", new file "
            << new_file << ", killed inside the save (temporary file left) " << inside_save
            << "; the save takes "
            << std::chrono::duration_cast<std::chrono::microseconds>(save_takes).count() << " us\n";
  RecordProperty("old_file", old_file);
  RecordProperty("new_file", new_file);
  RecordProperty("inside_save", inside_save);
}

}  // namespace
}  // namespace vesk::faults
