// The unattended read and write of the whole tree against vesk-sim playing a bad line:
// lost, spoilt, headless, foreign and late answers, a device that falls silent, a device
// that vanishes. Whatever the line does, the run ends in the time its exchanges need, its
// exit code follows the exit-status rules, and no parameter ends up with a value that
// neither the device nor the configuration had.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "exchange_replay.h"
#include "fault_support.h"
#include "link/device_link.h"
#include "link/frame_codec.h"
#include "run_bound.h"
#include "shared_fixture.h"

namespace vesk::faults {
namespace {

using namespace std::chrono_literals;

// The simulator is killed once it has received this many frames: well inside the task.
constexpr int kKillAfterFrames = 100;
// A fixed seed makes every fault fall on the same answers in every run.
const std::vector<std::string> kSeed{"--seed", "7"};

struct FaultCase {
  const char* name;
  std::vector<std::string> options;
  FaultKinds kinds;
  bool kill_simulator = false;
  // Late answers and a vanished device leave the trace without what the configurator
  // saw in time; such runs are judged by the rules that hold whatever the timing.
  bool replayable = true;
  // Answers arrive after their request was given up, during later requests.
  bool late_answers = false;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<std::string> With(std::vector<std::string> options) {
  options.insert(options.end(), kSeed.begin(), kSeed.end());
  return options;
}

// The reply wait at 115200 Bd is 110 ms; 400 ms is beyond all three attempts of a request.
const std::vector<FaultCase> kCases = {
    {"Clean", With({}), {}},
    {"Drop", With({"--drop", "0.2"}), {.timeouts = true}},
    {"Corrupt", With({"--corrupt", "0.1"}), {}},
    // An answer without its "#" is noise, and the request is tried again as after silence.
    {"Garbage", With({"--garbage", "0.1"}), {.timeouts = true}},
    {"WrongHash", With({"--wrong-hash", "0.1"}), {}},
    {"Late", With({"--late-ms", "400"}), {.timeouts = true}, false, false, true},
    {"MuteAfter", With({"--mute-after", "120"}), {.timeouts = true}},
    // A rude line costs no retries: what is not the answer is skipped.
    {"Echo", With({"--echo"}), {}},
    {"Noise", With({"--noise", "0.3"}), {}},
    {"Stray", With({"--stray", "0.2"}), {}},
    {"SimulatorKilled",
     With({}),
     {.timeouts = true, .lost_starts = true, .line_errors = true},
     true,
     false},
};

bool OneOf(const std::string& v, std::initializer_list<const std::string*> allowed) {
  return std::any_of(allowed.begin(), allowed.end(),
                     [&](const std::string* a) { return a && *a == v; });
}

const DumpEntry* Find(const Dump& dump, const DumpKey& key) {
  auto it = dump.find(key);
  return it == dump.end() ? nullptr : &it->second;
}

// True when some other copy of the parameter holds `attributes` in the device.
bool HeldByAnotherCopy(const Dump& device, const TreeEntry& e, const std::string& attributes) {
  for (const auto& [key, entry] : device)
    if (key.first == e.name && key != e.Dump() && entry.attributes == attributes) return true;
  return false;
}

class FaultMatrix : public ::testing::TestWithParam<std::tuple<FaultCase, bool>> {
 protected:
  void SetUp() override { ASSERT_EQ(Shared().error, ""); }

  void CheckExitCode(const FaultCase& c, bool anything_failed) {
    if (replay.astray) ADD_FAILURE() << "the requests broke the rules: " << replay.why;
    if (replay.modelled && !replay.astray) {
      EXPECT_EQ(run.exit_code, ExitCodeFor(replay.exit_status))
          << "exit status 0x" << std::hex << replay.exit_status;
      return;
    }
    // A replayable case that could not be replayed (a busy machine) is still judged by
    // the rules that hold whatever the timing.
    if (c.replayable) std::cout << "[   NOTE   ] not replayed: " << replay.why << "\n";
    if (c.kill_simulator) {
      // A killed simulator takes the pseudo-terminal with it: the port is lost and cannot
      // be opened again (201), unless time-outs ended the task first.
      EXPECT_TRUE(run.exit_code == 201 || run.exit_code == 202 || run.exit_code == 203)
          << run.exit_code;
    } else {
      EXPECT_TRUE(run.exit_code == 0 || run.exit_code == 202 || run.exit_code == 203)
          << run.exit_code;
    }
    if (anything_failed) {
      EXPECT_NE(run.exit_code, 0) << "failures reported as success";
    }
  }

