#include "app/command_line.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/usage_text.h"
#include "platform/build_info.h"
#include "platform/event.h"
#include "platform/text.h"

using namespace vesk::app;

namespace {

using Args = std::vector<std::string>;

// The settings a case expects, built from the zeroed record.
struct Expect {
  uint32_t flags = 0;
  uint8_t placement = 0, modes = 0, port = 0;
  uint32_t baud = 0;
  uint8_t parity = 0;
  std::string address = {};
  uint8_t data_bits = 0;
  std::string stop_bits = {};
  uint8_t address_length = 0, converter = 0;
  int32_t x = 0, y = 0, w = 0, h = 0;
  std::string port_path = {};
};

struct SettingsCase {
  const char* what;
  Args args;
  Expect expect;
  size_t problems = 0;
};

void ExpectSettings(const SettingsCase& c) {
  SCOPED_TRACE(c.what);
  const CommandLine cl = ParseCommandLine(c.args);
  const CommandLineSettings& s = cl.settings;
  const Expect& e = c.expect;
  EXPECT_EQ(s.flags, e.flags);
  EXPECT_EQ(s.placement, e.placement);
  EXPECT_EQ(s.modes, e.modes);
  EXPECT_EQ(s.port, e.port);
  EXPECT_EQ(s.baud, e.baud);
  EXPECT_EQ(s.parity, e.parity);
  EXPECT_EQ(s.address, e.address);
  EXPECT_EQ(s.data_bits, e.data_bits);
  EXPECT_EQ(s.stop_bits, e.stop_bits);
  EXPECT_EQ(s.address_length, e.address_length);
  EXPECT_EQ(s.converter, e.converter);
  EXPECT_EQ(s.x, e.x);
  EXPECT_EQ(s.y, e.y);
  EXPECT_EQ(s.w, e.w);
  EXPECT_EQ(s.h, e.h);
  EXPECT_EQ(s.port_path, e.port_path);
  EXPECT_EQ(cl.problems.size(), c.problems) << (cl.problems.empty() ? "" : cl.problems[0]);
  EXPECT_EQ(s.done_event, nullptr);
}

constexpr uint32_t kRun = cmdflag::kCommandLineRun;
constexpr uint32_t kPort = cmdflag::kPortSettings;

}  // namespace

