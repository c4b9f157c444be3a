#pragma once
// The command line of the configurator: the settings that one run's keys give, and
// the parser that fills them. The parser only reads the argument vector; creating the
// error log, opening the exit semaphore and acting on the keys happen at start-up.
//
// Two spellings are understood side by side:
//  - the original one: an argument that begins with "/" or "-" is cut at every "/"
//    into keys, "name" or "name:value", compared without regard to case
//    ("/port:3/bps:9600/prty:even");
//  - GNU-style long options: an argument that begins with "--" is one option,
//    "--name" or "--name=value", whose value keeps its case and may hold "/" and ":"
//    ("--port=/dev/ttyUSB0", "--elog=/var/log/vesk.log"). "--" alone ends the
//    options: every later argument is a file name, even one that begins with "/".
// An argument that begins with "/" and names an existing file (not a folder) is that
// file without "--" ("/home/u/dev.vesk" from a file manager).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/language.h"

namespace vesk::platform {
class Event;
}

namespace vesk::app {

// Bits of CommandLineSettings::flags.
namespace cmdflag {
constexpr uint32_t kWrite = 0x01;           // write the named file into the device
constexpr uint32_t kPortSettings = 0x02;    // port keys were given (applied once)
constexpr uint32_t kClose = 0x04;           // close when the task is done
constexpr uint32_t kAply = 0x08;            // port keys also go to the device's node
constexpr uint32_t kCalibrate = 0x10;       // post the calibration command
constexpr uint32_t kCommandLineRun = 0x20;  // any key was given
constexpr uint32_t kRead = 0x40;            // read the device into the named file
}  // namespace cmdflag

// Bits of CommandLineSettings::placement.
namespace placebit {
constexpr uint8_t kX = 0x01;
constexpr uint8_t kY = 0x02;
constexpr uint8_t kW = 0x04;
constexpr uint8_t kH = 0x08;
}  // namespace placebit

// Bits of CommandLineSettings::modes.
namespace modebit {
constexpr uint8_t kAutoReadOn = 0x01;
constexpr uint8_t kAutoReadOff = 0x02;
constexpr uint8_t kAutoWriteOn = 0x04;
constexpr uint8_t kAutoWriteOff = 0x08;
constexpr uint8_t kTest = 0x10;
constexpr uint8_t kSilent = 0x20;
}  // namespace modebit

// Values of CommandLineSettings::parity and ::converter (0 = not given).
constexpr uint8_t kParityEven = 1, kParityOdd = 2, kParityNone = 3;
constexpr uint8_t kConverterAuto = 1, kConverterOff = 2, kConverterOn = 3;
constexpr uint8_t kConverterDriver = 4;  // the port driver's own RS-485 mode
// Values of CommandLineSettings::echo (0 = not given): link::EchoMode plus one.
constexpr uint8_t kEchoAuto = 1, kEchoOn = 2, kEchoOff = 3;

// Longest texts the settings keep; a longer value is refused, never cut, because a cut
// address or stop-bit count would silently name another device or line setting.
constexpr size_t kMaxAddressChars = 5;
constexpr size_t kMaxStopBitsChars = 4;
// A port path or log path longer than a Linux path can be is refused too.
constexpr size_t kMaxPathBytes = 4095;
// Longest value text a parameter holds.
constexpr size_t kMaxParameterValueChars = 511;
// Highest address of the 11-bit address length; a bus scan or list is checked against the
// length in force when it runs.
constexpr int32_t kMaxBusAddress = 2047;

// What one run's keys ask for. Zeroed (Clear) at start-up and again when an unattended
// task has finished, so that the rest of the run behaves as an interactive one.
struct CommandLineSettings {
  uint32_t flags = 0;          // cmdflag bits
  uint8_t placement = 0;       // placebit bits: which of x, y, w, h were given
  uint8_t modes = 0;           // modebit bits
  uint8_t port = 0;            // serial port number (COMn), 0 = not given
  uint32_t baud = 0;           // 0 = not given
  uint8_t parity = 0;          // kParityEven/Odd/None, 0 = not given
  std::string address;         // device address as typed, at most 5 characters
  uint8_t data_bits = 0;       // 0 = not given
  std::string stop_bits;       // as typed, at most 4 characters
  uint8_t address_length = 0;  // 0 = not given
  uint8_t converter = 0;       // kConverterAuto/Off/On, 0 = not given
  uint8_t echo = 0;            // kEchoAuto/On/Off, 0 = not given
  int32_t x = 0, y = 0, w = 0, h = 0;
  // The port named by a path or device name ("--port=/dev/ttyUSB0", "--port=ttyACM0");
  // set instead of `port`: the later of the two spellings wins. Empty = not given.
  std::string port_path;
  // Signalled by the exchange engine when an unattended task has finished; created at
  // start-up, never by the parser. Shared so that clearing the settings cannot pull the
  // event from under a watcher that waits for it.
  std::shared_ptr<platform::Event> done_event;