  // Every parameter of the saved file holds what the device holds, or, with the reason in
  // its note, what it held before: the file's value or a fresh configuration's, which is
  // where a read starts. Parameters the task never reached keep the fresh value and no
  // note, and come only after five time-outs in a row.
  void CheckRead(const FaultCase& c, const std::string& file, const Dump& device) {
    const SharedFixture& s = Shared();
    SavedConfiguration saved = LoadSaved(file);
    ASSERT_TRUE(saved.loaded) << "the saved file does not load";
    EXPECT_TRUE(saved.messages.empty()) << saved.messages.front();
    ASSERT_EQ(saved.entries.size(), s.fresh.size());
    if (ReadFile(file) == s.file_bytes) {
      // Nothing was saved: the read got nothing to keep.
      EXPECT_NE(run.exit_code, 0);
      return;
    }
    std::vector<std::string> noted;
    size_t unvisited = std::string::npos;
    for (size_t i = 0; i < saved.entries.size(); ++i) {
      const TreeEntry& e = saved.entries[i];
      const TreeEntry& before = s.file_entries[i];
      const TreeEntry& fresh = s.fresh[i];
      const std::string key = e.Key();
      if (e.note.empty() && e.value == fresh.value) {
        if (unvisited == std::string::npos) unvisited = i;
        continue;
      }
      if (unvisited != std::string::npos)
        ADD_FAILURE() << key << " was read after " << saved.entries[unvisited].Key()
                      << " was left out";
      const DumpEntry* d = Find(device, e.Dump());
      const bool attributes = e.has_attributes && d && d->attributes != "-";
      const std::string attr = e.AttributeText();
      if (e.note.empty()) {
        if (!d) continue;
        EXPECT_EQ(e.value, d->value) << key << ": read without a note, yet not the device's";
        if (attributes) {
          EXPECT_EQ(attr, d->attributes) << key << " attributes";
        }
        continue;
      }
      noted.push_back(key);
      const std::string* device_value = d ? &d->value : nullptr;
      EXPECT_TRUE(OneOf(e.value, {device_value, &before.value, &fresh.value}))
          << key << " holds \"" << e.value << "\", which neither side had (" << e.note << ")";
      if (attributes) {
        const std::string before_attr = before.AttributeText(), fresh_attr = fresh.AttributeText();
        // The link tells a late attribute answer of another parameter by the hash the
        // answer repeats, but not yet one of another copy of the same parameter by the
        // index it repeats; such attributes can stay with a parameter whose value then
        // failed.
        const bool other_copy = c.late_answers && HeldByAnotherCopy(device, e, attr);
        EXPECT_TRUE(OneOf(attr, {&d->attributes, &before_attr, &fresh_attr}) || other_copy)
            << key << " attributes " << attr;
      }
    }
    if (unvisited != std::string::npos) {
      // Cut short by five failures in a row: time-outs, or a lost port that then cannot
      // be opened again.
      ASSERT_GE(unvisited, 5u);
      for (size_t i = unvisited - 5; i < unvisited; ++i) {
        const std::string& note = saved.entries[i].note;
        const bool line_gone = c.kill_simulator && (note.find(" потерян: ") != std::string::npos ||
                                                    note == link::kTextPortNotOpen);
        EXPECT_TRUE(note == kTimeoutNote || line_gone) << saved.entries[i].Key() << ": " << note;
      }
    }
    EXPECT_EQ(ErrorLogKeys(log), noted) << "the error log lists other parameters";
    if (replay.modelled && !replay.astray) {
      EXPECT_EQ(replay.failed, noted);
      EXPECT_EQ(replay.cancelled, unvisited != std::string::npos);
    }
    CheckExitCode(c, !noted.empty() || unvisited != std::string::npos);
  }

