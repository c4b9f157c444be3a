#pragma once
// How long an unattended run may take at most, worked out from what it must exchange and
// the link's retry rules, so that a run that outlives it is a hang and not a slow line.
//
//   bound = kProcessAllowance
//         + (link check requests × A + probe exchanges × P + task requests × A) × attempt
//         + kTaskLinger
//
//   attempt = reply wait + longest request (44 characters) × character time
//   A = attempts one request may take: 1, +2 when time-outs can happen (three in all),
//       +15 on lost starts (sixteen), +16 on line errors (seventeen); the three counters
//       are independent, and the last attempt ends the request whatever it got
//   P = attempts of one probe exchange: 1, +1 on time-outs, +16 on line errors
//   link check = 2 rounds × 2 converters × ("dev", "ver") requests, and
//                2 rounds × 3 probe protocols × 2 converters probe exchanges
//   task requests = per parameter of the walk: 1, 2 with attributes; the network name 4
//                   codes, each with its attributes when written; a write adds the apply
//                   command

#include <chrono>
#include <vector>

#include "fault_support.h"

namespace vesk::faults {

// What can happen to one attempt under a fault.
struct FaultKinds {
  bool timeouts = false;
  bool lost_starts = false;
  bool line_errors = false;
};

// The process's own start-up and shut-down (description, settings, threads, saving):
// measured at about a tenth of a second; the allowance covers sanitizer builds on a
// loaded machine.
inline constexpr std::chrono::milliseconds kProcessAllowance{5000};
// The finished task's window stays 20 × 100 ms.
inline constexpr std::chrono::milliseconds kTaskLinger{2000};

// The time one attempt may take on the test line (reply wait and the longest request).
std::chrono::microseconds AttemptTime();

int AttemptsPerRequest(FaultKinds kinds);

// Requests a read or write task makes over `walk` when nothing fails.
int TaskRequests(const std::vector<TreeEntry>& walk, bool write);

// The bound of a whole run, formula above.
std::chrono::milliseconds RunBound(const std::vector<TreeEntry>& walk, bool write,
                                   FaultKinds kinds);

// The time a run needs for `attempts` attempts seen on the line: the allowance, the
// attempts at most one attempt time each, the linger.
std::chrono::milliseconds NeededFor(int attempts);

}  // namespace vesk::faults
