#include "sim_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

#include "fault_names.h"
#include "link/address_list.h"
#include "platform/text.h"

namespace vesk::sim {

namespace {

constexpr size_t kMaxIdentityChars = 8;
constexpr int32_t kDeviceBauds[] = {2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};

template <typename T>
bool ParseWhole(std::string_view text, T& out) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseProbability(std::string_view text, double& out) {
  std::string copy(text);
  if (copy.empty()) return false;
  char* end = nullptr;
  double v = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(v) || v < 0 || v > 1) return false;
  out = v;
  return true;
}

}  // namespace

std::optional<Protocol> ProtocolFromText(std::string_view text) {
  if (text == "lorn") return Protocol::Lorn;
  if (text == "modbus-rtu") return Protocol::ModbusRtu;
  if (text == "modbus-ascii") return Protocol::ModbusAscii;
  if (text == "dcon") return Protocol::Dcon;
  return std::nullopt;
}

std::string_view ProtocolText(Protocol protocol) {
  switch (protocol) {
    case Protocol::Lorn:
      return "lorn";
    case Protocol::ModbusRtu:
      return "modbus-rtu";
    case Protocol::ModbusAscii:
      return "modbus-ascii";
    case Protocol::Dcon:
      return "dcon";
  }
  return "lorn";
}