  void Clear() { *this = CommandLineSettings{}; }
};

// One --get or --set of a parameter, in the order given.
struct ParameterAccess {
  bool write = false;             // --set
  std::string name;               // short name as typed ("A.Len")
  std::optional<uint32_t> index;  // linear index, when given as NAME:INDEX
  std::string value;              // --set only
};

// Everything that parsing yields. `settings` is the block above; the rest lives as long
// as the process.
struct CommandLine {
  CommandLineSettings settings;
  std::string command_file;     // the last argument that is not a key, as typed
  std::string log_path;         // elog: path as typed (case kept), empty = no log
  std::string exit_event_name;  // exitevent: name of the semaphore to wait on, empty = none
  bool ext = false;             // "/ext" appeared in some argument (recorded, unused)

  // Linux additions; the application shell acts on them.
  bool help = false;     // --help: print UsageText and exit 0
  bool version = false;  // --version: print VersionText and exit 0
  bool no_gui = false;   // --no-gui: run headless even when a display is there
  bool verbose = false;  // --verbose: report progress and the parser's remarks on stderr
  // --lang=ru|en (/lang:): the language of this run; a value that is neither is refused.
  std::optional<platform::Language> language;
  bool language_refused = false;
  std::vector<ParameterAccess> parameter_access;  // --get / --set, in order
  std::optional<std::string> print_file;          // --print=FILE
  std::optional<std::string> export_html;         // --export-html[=FILE]; "" = default name
  std::optional<std::string> trace_path;          // --trace=FILE; "-" = stderr
  bool stats = false;                             // --stats: the line's counters at the end
  std::vector<ParameterAccess> watch;             // --watch=NAME[:INDEX],...
  uint32_t period_ms = 1000;                      // --period=MS between rounds of --watch
  std::optional<uint64_t> count;                  // --count=N rounds; none: until a signal
  std::optional<std::string> export_json;         // --export-json=FILE (".vesk" or ".json")
  std::optional<std::string> import_json;         // --import-json=FILE.json
  std::optional<std::string> diff_with;           // --diff=OTHER; "device": the device itself
  bool write_differences = false;       // --write-differences: only what differs from the device
  bool dry_run = false;                 // --dry-run: --write-differences lists, writes nothing
  std::optional<std::string> output;    // --output=PATH of --export-json, --import-json
  std::optional<std::string> bus_scan;  // --scan[=FROM-TO]; "" = the whole range
  std::string addresses;                // --addresses=LIST as typed; "" = none

  // Remarks on keys that had no effect or were refused (unknown key, unreadable
  // number, over-long value, ...), one line each, for the shell to show. They never
  // change what the keys do.
  std::vector<std::string> problems;
};

// Parses the arguments that follow the program name. Never fails and never touches the
// exit status; it only looks whether an argument beginning with "/" names an existing
// file. Keys that cannot be used leave a line in `problems`.
CommandLine ParseCommandLine(const std::vector<std::string>& args);
// The same over main()'s vector; argv[0] (the program name) is skipped.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// Reads a number as the keys do: optional blanks and sign, then hexadecimal after
// "0x", octal after a leading zero, decimal otherwise; reading stops at the first
// character that does not fit. Returns nullopt when the text does not begin with a
// number or the number does not fit in 64 bits.
std::optional<int64_t> ReadKeyNumber(std::string_view text);

}  // namespace vesk::app