TEST(CommandLine, PortKeysShareOneArgumentOrSpreadOverSeveral) {
  const SettingsCase cases[] = {
      {"one argument",
       {"/port:3/bps:9600/prty:even"},
       {.flags = kRun | kPort, .port = 3, .baud = 9600, .parity = 1}},
      {"three arguments",
       {"/port:3", "/bps:9600", "/prty:even"},
       {.flags = kRun | kPort, .port = 3, .baud = 9600, .parity = 1}},
      {"mixed dashes",
       {"-port:3/bps:9600", "-prty:even"},
       {.flags = kRun | kPort, .port = 3, .baud = 9600, .parity = 1}},
      {"upper case",
       {"/PORT:3/BPS:0X2580/PRTY:ODD"},
       {.flags = kRun | kPort, .port = 3, .baud = 9600, .parity = 2}},
      {"prty no", {"/prty:no"}, {.flags = kRun | kPort, .parity = 3}},
      {"bad prty first, port later applies",
       {"/prty:mark/port:3"},
       {.flags = kRun | kPort, .port = 3},
       1},
      {"bad prty last withdraws all", {"/port:3/prty:mark"}, {.flags = kRun, .port = 3}, 1},
      {"bad prty keeps earlier parity", {"/prty:even/prty:mark"}, {.flags = kRun, .parity = 1}, 1},
      {"empty prty withdraws", {"/bps:9600/prty"}, {.flags = kRun, .baud = 9600}, 1},
      {"port 0 recorded, nothing usable", {"/port:0"}, {.flags = kRun | kPort}},
      {"len and alen",
       {"/len:7/alen:11"},
       {.flags = kRun | kPort, .data_bits = 7, .address_length = 11}},
      {"addr lower-cased", {"/addr:0X1F"}, {.flags = kRun | kPort, .address = "0x1f"}},
      {"addr of five", {"/addr:12345"}, {.flags = kRun | kPort, .address = "12345"}},
      {"addr of six refused", {"/addr:123456"}, {.flags = kRun}, 1},
      {"addr counts characters", {"/addr:АдрЕс"}, {.flags = kRun | kPort, .address = "адрес"}, 1},
      {"addr not a number said", {"/addr:abc"}, {.flags = kRun | kPort, .address = "abc"}, 1},
      {"sbit not a number said", {"/sbit:abc"}, {.flags = kRun | kPort, .stop_bits = "abc"}, 1},
      {"addr of six Cyrillic refused", {"/addr:ПРИБОР"}, {.flags = kRun}, 1},
      {"addr empty ignored", {"/addr:"}, {.flags = kRun}, 1},
      {"addr without colon ignored", {"/addr"}, {.flags = kRun}, 1},
      {"sbit of four", {"/sbit:1.5"}, {.flags = kRun | kPort, .stop_bits = "1.5"}},
      {"sbit of five refused", {"/sbit:1.500"}, {.flags = kRun}, 1},
      {"sbit empty ignored", {"/sbit:"}, {.flags = kRun}, 1},
      {"rs485 auto", {"/rs485:AUTO"}, {.flags = kRun, .converter = 1}},
      {"rs485 off", {"/rs485:off"}, {.flags = kRun, .converter = 2}},
      {"rs485 on", {"/rs485:on"}, {.flags = kRun, .converter = 3}},
      {"rs485 driver", {"/rs485:Driver"}, {.flags = kRun, .converter = 4}},
      {"rs485 other ignored", {"/rs485:maybe"}, {.flags = kRun}, 1},
      {"rs485 sets no port flag",
       {"/rs485:on/port:2"},
       {.flags = kRun | kPort, .port = 2, .converter = 3}},
  };
  for (const auto& c : cases) ExpectSettings(c);
}

TEST(CommandLine, NumbersAreCheckedNeverWrapped) {
  const SettingsCase cases[] = {
      {"hexadecimal", {"/bps:0x2580"}, {.flags = kRun | kPort, .baud = 9600}},
      {"octal", {"/bps:022600"}, {.flags = kRun | kPort, .baud = 9600}},
      {"octal stops at 8", {"/len:08"}, {.flags = kRun | kPort, .data_bits = 0}},
      {"0x without digits is zero", {"/len:0xg"}, {.flags = kRun | kPort, .data_bits = 0}},
      {"trailing text ignored", {"/bps:9600baud"}, {.flags = kRun | kPort, .baud = 9600}},
      {"not a number ignored", {"/bps:abc"}, {.flags = kRun}, 1},
      {"empty number ignored", {"/bps:"}, {.flags = kRun}, 1},
      {"largest baud", {"/bps:4294967295"}, {.flags = kRun | kPort, .baud = 4294967295u}},
      {"baud beyond 32 bits", {"/bps:4294967296"}, {.flags = kRun}, 1},
      {"negative baud", {"/bps:-9600"}, {.flags = kRun}, 1},
      {"absurd baud", {"/bps:999999999999999999999999999"}, {.flags = kRun}, 1},
      {"absurd negative", {"/bps:-999999999999999999999999999"}, {.flags = kRun}, 1},
      {"absurd hexadecimal", {"/bps:0xffffffffffffffffffff"}, {.flags = kRun}, 1},
      {"port 255", {"/port:255"}, {.flags = kRun | kPort, .port = 255}},
      {"port 259 is not port 3", {"/port:259"}, {.flags = kRun}, 1},
      {"port -1 is not port 255", {"/port:-1"}, {.flags = kRun}, 1},
      {"len 264 is not 8", {"/len:264"}, {.flags = kRun}, 1},
      {"alen 267 is not 11", {"/alen:267"}, {.flags = kRun}, 1},
      {"a refused number leaves the earlier one",
       {"/bps:9600/bps:99999999999"},
       {.flags = kRun | kPort, .baud = 9600},
       1},
  };
  for (const auto& c : cases) ExpectSettings(c);
}