ParseResult ParseOptions(const std::vector<std::string>& args) {
  ParseResult result;
  SimOptions& o = result.options;

  // Each handler takes the option's value and returns an empty text or what is wrong.
  using Handler = std::function<std::string(std::string_view)>;
  auto text_into = [](std::string& field) {
    return Handler([&field](std::string_view v) -> std::string {
      if (v.empty()) return "needs a non-empty value";
      field = std::string(v);
      return {};
    });
  };
  auto probability_into = [](double& field) {
    return Handler([&field](std::string_view v) -> std::string {
      return ParseProbability(v, field) ? "" : "needs a probability from 0 to 1";
    });
  };
  auto count_into = [](uint32_t& field) {
    return Handler([&field](std::string_view v) -> std::string {
      return ParseWhole(v, field) ? "" : "needs a whole number of milliseconds";
    });
  };
  auto identity_into = [](std::string& field) {
    return Handler([&field](std::string_view v) -> std::string {
      if (v.empty() || platform::Utf8Length(v) > kMaxIdentityChars)
        return "needs 1 to 8 characters";
      field = std::string(v);
      return {};
    });
  };

  const std::map<std::string_view, Handler> valued = {
      {"--link", text_into(o.link_path)},
      {"--port", text_into(o.port_path)},
      {"--tree", text_into(o.tree_path)},
      {"--trace", text_into(o.trace_path)},
      {"--dump", text_into(o.dump_path)},
      {"--state", text_into(o.state_path)},
      {"--dev", identity_into(o.device_name)},
      {"--ver", identity_into(o.version)},
      {"--bps",
       [&o](std::string_view v) -> std::string {
         int32_t baud = 0;
         if (ParseWhole(v, baud))
           for (int32_t b : kDeviceBauds)
             if (b == baud) {
               o.baud = baud;
               return {};
             }
         return "needs one of 2400 4800 9600 14400 19200 28800 38400 57600 115200";
       }},
      {"--sbit",
       [&o](std::string_view v) -> std::string {
         int32_t s = 0;
         if (!ParseWhole(v, s) || (s != 1 && s != 2)) return "needs 1 or 2";
         o.stop_bits = s;
         return {};
       }},
      {"--addr",
       [&o](std::string_view v) -> std::string {
         int32_t a = 0;
         if (!ParseWhole(v, a) || a < 0 || a > 2047) return "needs an address from 0 to 2047";
         o.address = a;
         return {};
       }},
      {"--devices",
       [&o](std::string_view v) -> std::string {
         if (v.empty()) {
           o.no_device = true;
           o.devices.clear();
           return {};
         }
         auto list = link::ParseAddressList(v, 2047);
         if (!list || list->size() > 64)
           return "needs up to 64 addresses from 0 to 2047, as in 16,17,20-25";
         o.devices = *list;
         return {};
       }},
      {"--tcp",
       [&o](std::string_view v) -> std::string {
         uint16_t port = 0;
         if (!ParseWhole(v, port)) return "needs a TCP port number from 0 to 65535";
         o.tcp_port = port;
         return {};
       }},
      {"--alen",
       [&o](std::string_view v) -> std::string {
         int32_t a = 0;
         if (!ParseWhole(v, a) || (a != 8 && a != 11)) return "needs 8 or 11";
         o.address_bits = a;
         return {};
       }},
      {"--protocol",
       [&o](std::string_view v) -> std::string {
         auto p = ProtocolFromText(v);
         if (!p) return "needs lorn, modbus-rtu, modbus-ascii or dcon";
         o.protocol = *p;
         return {};
       }},
      {"--turnaround-ms", count_into(o.turnaround_ms)},
      {"--restart-ms", count_into(o.restart_ms)},
      {"--input-ms", count_into(o.input_half_period_ms)},
      {kFaultDrop, probability_into(o.faults.drop)},
      {kFaultCorrupt, probability_into(o.faults.corrupt)},
      {kFaultGarbage, probability_into(o.faults.garbage)},
      {kFaultWrongHash, probability_into(o.faults.wrong_hash)},
      {kFaultBadData, probability_into(o.faults.bad_data)},
      {kFaultBareError, probability_into(o.faults.bare_error)},
      {kFaultLateMs, count_into(o.faults.late_ms)},
      {kFaultNoise, probability_into(o.faults.noise)},
      {kFaultStray, probability_into(o.faults.stray)},
      {kFaultMuteAfter,
       [&o](std::string_view v) -> std::string {
         uint64_t n = 0;
         if (!ParseWhole(v, n)) return "needs a whole number of frames";
         o.faults.mute_after = n;
         return {};
       }},
      {kFaultSeed,
       [&o](std::string_view v) -> std::string {
         return ParseWhole(v, o.faults.seed) ? "" : "needs a whole number";
       }},
  };

  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      continue;
    }
    if (arg == "--line-timing") {
      o.line_timing = true;
      continue;
    }
    if (arg == kFaultEcho) {
      o.faults.echo = true;
      continue;
    }
    std::string_view name = arg;
    std::optional<std::string_view> value;
    if (size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    auto it = valued.find(name);
    if (it == valued.end()) {
      result.error = "unknown option " + std::string(arg) + " (see --help)";
      return result;
    }
    if (!value) {
      if (i + 1 >= args.size()) {
        result.error = std::string(name) + " needs a value";
        return result;
      }
      value = args[++i];
    }
    if (std::string why = it->second(*value); !why.empty()) {
      result.error = std::string(name) + " " + why + ", not \"" + std::string(*value) + "\"";
      return result;
    }
  }
  result.ok = true;
  return result;
}