  // The device holds, for every parameter, the file's value or its own from before; one
  // that does not hold the file's value was reported in the error log, or the task
  // stopped before it.
  void CheckWrite(const FaultCase& c, const std::string& file, const Dump& device) {
    const SharedFixture& s = Shared();
    EXPECT_EQ(ReadFile(file), s.file_bytes) << "writing changed the file written from";
    const std::vector<std::string> logged = ErrorLogKeys(log);
    if (c.kill_simulator) {
      CheckExitCode(c, true);
      return;
    }
    size_t last_logged = 0;
    std::vector<std::string> not_held;
    for (size_t i = 0; i < s.file_entries.size(); ++i) {
      const TreeEntry& e = s.file_entries[i];
      const std::string key = e.Key();
      if (std::find(logged.begin(), logged.end(), key) != logged.end()) last_logged = i;
      if (!e.writable || e.value == kNoData) continue;
      bool held = true;
      if (e.name == "CHAr*") {
        link::PackedName codes{};
        ASSERT_TRUE(link::PackNetworkName(e.value, codes)) << e.value;
        for (int k = 0; k < 4; ++k) {
          const DumpKey code_key{"CHAr", std::to_string(e.index < 0 ? k : e.index + k)};
          const DumpEntry* now = Find(device, code_key);
          const DumpEntry* was = Find(s.device_state, code_key);
          ASSERT_TRUE(now && was) << "CHAr:" << k;
          const std::string wanted = std::to_string(codes[static_cast<size_t>(k)]);
          EXPECT_TRUE(OneOf(now->value, {&wanted, &was->value}))
              << "CHAr:" << k << " holds code " << now->value;
          held = held && now->value == wanted;
        }
      } else {
        const DumpEntry* now = Find(device, e.Dump());
        const DumpEntry* was = Find(s.device_state, e.Dump());
        if (!now || !was) continue;  // not kept by the device
        EXPECT_TRUE(OneOf(now->value, {&e.value, &was->value}))
            << key << " holds \"" << now->value << "\", which neither side had";
        held = now->value == e.value;
        if (e.has_attributes && now->attributes != "-") {
          const std::string attr = e.AttributeText();
          EXPECT_TRUE(OneOf(now->attributes, {&attr, &was->attributes}))
              << key << " attributes " << now->attributes;
          held = held && now->attributes == attr;
        }
      }
      if (!held) not_held.push_back(key);
      if (!held && std::find(logged.begin(), logged.end(), key) == logged.end() &&
          (i < last_logged || run.exit_code == 0))
        ADD_FAILURE() << key << " was not written, and no failure says so";
    }
    if (run.exit_code == 0) {
      EXPECT_TRUE(logged.empty() && not_held.empty());
    }
    if (replay.modelled && !replay.astray) {
      EXPECT_EQ(logged, replay.failed);
    }
    CheckExitCode(c, !logged.empty() || !not_held.empty());
  }