TEST(CommandLine, WindowPlacementAndModes) {
  const SettingsCase cases[] = {
      {"full placement",
       {"/x:10/y:20/w:800/h:600"},
       {.flags = kRun, .placement = 0x0f, .x = 10, .y = 20, .w = 800, .h = 600}},
      {"minimised", {"/w:0/h:0"}, {.flags = kRun, .placement = 0x0c}},
      {"negative position",
       {"/x:-1920/y:-0x10"},
       {.flags = kRun, .placement = 0x03, .x = -1920, .y = -16}},
      {"int32 limits",
       {"/x:2147483647/y:-2147483648"},
       {.flags = kRun, .placement = 0x03, .x = 2147483647, .y = -2147483647 - 1}},
      {"beyond int32", {"/x:2147483648/y:-2147483649"}, {.flags = kRun}, 2},
      {"bad placement", {"/w:wide"}, {.flags = kRun}, 1},
      {"autoread on", {"/autoread:ON"}, {.flags = kRun, .modes = 0x01}},
      {"autoread off", {"/autoread:off"}, {.flags = kRun, .modes = 0x02}},
      {"autoread later wins", {"/autoread:on/autoread:off"}, {.flags = kRun, .modes = 0x02}},
      {"autoread other ignored", {"/autoread:yes"}, {.flags = kRun}, 1},
      {"autowrite on", {"/autowrite:on"}, {.flags = kRun, .modes = 0x04}},
      {"autowrite off", {"/autowrite:off"}, {.flags = kRun, .modes = 0x08}},
      {"silent", {"/silent"}, {.flags = kRun, .modes = 0x2a}},
      {"silent then autoread on", {"/silent/autoread:on"}, {.flags = kRun, .modes = 0x29}},
      {"autoread on then silent",
       {"/autoread:on/autowrite:on/silent"},
       {.flags = kRun, .modes = 0x2a}},
      {"test", {"/test"}, {.flags = kRun, .modes = 0x10}},
  };
  for (const auto& c : cases) ExpectSettings(c);
}

TEST(CommandLine, TaskKeysAndTheRunFlag) {
  const SettingsCase cases[] = {
      {"nothing", {}, {}},
      {"file only", {"cfg.vesk"}, {}},
      {"write", {"/write"}, {.flags = kRun | cmdflag::kWrite}},
      {"read in any case", {"/READ", "/Read", "-read"}, {.flags = kRun | cmdflag::kRead}},
      {"close, calibrate, aply", {"/close/calibrate/aply"}, {.flags = kRun | 0x04 | 0x10 | 0x08}},
      {"value after a plain key is ignored", {"/read:now"}, {.flags = kRun | cmdflag::kRead}},
      {"unknown key sets only the run flag", {"-frobnicate"}, {.flags = kRun}, 1},
      {"unknown slash key also hints at --", {"/frobnicate"}, {.flags = kRun}, 2},
      {"platform keys are unknown here", {"-p", "-dde"}, {.flags = kRun}, 2},
      {"lone dash is a key argument", {"-"}, {.flags = kRun}},
      {"lone slash is a key argument", {"/"}, {.flags = kRun}},
      {"empty tokens skipped", {"//read//close/"}, {.flags = kRun | 0x40 | 0x04}},
      {"name ends at the first colon", {"/port:3:4"}, {.flags = kRun | kPort, .port = 3}},
      {"known and unknown together", {"/read/bogus/close"}, {.flags = kRun | 0x44}, 1},
  };
  for (const auto& c : cases) ExpectSettings(c);
}

