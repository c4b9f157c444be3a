#pragma once
// What the simulator's tests share: the device built from the real description, a
// simulator serving a pseudo-terminal on a thread of the test, and the project's own
// DeviceLink as the configurator's side of the wire.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device.h"
#include "device_store.h"
#include "line.h"
#include "link/device_link.h"
#include "link/parameter.h"
#include "lorn_responder.h"
#include "platform/event.h"
#include "sim_options.h"
#include "simulator.h"
#include "trace_log.h"

namespace vesk::sim::test {

// The description container the build made (or $VESK_TREE_DAT).
std::string TreePath();

// The parameters of the real description, loaded once.
const std::vector<ParameterSpec>& DescriptionSpecs();

// A device built from the description, powered on with `options`.
std::unique_ptr<Device> MakeDevice(const SimOptions& options = {});

// A request to the device at base address + offset, as the configurator frames it, and
// the device's decoded answer.
struct Exchange {
  LornOutcome outcome;
  bool answered = false;  // a reply frame came back and its checksum holds
  uint16_t hash = 0;
  std::vector<uint8_t> data;

  // The error code of an "n.Err" reply, -1 for any other answer.
  int Error() const;
};
Exchange Ask(Device& device, bool read, uint16_t hash, std::vector<uint8_t> data, int offset = 0,
             std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());
Exchange Ask(Device& device, bool read, const char* name, std::vector<uint8_t> data,
             int offset = 0);

// The simulator on a pseudo-terminal, served from a thread until Stop() or destruction.
class RunningSim {
 public:
  explicit RunningSim(SimOptions options = {});
  ~RunningSim();

  const std::string& Path() const { return line_->path(); }
  // Ends the serving thread; the device may be looked at afterwards.
  void stop();
  Device& device() { return *device_; }
  Simulator& simulator() { return *simulator_; }

 private:
  SimOptions options_;
  std::unique_ptr<Device> device_;
  std::unique_ptr<Line> line_;
  TraceLog trace_;
  std::unique_ptr<Simulator> simulator_;
  platform::Event stop_;
  std::thread thread_;
};

// The configurator's side: a DeviceLink on the terminal with the given line settings,
// sending each frame in one write (automatic converter).
class Client {
 public:
  explicit Client(const std::string& path, int32_t baud = 9600, int32_t stop_bits = 1,
                  int32_t address = 16, int32_t address_bits = 8);
  // Opens again with other settings (as the configurator does after APLY).
  void Reopen(int32_t baud, int32_t stop_bits = 1, int32_t address = 16, int32_t address_bits = 8);

  link::DeviceLink& link() { return link_; }

  // A parameter as the tree build would make it for the device's parameter of that name
  // (type, limits, attributes), indexed at `index` when index >= 0, polled at address
  // offset `poll_index` when that is >= 0.
  static std::unique_ptr<link::Parameter> Parameter(const std::string& name, int index = -1,
                                                    int poll_index = -1);

  // Exchange() for read and write; the parameter's value and note hold the outcome.
  int Read(link::Parameter& p) { return link_.Exchange(link::kOpRead, &p); }
  int Write(link::Parameter& p, const std::string& value) {
    p.value = value;
    return link_.Exchange(link::kOpWrite, &p);
  }
  // Reads a parameter by name and returns its value text (or the note after a failure).
  std::string ReadValue(const std::string& name, int index = -1, int poll_index = -1);

 private:
  std::string path_;
  link::DeviceLink link_;
};

}  // namespace vesk::sim::test
