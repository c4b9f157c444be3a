#include "sim_options.h"

#include <gtest/gtest.h>

#include "fault_names.h"

namespace vesk::sim {
namespace {

ParseResult Parse(std::vector<std::string> args) {
  return ParseOptions(args);
}

TEST(SimOptions, DefaultsServeAFactoryDevice) {
  ParseResult r = Parse({});
  ASSERT_TRUE(r.ok);
  EXPECT_FALSE(r.options.baud);
  EXPECT_FALSE(r.options.protocol);
  EXPECT_EQ(r.options.device_name, "VESK");
  EXPECT_EQ(r.options.turnaround_ms, 1u);
  EXPECT_FALSE(r.options.line_timing);
  EXPECT_FALSE(r.options.faults.mute_after);
}

TEST(SimOptions, ValuesAfterTheOptionOrAfterEquals) {
  ParseResult r =
      Parse({"--bps", "19200", "--sbit=2", "--addr", "1000", "--alen=11", "--protocol", "dcon",
             "--dev", "ВЕСК-8", std::string(kFaultDrop), "0.25",
             std::string(kFaultMuteAfter) + "=7", "--line-timing", std::string(kFaultEcho),
             std::string(kFaultNoise), "0.2", std::string(kFaultStray) + "=0.1", "--devices="});
  ASSERT_TRUE(r.ok) << r.error;
  const SimOptions& o = r.options;
  EXPECT_EQ(o.baud, 19200);
  EXPECT_EQ(o.stop_bits, 2);
  EXPECT_EQ(o.address, 1000);
  EXPECT_EQ(o.address_bits, 11);
  EXPECT_EQ(o.protocol, Protocol::Dcon);
  EXPECT_EQ(o.device_name, "ВЕСК-8");  // counted in characters, not bytes
  EXPECT_DOUBLE_EQ(o.faults.drop, 0.25);
  EXPECT_EQ(o.faults.mute_after, 7u);
  EXPECT_TRUE(o.line_timing);
  EXPECT_TRUE(o.faults.echo);
  EXPECT_DOUBLE_EQ(o.faults.noise, 0.2);
  EXPECT_DOUBLE_EQ(o.faults.stray, 0.1);
  EXPECT_TRUE(o.no_device);
}

struct BadCase {
  std::vector<std::string> args;
  const char* mentions;
};

class SimOptionsRefused : public ::testing::TestWithParam<BadCase> {};

TEST_P(SimOptionsRefused, NamesTheOption) {
  ParseResult r = Parse(GetParam().args);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(GetParam().mentions), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    Sim, SimOptionsRefused,
    ::testing::Values(
        BadCase{{"--bps", "256000"}, "--bps"}, BadCase{{"--bps", "96OO"}, "--bps"},
        BadCase{{"--sbit", "3"}, "--sbit"}, BadCase{{"--addr", "2048"}, "--addr"},
        BadCase{{"--addr", "-1"}, "--addr"}, BadCase{{"--alen", "16"}, "--alen"},
        BadCase{{"--drop", "1.5"}, "--drop"}, BadCase{{"--drop", "nan"}, "--drop"},
        BadCase{{"--corrupt", "-0.1"}, "--corrupt"}, BadCase{{"--late-ms", "-5"}, "--late-ms"},
        BadCase{{"--mute-after", "x"}, "--mute-after"}, BadCase{{"--dev", "123456789"}, "--dev"},
        BadCase{{"--ver", ""}, "--ver"}, BadCase{{"--protocol", "LORN"}, "--protocol"},
        BadCase{{"--trace"}, "--trace needs a value"}, BadCase{{"-x"}, "unknown option -x"},
        BadCase{{"--line-timing=1"}, "unknown option"}));

TEST(SimOptions, HelpDescribesEveryOptionAndTheDumpFormat) {
  std::string help = HelpText();
  for (const char* option :
       {"--link",        "--port",          "--tree",
        "--bps",         "--sbit",          "--addr",
        "--alen",        "--protocol",      "--dev",
        "--ver",         "--restart-ms",    "--input-ms",
        "--line-timing", "--turnaround-ms", "--drop",
        "--corrupt",     "--garbage",       "--wrong-hash",
        "--late-ms",     "--mute-after",    "--seed",
        "--trace",       "--echo",          "--noise",
        "--stray",       "--devices=",      "--dump",
        "--state",       "--help",          "NAME<TAB>INDEX<TAB>HASH<TAB>ATTR<TAB>VALUE",
        "parity"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
  EXPECT_TRUE(Parse({"-h"}).options.help);
}

}  // namespace
}  // namespace vesk::sim