std::string HelpText() {
  return R"(Usage: vesk-sim [options]

A VESK discrete I/O module on a pseudo-terminal (or a serial port), built from the
same description as the configurator. It prints the path of the terminal to open as
the first line on stdout and serves it until SIGTERM or SIGINT, then exits 0.

Where it serves:
  --link PATH          also make a symbolic link PATH to the pseudo-terminal
  --port DEVICE        serve this serial device instead of a pseudo-terminal
  --tcp PORT           listen on 127.0.0.1:PORT instead (0: a free port), one client
                       at a time; the first line on stdout is then tcp://127.0.0.1:PORT
  --tree FILE          the description container (default: $VESK_TREE_DAT, else
                       vesk.tree.dat beside the program or in ../share/vesk)

The device (stored in its network parameters, so reading "bPS" shows them):
  --bps N              baud rate: 2400 4800 9600 14400 19200 28800 38400 57600 115200
  --sbit N             stop bits, 1 or 2
  --addr N             base address, 0 ... 255 (0 ... 2047 with --alen 11)
  --alen N             address length in bits, 8 or 11
  --devices LIST       several devices on the line, at the base addresses of LIST
                       (16,17,40 or 20-25); each has its own parameters, its numeric
                       settings seeded by its address, and answers its base address
                       and, for the operative parameters, base + index. --dump and
                       --state then name one file per device: %a in FILE is replaced
                       by the address, else "_ADDRESS" goes before the extension;
                       an empty LIST (--devices=) is a line with no device at all
  --protocol P         lorn (default), modbus-rtu, modbus-ascii or dcon: with another
                       protocol than lorn only the configurator's probe of that
                       protocol is answered (the Modbus forms echo it, dcon answers
                       "!", the address and the checksum)
  --dev NAME           answer to "dev" (default VESK), at most 8 characters
  --ver TEXT           answer to "ver" (default 1.02), at most 8 characters
  --restart-ms N       silence after INIT while the device restarts (default 300)
  --input-ms N         half period of input 1; input k toggles k times slower
                       (default 250; 0 keeps all inputs off)

The line:
  The device answers only while the terminal is set to its own baud rate and stop
  bits (it reads them from the terminal on every frame). A pseudo-terminal carries
  no parity and no data bits, so those are not compared there; on a serial port
  the line itself carries all four.
  --line-timing        send each answer after the turnaround, character by
                       character at the device's baud rate, as a line would
  --turnaround-ms N    turnaround for --line-timing (default 1)

Faults (repeatable with --seed):
  --drop P             with probability P give no answer
  --corrupt P          change one character of the answer (its checksum fails)
  --garbage P          send the answer without its start character "#"
  --wrong-hash P       answer with another parameter hash (checksum correct)
  --bad-data P         put four 0xFF bytes before the data of a value's answer
                       (hash and checksum correct), so that no value format can
                       read it; attribute answers stay as they are
  --bare-error P       answer with an error reply ("n.Err") that carries no code
  --late-ms N          send every answer N ms late
  --mute-after N       answer N frames, then nothing at all
  --seed N             seed of the fault draws (default 1)

Faults of the line (repeatable with --seed):
  --echo               the line gives every request back at once, before the
                       device answers (a two-wire converter hearing itself); with
                       --devices= a line with no device that echoes
  --noise P            with probability P put 1 to 3 noise bytes (0x00, 0xFF or
                       letters of the frame alphabet) before the "#" of an answer
  --stray P            with probability P send a well-formed answer from another
                       address before the real one

Observation:
  --trace FILE         one line per frame received (RX) and sent (TX):
                         SECONDS DIR "CHARACTERS" [addr=A flag=R hash=HHHH
                         index=I data=HH HH ...] [(NOTE)]
                       SECONDS since start with microseconds; CHARACTERS with
                       \r \n \\ \" and \xHH escapes; the decoded fields for a
                       LORN frame whose checksum holds (index=- when none
                       travelled); NOTE says why a frame was ignored or an
                       answer lost
  --dump FILE          write every value and attribute at exit, one parameter a
                       line, sorted by name (byte order), then by index:
                         NAME<TAB>INDEX<TAB>HASH<TAB>ATTR<TAB>VALUE
                       NAME   the device's short name ("CHAr" holds the network
                              name one code an index; a derived line "CHAr*" shows
                              it as text)
                       INDEX  linear index, or the address offset of an operative
                              parameter; "-" when the parameter has none
                       HASH   the name hash, four upper-case hexadecimal digits
                       ATTR   "-" without attributes, else the attribute byte as
                              on the wire: bit 0 editable, bit 1 owned by the user
                              (3 = editable, user; 0 = read-only, maker)
                       VALUE  the value as the configurator shows it after a read,
                              UTF-8, with \\ \t \r \n escaped
  --state FILE         load values and attributes from FILE at start (when it
                       exists) and save them there at exit, in the --dump format;
                       HASH is informational, lines starting with "#" are comments
  --help               this text
)";
}

}  // namespace vesk::sim