TEST(CommandLine, LongSpellingMatchesTheOriginal) {
  const SettingsCase cases[] = {
      {"read", {"--read"}, {.flags = kRun | cmdflag::kRead}},
      {"name case folded", {"--WRITE"}, {.flags = kRun | cmdflag::kWrite}},
      {"plain keys",
       {"--close", "--aply", "--calibrate", "--silent", "--test"},
       {.flags = kRun | 0x04 | 0x08 | 0x10, .modes = 0x3a}},
      {"plain key with a value refused", {"--read=yes"}, {.flags = kRun}, 1},
      {"port number", {"--port=3"}, {.flags = kRun | kPort, .port = 3}},
      {"port number in hex", {"--port=0x10"}, {.flags = kRun | kPort, .port = 16}},
      {"port path", {"--port=/dev/ttyUSB0"}, {.flags = kRun | kPort, .port_path = "/dev/ttyUSB0"}},
      {"port name under /dev", {"--port=ttyACM0"}, {.flags = kRun | kPort, .port_path = "ttyACM0"}},
      {"port COM name", {"--port=COM3"}, {.flags = kRun | kPort, .port_path = "COM3"}},
      {"path then number", {"--port=/tmp/x", "/port:4"}, {.flags = kRun | kPort, .port = 4}},
      {"number then path",
       {"/port:4", "--port=/tmp/x"},
       {.flags = kRun | kPort, .port_path = "/tmp/x"}},
      {"port empty", {"--port="}, {.flags = kRun}, 1},
      {"port without value", {"--port"}, {.flags = kRun}, 1},
      {"port number out of range", {"--port=300"}, {.flags = kRun}, 1},
      {"port path too long", {"--port=/" + std::string(4095, 'a')}, {.flags = kRun}, 1},
      {"baud and parity",
       {"--bps=19200", "--prty=EVEN"},
       {.flags = kRun | kPort, .baud = 19200, .parity = 1}},
      {"bad parity withdraws", {"--bps=19200", "--prty=mark"}, {.flags = kRun, .baud = 19200}, 1},
      {"addr keeps case", {"--addr=0X1F"}, {.flags = kRun | kPort, .address = "0X1F"}},
      {"addr too long", {"--addr=123456"}, {.flags = kRun}, 1},
      {"sbit", {"--sbit=2"}, {.flags = kRun | kPort, .stop_bits = "2"}},
      {"len, alen, rs485",
       {"--len=8", "--alen=11", "--rs485=Off"},
       {.flags = kRun | kPort, .data_bits = 8, .address_length = 11, .converter = 2}},
      {"placement",
       {"--x=-5", "--y=6", "--w=7", "--h=8"},
       {.flags = kRun, .placement = 0x0f, .x = -5, .y = 6, .w = 7, .h = 8}},
      {"autoread", {"--autoread=on", "--autowrite=off"}, {.flags = kRun, .modes = 0x09}},
      {"unknown long option", {"--frobnicate=1"}, {.flags = kRun}, 1},
      {"empty long name", {"--=1"}, {.flags = kRun}, 1},
      {"additions leave the flags alone",
       {"--verbose", "--no-gui", "--get=bPS", "--print=a.txt", "--export-html"},
       {}},
      {"help with a value refused", {"--help=me"}, {}, 1},
  };
  for (const auto& c : cases) ExpectSettings(c);
}

