#pragma once
// The command line of vesk-sim: what it serves, how the device is set, how the line
// behaves, which faults it plays and what it records.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::sim {

// The protocols a device can be set to, in the order of the device's codes in "Prot".
// Only one is answered at a time.
enum class Protocol { Lorn, ModbusRtu, ModbusAscii, Dcon };

// "lorn", "modbus-rtu", "modbus-ascii", "dcon"; nullopt for any other text.
std::optional<Protocol> ProtocolFromText(std::string_view text);
std::string_view ProtocolText(Protocol protocol);

struct FaultOptions {
  double drop = 0;
  double corrupt = 0;
  double garbage = 0;
  double wrong_hash = 0;
  double bad_data = 0;
  double bare_error = 0;
  uint32_t late_ms = 0;
  bool echo = false;  // the line gives every request back before the device answers
  double noise = 0;   // noise bytes before a reply's "#"
  double stray = 0;   // a valid reply from another address before the real one
  // Frames answered before the device goes silent; nullopt never.
  std::optional<uint64_t> mute_after;
  uint64_t seed = 1;
};

struct SimOptions {
  // Where to serve: a pseudo-terminal (default) or a real serial device.
  std::string link_path;  // --link: symbolic link to the pseudo-terminal's terminal side
  std::string port_path;  // --port: a serial device instead of a pseudo-terminal
  // --tcp: listen on 127.0.0.1 at this port instead (0: any free port)
  std::optional<uint16_t> tcp_port;

  // The description container; empty means the configurator's rule ($VESK_TREE_DAT, else
  // beside the program or in ../share/vesk).
  std::string tree_path;

  // Network settings at start; unset ones come from the description's initial values.
  std::optional<int32_t> baud;
  std::optional<int32_t> stop_bits;
  std::optional<int32_t> address;
  std::optional<int32_t> address_bits;
  // --devices: several devices on the line at these base addresses (--addr is then unused)
  std::vector<int32_t> devices;
  // --devices= with an empty list: a line with no device on it (nobody answers).
  bool no_device = false;

  // Stored into "Prot" where the description has it; unset: the stored protocol.
  std::optional<Protocol> protocol;
  std::string device_name = "VESK";  // answer to "dev"
  std::string version = "1.02";      // answer to "ver", at most 8 characters

  bool line_timing = false;
  uint32_t turnaround_ms = 1;
  // How long the device is silent while it restarts after INIT.
  uint32_t restart_ms = 300;
  // Half period of input 1 of the simulated inputs; input k toggles k times slower.
  // 0 keeps every input off.
  uint32_t input_half_period_ms = 250;

  FaultOptions faults;

  std::string trace_path;
  std::string dump_path;
  std::string state_path;

  bool help = false;
};

struct ParseResult {
  bool ok = false;
  SimOptions options;
  std::string error;  // for ok == false: what was wrong, naming the option
};

// Parses the arguments after the program name. Every option takes its value as the
// next argument or after "=". Fails on an unknown option, a missing or malformed value,
// a probability outside 0 ... 1, a name or version longer than 8 characters.
ParseResult ParseOptions(const std::vector<std::string>& args);

// The text of --help: every option, and the line format of --dump and --state.
std::string HelpText();

}  // namespace vesk::sim
