#pragma once
// What the configurator lived through in a run, read back from the simulator's trace:
// every request it sent and what came back, grouped into requests with their retries,
// the start-up link check and the walk of the task over the tree. Replaying the link's
// retry rules, the failure streaks and the exit-status rules over it gives what the run
// must have left: the exit status, the parameters that failed, and whether the task was
// cut short.

#include <cstdint>
#include <string>
#include <vector>

#include "fault_support.h"

namespace vesk::faults {

// What one attempt got back, as the configurator sees it.
enum class Outcome {
  Timeout,       // no answer (lost, or the device silent)
  LostStart,     // an answer without its start character
  Checksum,      // an answer whose checksum fails
  Answer,        // the answer to this request
  ErrorReply,    // an "n.Err" answer
  OtherCommand,  // a well-formed answer with another hash
  Uncertain,     // an answer whose timing the trace cannot place within the reply wait
};

struct Attempt {
  double seconds = 0;
  std::string request;  // the characters received
  bool read = false;
  uint16_t hash = 0;
  std::vector<uint8_t> data;
  Outcome outcome = Outcome::Timeout;
  bool error_data = false;  // an error reply that carries its code
  double delay = 0;         // seconds from the request to the answer
};

// The attempts in the trace, in order. Requests in another protocol set `foreign`.
std::vector<Attempt> ParseAttempts(const std::string& trace, double reply_wait_seconds,
                                   bool& foreign);

// One request with its retries, and how it ended.
struct Request {
  bool read = false;
  uint16_t hash = 0;
  std::vector<uint8_t> data;
  Outcome result = Outcome::Timeout;
  bool error_data = false;
  int attempts = 0;
};

struct Replay {
  bool modelled = false;  // false: the trace holds what the rules below do not cover
  bool astray = false;    // the requests broke the link's or the walk's rules
  std::string why;        // for either of the two
  int attempts = 0;
  uint32_t exit_status = 0;
  bool cancelled = false;           // the task stopped early (five failures in a row)
  std::vector<std::string> failed;  // keys of the parameters that failed, in walk order
  bool slow = false;                // some answer took long enough to doubt the timing

  // Records a broken rule, or, after slow answers, that the run cannot be replayed.
  void Astray(const std::string& reason);
};

// Replays a run of the task (`write` or read) over `walk`, the tree's parameters in walk
// order with the values of the file written. Not modelled when the trace holds foreign
// requests, answers it cannot place in time, or a link check that needed the probes.
Replay ReplayRun(const std::string& trace, const std::vector<TreeEntry>& walk, bool write,
                 double reply_wait_seconds);

// The exit code the status selects: the lowest set bit wins, 0x01 giving 200.
int ExitCodeFor(uint32_t status);

// The keys of the lines of an error log, in order (a note may take several lines).
std::vector<std::string> ErrorLogKeys(const std::string& log);

}  // namespace vesk::faults
