#include "app/watch_run.h"

#include <chrono>

#include "app/csv_text.h"
#include "app/exit_code.h"
#include "app/exit_event.h"
#include "link/exit_status.h"
#include "platform/wait.h"

namespace vesk::app {

std::vector<std::string> WatchHeader(const std::vector<ParameterAccess>& watched) {
  std::vector<std::string> header{"time"};
  for (const ParameterAccess& w : watched)
    header.push_back(w.index ? w.name + ":" + std::to_string(*w.index) : w.name);
  return header;
}

int RunWatch(const CommandLine& cl, link::DeviceLink& link,
             const std::vector<exchange::CommandDescription>& descriptions, ExitRequest& exit,
             std::FILE* out) {
  using Clock = std::chrono::steady_clock;
  std::fprintf(out, "%s\n", CsvRow(WatchHeader(cl.watch)).c_str());
  std::fflush(out);
  const auto period = std::chrono::milliseconds(cl.period_ms);
  auto next = Clock::now();
  uint32_t last_status = 0;
  for (uint64_t round = 0; !cl.count || round < *cl.count; ++round) {
    link::exit_status.store(0);
    // A watch runs for hours: a port that went away (adapter pulled, server gone) is
    // opened again by its name at the next round, so the rows resume once it is back.
    if (!link.port().IsOpen()) link.OpenPort(false);
    std::vector<std::string> row{IsoTimeMs(std::chrono::system_clock::now())};
    for (const ParameterAccess& w : cl.watch) {
      if (exit.Requested()) break;
      const exchange::ExecuteOutcome outcome =
          exchange::AccessOneParameter(link, descriptions, false, w.name, w.index, {});
      row.push_back(outcome.Ok() ? outcome.value : std::string());
    }
    if (exit.Requested()) break;  // a round cut short is not written
    last_status = link::exit_status.load();
    std::fprintf(out, "%s\n", CsvRow(row).c_str());
    std::fflush(out);
    if (cl.count && round + 1 == *cl.count) break;
    // Rounds keep to the period; one that overran starts the next at once.
    next += period;
    if (next < Clock::now()) next = Clock::now();
    if (platform::WaitAnyUntil({platform::Signalled(exit.event())}, next) == 0) break;
  }
  if (exit.Requested()) return ChooseExitCode(exitbit::kCancelled);
  return ChooseExitCode(last_status);
}

}  // namespace vesk::app
