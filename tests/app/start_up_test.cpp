// The decisions of start-up that need no device: which file is opened, which port keys
// reach a node, whether a read got anything to save.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/application.h"
#include "app/port_keys.h"
#include "model/device_line_settings.h"
#include "process_support.h"

namespace vesk::app {
namespace {

bool Loadable(const std::string&) {
  return true;
}
bool NotLoadable(const std::string&) {
  return false;
}

TEST(StartUp, FileDecision) {
  test::TempDir dir;
  const std::string full = dir / "full.vesk", empty = dir / "empty.vesk",
                    missing = dir / "missing.vesk";
  test::WriteFile(full, "x");
  test::WriteFile(empty, "");
  CommandLineSettings none, read, write, both;
  read.flags = cmdflag::kCommandLineRun | cmdflag::kRead;
  write.flags = cmdflag::kCommandLineRun | cmdflag::kWrite;
  both.flags = read.flags | write.flags;
  using D = FileDecision;
  const struct {
    const CommandLineSettings* keys;
    std::string file;
    bool (*loadable)(const std::string&);
    D expected;
  } cases[] = {
      {&read, full, Loadable, D::NewConfiguration},  // a read starts empty, whatever is named
      {&read, missing, Loadable, D::NewConfiguration},
      {&both, missing, Loadable, D::NewConfiguration},  // read wins over the missing file
      {&none, "", Loadable, D::NewConfiguration},
      {&write, "", Loadable, D::NewConfiguration},
      {&none, full, NotLoadable, D::OpenFile},  // only a write checks the file first
      {&none, missing, Loadable, D::NewConfigurationForPath},
      {&none, empty, Loadable, D::NewConfigurationForPath},
      {&write, full, Loadable, D::OpenFile},
      {&write, missing, Loadable, D::WriteFileMissing},
      {&write, empty, Loadable, D::WriteFileMissing},
      {&write, full, NotLoadable, D::WriteFileMissing},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecideFile(*c.keys, c.file, c.loadable), c.expected)
        << c.file << " flags " << c.keys->flags;
}

TEST(StartUp, PortKeysByNode) {
  model::DeviceLineSettings device;
  device.FillParameters();
  CommandLineSettings s;
  s.address = "7";
  s.address_length = 11;
  s.baud = 57600;
  s.data_bits = 7;
  s.stop_bits = "2";
  s.parity = kParityOdd;
  s.port = 5;
  EXPECT_EQ(WriteNetworkKeys(device, s), 6);
  EXPECT_EQ(device.GetValue("Addr"), "7");
  EXPECT_EQ(device.GetValue("A.Len"), "11");
  EXPECT_EQ(device.GetValue("bPS"), "57600");
  EXPECT_EQ(device.GetValue("LEn"), "7");
  EXPECT_EQ(device.GetValue("Sbit"), "2");
  EXPECT_EQ(device.GetValue("PrtY"), "Нечетность");
  // The device has no port; asked anyway, nothing more is taken.
  EXPECT_EQ(WriteProgramPortKeys(device, s), 6);

  model::DeviceLineSettings parity_none;
  parity_none.FillParameters();
  CommandLineSettings p;
  p.parity = kParityNone;
  EXPECT_EQ(WriteNetworkKeys(parity_none, p), 1);
  EXPECT_EQ(parity_none.GetValue("PrtY"), "Отсутствует");
  CommandLineSettings nothing;  // values of 0 or empty are not given
  EXPECT_EQ(WriteNetworkKeys(parity_none, nothing), 0);
}

TEST(StartUp, AnyValueRead) {
  EXPECT_FALSE(AnyValueRead(nullptr));
  model::DescriptionBranch root("R");
  root.children.push_back(std::make_unique<model::DescriptionBranch>("C"));
  link::Parameter& p =
      root.children.back()->AddParameter(std::make_unique<link::Parameter>("FiLt"));
  EXPECT_FALSE(AnyValueRead(&root));  // "Нет данных"
  p.value = "10";
  p.note = "Нет ответа";
  EXPECT_FALSE(AnyValueRead(&root));  // a failure note: not read
  p.note.clear();
  EXPECT_TRUE(AnyValueRead(&root));
}

}  // namespace
}  // namespace vesk::app
