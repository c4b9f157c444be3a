// Arbitrary argument vectors (the input cut at NUL bytes) through the command-line parser,
// both as a list of arguments and as main()'s argv.

#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/text.h"
#include "silent_presenter.h"

namespace {

using namespace vesk::app;

VESK_FUZZ_UNTRACED void check_limits(const CommandLine& line) {
  const CommandLineSettings& s = line.settings;
  // Texts longer than their fields are refused, never cut.
  VESK_FUZZ_CHECK(vesk::platform::Utf8Length(s.address) <= kMaxAddressChars);
  VESK_FUZZ_CHECK(vesk::platform::Utf8Length(s.stop_bits) <= kMaxStopBitsChars);
  VESK_FUZZ_CHECK(s.port_path.size() <= kMaxPathBytes);
  VESK_FUZZ_CHECK(line.log_path.size() <= kMaxPathBytes);
  VESK_FUZZ_CHECK(s.done_event == nullptr);
  VESK_FUZZ_CHECK((s.placement & ~0x0F) == 0);
  VESK_FUZZ_CHECK((s.flags & ~0x7Fu) == 0);
  VESK_FUZZ_CHECK(s.parity <= kParityNone && s.converter <= kConverterOn);
  for (const ParameterAccess& access : line.parameter_access) {
    if (access.write)
      VESK_FUZZ_CHECK(access.value.size() <= 4 * kMaxParameterValueChars);
    else
      VESK_FUZZ_CHECK(access.value.empty());
  }
}

// The two entries must agree on everything they fill.
VESK_FUZZ_UNTRACED void check_same(const CommandLine& a, const CommandLine& b) {
  const CommandLineSettings& x = a.settings;
  const CommandLineSettings& y = b.settings;
  VESK_FUZZ_CHECK(x.flags == y.flags && x.placement == y.placement && x.modes == y.modes);
  VESK_FUZZ_CHECK(x.port == y.port && x.baud == y.baud && x.parity == y.parity);
  VESK_FUZZ_CHECK(x.address == y.address && x.data_bits == y.data_bits);
  VESK_FUZZ_CHECK(x.stop_bits == y.stop_bits && x.address_length == y.address_length);
  VESK_FUZZ_CHECK(x.converter == y.converter && x.port_path == y.port_path);
  VESK_FUZZ_CHECK(x.x == y.x && x.y == y.y && x.w == y.w && x.h == y.h);
  VESK_FUZZ_CHECK(a.command_file == b.command_file && a.log_path == b.log_path);
  VESK_FUZZ_CHECK(a.exit_event_name == b.exit_event_name && a.ext == b.ext);
  VESK_FUZZ_CHECK(a.help == b.help && a.version == b.version && a.no_gui == b.no_gui);
  VESK_FUZZ_CHECK(a.verbose == b.verbose && a.print_file == b.print_file);
  VESK_FUZZ_CHECK(a.export_html == b.export_html && a.problems == b.problems);
  VESK_FUZZ_CHECK(a.parameter_access.size() == b.parameter_access.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vesk::fuzz::InstallSilentPresenter();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  size_t start = 0;
  for (size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == 0) {
      if (i > start || i < size)
        args.emplace_back(reinterpret_cast<const char*>(data) + start, i - start);
      start = i + 1;
    }
  }
  const CommandLine parsed = ParseCommandLine(args);
  check_limits(parsed);

  std::vector<const char*> argv{"vesk-configurator"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  const CommandLine from_argv = ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data());
  check_same(parsed, from_argv);

  std::string_view rest(reinterpret_cast<const char*>(data), size);
  if (rest.size() > 64) rest = rest.substr(0, 64);
  (void)ReadKeyNumber(rest);
  return 0;
}
