#include "shared_fixture.h"

#include <chrono>
#include <memory>

namespace vesk::faults {

namespace {

std::unique_ptr<SharedFixture> Make() {
  auto f = std::make_unique<SharedFixture>();
  f->fresh = FreshTree();
  if (f->fresh.empty()) {
    f->error = "the description builds no tree";
    return f;
  }
  Dump defaults;
  {
    // Without a state file the simulator starts from the description's values.
    SimRun sim(f->dir, f->dir / "none.txt", {});
    if (!sim.Ok()) {
      f->error = "vesk-sim did not start";
      return f;
    }
    sim.Stop();
    defaults = ParseDump(ReadFile(sim.dump_path));
  }
  f->device_state = MarkedState(defaults, 0);
  const std::string file_state = f->dir / "file-state.txt";
  WriteFile(file_state, FormatDump(MarkedState(defaults, 1)));
  SimRun sim(f->dir, file_state, {});
  const std::string file = f->dir / "file.vesk";
  const RunResult r =
      StartConfigurator(f->dir, sim.pty(), "/read/close", file)->Wait(std::chrono::seconds(30));
  SavedConfiguration saved = LoadSaved(file);
  if (r.exit_code != 0 || !saved.loaded) {
    f->error = "the clean read of the file's state failed: " + r.err;
    return f;
  }
  f->file_bytes = ReadFile(file);
  f->file_entries = std::move(saved.entries);
  return f;
}

}  // namespace

const SharedFixture& Shared() {
  static const std::unique_ptr<SharedFixture> fixture = Make();
  return *fixture;
}

}  // namespace vesk::faults