  RunResult run;
  Replay replay;
  std::string log;
};

TEST_P(FaultMatrix, EndsInTimeWithValuesOneSideHad) {
  const auto& [c, write] = GetParam();
  const SharedFixture& s = Shared();
  TempDir dir;
  const std::string state = dir / "state.txt";
  WriteFile(state, FormatDump(s.device_state));
  const std::string file = dir / "config.vesk";
  WriteFile(file, s.file_bytes);

  SimRun sim(dir, state, c.options);
  ASSERT_TRUE(sim.Ok());
  const std::chrono::milliseconds bound = RunBound(s.file_entries, write, c.kinds);
  auto configurator = StartConfigurator(
      dir, sim.pty(), std::string(write ? "/write" : "/read") + "/close/elog:errors.log", file);
  if (c.kill_simulator) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (sim.Received() < kKillAfterFrames && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(1ms);
    sim.Kill();
  }
  run = configurator->Wait(bound);
  ASSERT_FALSE(run.timed_out) << "still running after " << bound.count() << " ms: a hang";
  if (!c.kill_simulator) {
    const int sim_exit = sim.Stop();
    ASSERT_EQ(sim_exit, 0) << "vesk-sim did not end cleanly: " << sim.errors;
  }

  // A sanitizer build reports there what it found; nothing found, nothing written.
  for (const std::string* err : {&run.err, &sim.errors}) {
    EXPECT_EQ(err->find("runtime error:"), std::string::npos) << *err;
    EXPECT_EQ(err->find("Sanitizer"), std::string::npos) << *err;
  }

  const std::string trace = ReadFile(sim.trace_path);
  log = ReadFile(dir / "errors.log");
  const double reply_wait = std::chrono::duration<double>(AttemptTime()).count();
  // The trace of a killed device ends in the middle of the task.
  if (!c.kill_simulator)
    replay = ReplayRun(trace, write ? s.file_entries : s.fresh, write, reply_wait);
  if (!c.kill_simulator) {
    EXPECT_LE(run.elapsed, NeededFor(replay.attempts))
        << replay.attempts << " attempts on the line do not need that long";
  }

  // A killed device wrote nothing; a read leaves it as it was.
  const Dump device = c.kill_simulator ? s.device_state : ParseDump(ReadFile(sim.dump_path));
  if (write)
    CheckWrite(c, file, device);
  else
    CheckRead(c, file, device);
  RecordProperty("elapsed_ms", static_cast<int>(run.elapsed.count()));
  RecordProperty("bound_ms", static_cast<int>(bound.count()));
  RecordProperty("exit_code", run.exit_code);
  RecordProperty("attempts", replay.attempts);
  RecordProperty("replayed", replay.modelled && !replay.astray ? 1 : 0);
  RecordProperty("failed", static_cast<int>(ErrorLogKeys(log).size()));
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<FaultCase, bool>>& info) {
  return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "Write" : "Read");
}

INSTANTIATE_TEST_SUITE_P(Line, FaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(kCases),
                                            ::testing::Values(false, true)),
                         CaseName);

// The bus scan and --watch on the rude lines: only the devices that are there, only the
// values they hold, and no failure, since nothing was lost.
struct RudeLine {
  const char* name;
  std::vector<std::string> options;
};

void PrintTo(const RudeLine& c, std::ostream* os) {
  *os << c.name;
}

class RudeLineRun : public ::testing::TestWithParam<RudeLine> {
 protected:
  std::vector<std::string> SimArgs(std::vector<std::string> args) const {
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    args.insert(args.end(), kSeed.begin(), kSeed.end());
    return args;
  }
  TempDir dir;
};

TEST_P(RudeLineRun, BusScanFindsOnlyTheDevicesThere) {
  app::test::Simulator sim(dir, SimArgs({"--bps", "115200", "--line-timing", "--devices=16,17"}));
  const RunResult r =
      app::test::RunConfigurator(dir, {"--port=" + sim.pty(), "--bps=115200", "--scan=0-31"}, 60s);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> found;
  for (size_t at = 0; at < r.out.size();) {
    const size_t end = r.out.find('\n', at);
    found.push_back(r.out.substr(at, r.out.find('\t', at) - at));
    at = end == std::string::npos ? r.out.size() : end + 1;
  }
  EXPECT_EQ(found, (std::vector<std::string>{"16", "17"})) << r.out;
}

TEST_P(RudeLineRun, WatchRowsHoldTheDevicesValues) {
  app::test::Simulator sim(dir, SimArgs({"--bps", "115200"}));
  const RunResult r = app::test::RunConfigurator(
      dir, {"--port=" + sim.pty(), "--bps=115200", "--watch=bPS,Addr", "--period=20", "--count=8"},
      30s);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  size_t rows = 0;
  for (size_t at = r.out.find('\n'); at != std::string::npos && at + 1 < r.out.size();
       at = r.out.find('\n', at + 1)) {
    const std::string row = r.out.substr(at + 1, r.out.find('\n', at + 1) - at - 1);
    EXPECT_TRUE(row.ends_with(",115200,16")) << row;
    ++rows;
  }
  EXPECT_EQ(rows, 8u) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Line, RudeLineRun,
    ::testing::Values(RudeLine{"Echo", {"--echo"}}, RudeLine{"Noise", {"--noise", "0.3"}},
                      RudeLine{"Stray", {"--stray", "0.2"}},
                      RudeLine{"All", {"--echo", "--noise", "0.3", "--stray", "0.2"}}),
    [](const auto& info) { return std::string(info.param.name); });

// An echoing converter with nobody behind it: the echo is no device and confirms nothing.
TEST(EchoWithoutADevice, NothingIsFoundAndNoWriteIsReported) {
  TempDir dir;
  app::test::Simulator sim(dir, {"--bps", "115200", "--echo", "--devices="});
  const std::string port = "--port=" + sim.pty();
  RunResult r = app::test::RunConfigurator(dir, {port, "--bps=115200", "--set=FiLt:3=25"}, 30s);
  EXPECT_EQ(r.exit_code, 202) << r.err;
  EXPECT_EQ(r.out, "");
  r = app::test::RunConfigurator(dir, {port, "--bps=115200", "--scan=0-31"}, 60s);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exit_code, 206) << r.err;  // as on a line where nobody answers
}

}  // namespace
}  // namespace vesk::faults
