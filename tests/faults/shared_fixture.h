#pragma once
// What every fault test starts from, made once for the test program: the device's state,
// a configuration file read cleanly from another state (so that each of its values differs
// from the device's), and the tree as a fresh configuration holds it.

#include <string>
#include <vector>

#include "fault_support.h"

namespace vesk::faults {

struct SharedFixture {
  TempDir dir;
  Dump device_state;       // what the simulator holds before each run
  std::string file_bytes;  // the configuration file every run starts from
  std::vector<TreeEntry> file_entries;
  std::vector<TreeEntry> fresh;
  std::string error;  // why it could not be made; empty when it was
};

// Made at the first call; the folder goes at the end of the program.
const SharedFixture& Shared();

}  // namespace vesk::faults