TEST(CommandLine, FilesAndTheEndOfOptions) {
  struct Case {
    const char* what;
    Args args;
    std::string file;
    uint32_t flags;
    size_t problems;
  };
  const Case cases[] = {
      {"relative file", {"/read", "cfg.vesk"}, "cfg.vesk", kRun | 0x40, 0},
      {"case kept", {"Cfg.VESK"}, "Cfg.VESK", 0, 0},
      {"last file wins", {"a.vesk", "b.vesk"}, "b.vesk", 0, 1},
      {"empty argument skipped", {"", "a.vesk"}, "a.vesk", 0, 1},
      {"absolute path of no file is a key argument", {"/home/u/cfg.vesk"}, "", kRun, 4},  // + hint
      {"absolute path of an existing file is the file",
       {"/read", VESK_SOURCE_DIR "/README.md"},
       VESK_SOURCE_DIR "/README.md",
       kRun | 0x40,
       0},
      {"absolute path after --",
       {"--read", "--", "/home/u/cfg.vesk"},
       "/home/u/cfg.vesk",
       kRun | 0x40,
       0},
      {"keys after -- are files", {"--", "--read"}, "--read", 0, 0},
      {"-- alone", {"--"}, "", 0, 0},
      {"second -- is a file", {"--", "--"}, "--", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const CommandLine cl = ParseCommandLine(c.args);
    EXPECT_EQ(cl.command_file, c.file);
    EXPECT_EQ(cl.settings.flags, c.flags);
    EXPECT_EQ(cl.problems.size(), c.problems);
  }
}

TEST(CommandLine, ErrorLogPathKeepsItsCaseExitEventFollowsTheSpelling) {
  struct Case {
    const char* what;
    Args args;
    std::string log;
    std::string event;
    size_t problems;
  };
  const Case cases[] = {
      {"name ends at the first colon", {"/elog:c:\\log.txt"}, "c:\\log.txt", "", 0},
      {"log case kept", {"/ELOG:Logs\\Vesk.TXT"}, "Logs\\Vesk.TXT", "", 0},
      {"quotes trimmed", {"/elog:\"Run.log\""}, "Run.log", "", 0},
      {"long log path", {"--elog=/var/Log/V.log"}, "/var/Log/V.log", "", 0},
      {"long log with colon", {"--elog=/tmp/a:b"}, "/tmp/a:b", "", 0},
      {"slash cuts the short path", {"/elog:/tmp/x.log"}, "", "", 3},
      {"empty log", {"/elog:"}, "", "", 1},
      {"only quotes", {"/elog:\"\""}, "", "", 1},
      {"later log wins", {"/elog:a.log", "--elog=b.log"}, "b.log", "", 0},
      {"event lower-cased", {"/exitevent:Done"}, "", "done", 0},
      {"event quotes trimmed", {"/exitevent:\"Stop\""}, "", "stop", 0},
      {"long event keeps case", {"--exitevent=Done"}, "", "Done", 0},
      {"empty event", {"/exitevent"}, "", "", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const CommandLine cl = ParseCommandLine(c.args);
    EXPECT_EQ(cl.log_path, c.log);
    EXPECT_EQ(cl.exit_event_name, c.event);
    EXPECT_EQ(cl.problems.size(), c.problems);
    EXPECT_TRUE(cl.settings.flags & kRun);
  }
}

TEST(CommandLine, ParameterAccessOptions) {
  struct Case {
    const char* what;
    std::string arg;
    bool accepted;
    bool write = false;
    std::string name = {};
    std::optional<uint32_t> index = {};
    std::string value = {};
  };
  const Case cases[] = {
      {"get", "--get=A.Len", true, false, "A.Len"},
      {"get with index", "--get=CHAr:3", true, false, "CHAr", 3},
      {"largest index", "--get=CHAr:4294967295", true, false, "CHAr", 4294967295u},
      {"set", "--set=bPS=9600", true, true, "bPS", {}, "9600"},
      {"set with index, value with = and :", "--set=CHAr:2=a=b:C", true, true, "CHAr", 2, "a=b:C"},
      {"set empty value", "--set=Name=", true, true, "Name", {}, ""},
      {"set longest value",
       "--set=N=" + std::string(511, 'v'),
       true,
       true,
       "N",
       {},
       std::string(511, 'v')},
      {"set Cyrillic value", "--set=N=Четность", true, true, "N", {}, "Четность"},
      {"set value too long", "--set=N=" + std::string(512, 'v'), false},
      {"set without value", "--set=N", false},
      {"get without name", "--get=:3", false},
      {"get empty", "--get=", false},
      {"get without value", "--get", false},
      {"empty index", "--get=X:", false},
      {"index not a number", "--get=X:abc", false},
      {"negative index", "--get=X:-1", false},
      {"index beyond 32 bits", "--get=X:4294967296", false},
      {"absurd index", "--get=X:99999999999999999999999", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const CommandLine cl = ParseCommandLine(Args{c.arg});
    EXPECT_EQ(cl.settings.flags, 0u);
    if (!c.accepted) {
      EXPECT_TRUE(cl.parameter_access.empty());
      EXPECT_EQ(cl.problems.size(), 1u);
      continue;
    }
    ASSERT_EQ(cl.parameter_access.size(), 1u);
    const ParameterAccess& a = cl.parameter_access[0];
    EXPECT_EQ(a.write, c.write);
    EXPECT_EQ(a.name, c.name);
    EXPECT_EQ(a.index, c.index);
    EXPECT_EQ(a.value, c.value);
    EXPECT_TRUE(cl.problems.empty());
  }
}

TEST(CommandLine, ParameterAccessKeepsItsOrder) {
  const CommandLine cl =
      ParseCommandLine(Args{"--set=bPS=9600", "--get=bPS", "--set=Addr:1=17", "--get=Addr:1"});
  ASSERT_EQ(cl.parameter_access.size(), 4u);
  EXPECT_TRUE(cl.parameter_access[0].write);
  EXPECT_FALSE(cl.parameter_access[1].write);
  EXPECT_EQ(cl.parameter_access[2].value, "17");
  EXPECT_EQ(cl.parameter_access[3].index, 1u);
}

TEST(CommandLine, InformationalAndShellOptions) {
  CommandLine cl = ParseCommandLine(Args{"--help", "--version"});
  EXPECT_TRUE(cl.help);
  EXPECT_TRUE(cl.version);
  EXPECT_EQ(InformationText(cl), UsageText());

  cl = ParseCommandLine(Args{"--version"});
  const std::string version = *InformationText(cl, "vc");
  EXPECT_EQ(version.rfind("vc " VESK_VERSION "\n" VESK_COPYRIGHT "\n", 0), 0u);
  EXPECT_NE(version.find("GPLv3+"), std::string::npos);
  EXPECT_EQ(InformationText(ParseCommandLine(Args{"/read"})), std::nullopt);

  cl = ParseCommandLine(Args{"--no-gui", "--verbose", "--print=Out.txt", "--export-html"});
  EXPECT_TRUE(cl.no_gui);
  EXPECT_TRUE(cl.verbose);
  EXPECT_EQ(cl.print_file, "Out.txt");
  EXPECT_EQ(cl.export_html, "");

  cl = ParseCommandLine(Args{"--export-html=/tmp/List.html", "--print"});
  EXPECT_EQ(cl.export_html, "/tmp/List.html");
  EXPECT_EQ(cl.print_file, std::nullopt);
  EXPECT_EQ(cl.problems.size(), 1u);

  cl = ParseCommandLine(Args{"--export-json=A.vesk", "--import-json=B.json",
                             "--output=/tmp/C:1.vesk", "--diff=device", "--diff="});
  EXPECT_EQ(cl.export_json, "A.vesk");
  EXPECT_EQ(cl.import_json, "B.json");
  EXPECT_EQ(cl.output, "/tmp/C:1.vesk");
  EXPECT_EQ(cl.diff_with, "device");
  EXPECT_EQ(cl.problems.size(), 1u);

  // The additions exist only in the long spelling.
  cl = ParseCommandLine(Args{"-help/version/no-gui"});
  EXPECT_FALSE(cl.help || cl.version || cl.no_gui);
  EXPECT_EQ(cl.problems.size(), 3u);
}

TEST(CommandLine, ExtIsNoticedAnywhere) {
  EXPECT_TRUE(ParseCommandLine(Args{"/ext"}).ext);
  EXPECT_TRUE(ParseCommandLine(Args{"/read/extra"}).ext);
  EXPECT_TRUE(ParseCommandLine(Args{"--", "dir/ext.vesk"}).ext);
  EXPECT_FALSE(ParseCommandLine(Args{"/EXT", "/read"}).ext);
}

TEST(CommandLine, ArgvSkipsTheProgramName) {
  const char* argv[] = {"vesk-configurator", "/port:3", "cfg.vesk", nullptr};
  const CommandLine cl = ParseCommandLine(3, argv);
  EXPECT_EQ(cl.settings.port, 3);
  EXPECT_EQ(cl.command_file, "cfg.vesk");
  EXPECT_EQ(ParseCommandLine(0, nullptr).settings.flags, 0u);
  EXPECT_EQ(ParseCommandLine(1, argv).settings.flags, 0u);
}

TEST(CommandLine, ClearZeroesTheSettingsAndReleasesTheDoneEvent) {
  CommandLine cl = ParseCommandLine(Args{"/port:3/addr:17/sbit:2/x:5", "--port=/dev/x"});
  auto done = std::make_shared<vesk::platform::Event>(vesk::platform::Event::Reset::Auto, true);
  cl.settings.done_event = done;
  cl.settings.Clear();
  EXPECT_EQ(cl.settings.flags, 0u);
  EXPECT_EQ(cl.settings.port, 0);
  EXPECT_TRUE(cl.settings.address.empty());
  EXPECT_TRUE(cl.settings.stop_bits.empty());
  EXPECT_TRUE(cl.settings.port_path.empty());
  EXPECT_EQ(cl.settings.placement, 0);
  EXPECT_EQ(cl.settings.x, 0);
  EXPECT_EQ(cl.settings.done_event, nullptr);
  EXPECT_EQ(done.use_count(), 1);  // a watcher holding its own copy keeps a live event
}

TEST(ReadKeyNumber, ReadsLikeTheKeysDo) {
  struct Case {
    const char* text;
    std::optional<int64_t> value;
  };
  const Case cases[] = {
      {"10", 10},
      {"0x1F", 31},
      {"0X1f", 31},
      {"017", 15},
      {"0", 0},
      {"08", 0},
      {"0x", 0},
      {"0xg", 0},
      {"  42", 42},
      {"+7", 7},
      {"-7", -7},
      {"-0x10", -16},
      {"12abc", 12},
      {"1e3", 1},
      {"abc", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"+-1", std::nullopt},
      {"x10", std::nullopt},
      {"9223372036854775807", INT64_MAX},
      {"9223372036854775808", std::nullopt},
      {"-9223372036854775808", INT64_MIN},
      {"-9223372036854775809", std::nullopt},
      {"0x7fffffffffffffff", INT64_MAX},
      {"0x8000000000000000", std::nullopt},
      {"0777777777777777777777", INT64_MAX},
      {"01000000000000000000000", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ReadKeyNumber(c.text), c.value);
  }
}

TEST(UsageText, NamesEveryKeyAndExitCode) {
  const std::string usage = UsageText("vesk-configurator");
  for (const char* key : {"read",  "write", "calibrate", "close",     "test", "silent",   "aply",
                          "port",  "bps",   "prty",      "addr",      "len",  "sbit",     "alen",
                          "rs485", "x",     "autoread",  "autowrite", "elog", "exitevent"}) {
    EXPECT_NE(usage.find(std::string("/") + key), std::string::npos) << key;
    EXPECT_NE(usage.find(std::string("--") + key), std::string::npos) << key;
  }
  for (const char* option :
       {"--no-gui", "--verbose", "--get=", "--set=", "--print=", "--export-html", "--help",
        "--version", "SIGTERM", "SIGINT", "sem_post"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  for (int code = 200; code <= 207; ++code) {
    EXPECT_NE(usage.find("  " + std::to_string(code) + "  "), std::string::npos) << code;
  }
}

// Arbitrary argument vectors end in a record, never in a crash; with the sanitizers on
// this catches reads past the end of a token.
TEST(CommandLine, SurvivesArbitraryArguments) {
  const std::string alphabet[] = {"/",
                                  "-",
                                  "--",
                                  ":",
                                  "=",
                                  "\"",
                                  "0",
                                  "0x",
                                  "9",
                                  "f",
                                  "port",
                                  "bps",
                                  "prty",
                                  "addr",
                                  "sbit",
                                  "elog",
                                  "get",
                                  "set",
                                  "Ё",
                                  "\xff",
                                  "\xd0",
                                  " ",
                                  "99999999999999999999"};
  std::mt19937 rng(12345);
  std::uniform_int_distribution<size_t> pick(0, std::size(alphabet) - 1), len(0, 12), count(0, 4);
  for (int round = 0; round < 2000; ++round) {
    Args args(count(rng));
    for (auto& a : args) {
      for (size_t n = len(rng); n > 0; --n) a += alphabet[pick(rng)];
    }
    const CommandLine cl = ParseCommandLine(args);
    EXPECT_LE(vesk::platform::Utf8Length(cl.settings.address), kMaxAddressChars);
    EXPECT_LE(vesk::platform::Utf8Length(cl.settings.stop_bits), kMaxStopBitsChars);
  }
}
