// Network nodes: fixed parameters, stored port settings with their defaults and
// conversions, the forbidden combinations, and the service parameters.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "link/parameter.h"
#include "link/port_list.h"
#include "link/port_settings.h"
#include "model/device_line_settings.h"
#include "model/program_line_settings.h"
#include "model/service_parameters.h"
#include "platform/build_info.h"
#include "platform/settings_store.h"

namespace vesk::model {
namespace {

namespace fs = std::filesystem;
using platform::kSettingsKey;
using platform::SettingsStore;

class TempStore : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vesk-net-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    store_ = std::make_unique<SettingsStore>(dir_ + "/LORN/settings.ini");
  }
  void TearDown() override {
    store_.reset();
    fs::remove_all(dir_);
  }
  std::unique_ptr<ProgramLineSettings> Filled() {
    auto node = std::make_unique<ProgramLineSettings>(store_.get(), [] { return "COM1:COM3"; });
    node->FillParameters();
    return node;
  }
  uint32_t Stored(const char* name, int* status = nullptr) {
    return store_->ReadDword(kSettingsKey, name, 0xDEAD, status);
  }

  std::string dir_;
  std::unique_ptr<SettingsStore> store_;
};

std::vector<std::string> Names(const ParameterNode& node) {
  std::vector<std::string> out;
  for (const auto& p : node.parameters) out.push_back(p->short_name);
  return out;
}

TEST(NetDevice, FillCreatesTheSixWritableParametersAfresh) {
  DeviceLineSettings net;
  EXPECT_EQ(net.name, "Сетевые параметры прибора");
  EXPECT_EQ(net.flag, 1);
  net.FillParameters();
  net.parameters[0]->value = "115200";
  net.FillParameters();
  ASSERT_EQ(Names(net), (std::vector<std::string>{"bPS", "LEn", "PrtY", "Sbit", "A.Len", "Addr"}));
  const char* captions[] = {"Скорость обмена", "Длина слова данных",  "Четность",
                            "Кол-во стоп-бит", "Длина адреса RS-485", "Базовый адрес прибора"};
  const char* types[] = {"2400:4800:9600:14400:19200:28800:38400:57600:115200",
                         "7:8",
                         "Отсутствует:Четность:Нечетность",
                         "1:2",
                         "8:11",
                         "int"};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(net.parameters[i]->caption, captions[i]);
    EXPECT_EQ(net.parameters[i]->type_text, types[i]);
    EXPECT_TRUE(net.parameters[i]->writable);
    EXPECT_EQ(net.parameters[i]->value, link::kNoData);
  }
}

TEST_F(TempStore, WithoutStoredSettingsTheDefaultsShowAndNothingIsChanged) {
  auto node = Filled();
  EXPECT_EQ(node->name, "Сетевые параметры программы");
  ASSERT_EQ(Names(*node),
            (std::vector<std::string>{"bPS", "LEn", "PrtY", "Sbit", "A.Len", "Addr", "Port"}));
  EXPECT_EQ(node->GetValue("Addr"), "16");
  EXPECT_EQ(node->GetValue("A.Len"), "8");
  EXPECT_EQ(node->GetValue("bPS"), "9600");
  EXPECT_EQ(node->GetValue("LEn"), "8");
  EXPECT_EQ(node->GetValue("Sbit"), "1");
  EXPECT_EQ(node->GetValue("PrtY"), "Отсутствует");
  EXPECT_EQ(node->GetValue("Port"), "COM1");
  EXPECT_EQ(node->FindParameter("Port")->caption, "Порт компьютера");
  EXPECT_EQ(node->FindParameter("Port")->type_text, "COM1:COM3");
  EXPECT_EQ(node->ChangesState(), 0);
}

TEST_F(TempStore, NothingStoredStartsOnThePluggedInAdapterOrSaysThereIsNoPort) {
  const std::string adapter = std::string(link::kSerialByIdFolder) + "usb-FTDI_RS485-if00-port0";
  const struct {
    std::string ports, expected;
  } cases[] = {
      {"COM1:ttyUSB0:" + adapter, adapter}, {"COM2:ttyACM0", "COM2"}, {"", kNoSerialPortText}};
  for (const auto& c : cases) {
    store_->RemoveValue(kSettingsKey, kPortPathValue);  // what the case before kept
    store_->RemoveValue(kSettingsKey, kPortNumberValue);
    ProgramLineSettings node(store_.get(), [&] { return c.ports; });
    node.FillParameters();
    EXPECT_EQ(node.GetValue("Port"), c.expected) << c.ports;
  }
  // What says "no port" is not kept as a port chosen.
  EXPECT_FALSE(store_->ReadText(kSettingsKey, kPortPathValue).has_value());
}

TEST_F(TempStore, StoredParitySchemesShowAsTheirTexts) {
  struct Case {
    uint32_t stored;
    const char* text;
  } cases[] = {{1, "Четность"},           {3, "Отсутствует"},        {4, "Нечетность"},
               {0, "<неверное значние>"}, {2, "<неверное значние>"}, {5, "<неверное значние>"}};
  for (const Case& c : cases) {
    ASSERT_EQ(store_->WriteDword(kSettingsKey, kParityValue, c.stored), 0);
    EXPECT_EQ(Filled()->GetValue("PrtY"), c.text) << c.stored;
  }
}

TEST_F(TempStore, BadParityIsNotWrittenBack) {
  ASSERT_EQ(store_->WriteDword(kSettingsKey, kParityValue, 2), 0);
  Filled().reset();  // destroying the node writes the settings back
  EXPECT_EQ(Stored(kParityValue), 2u);
  EXPECT_EQ(Stored(kAddressValue), 16u);  // the others are written
}

TEST_F(TempStore, SettingsRoundTripThroughDestruction) {
  {
    auto node = Filled();
    node->SetValue("Addr", "300");
    node->SetValue("A.Len", "11");
    node->SetValue("bPS", "115200");
    node->SetValue("LEn", "7");
    node->SetValue("Sbit", "2");
    node->SetValue("PrtY", "НЕЧЕТНОСТЬ");
    node->SetValue("Port", "COM7");
  }
  EXPECT_EQ(Stored(kAddressValue), 300u);
  EXPECT_EQ(Stored(kAddressLengthValue), 11u);
  EXPECT_EQ(Stored(kBaudRateValue), 115200u);
  EXPECT_EQ(Stored(kByteSizeValue), 7u);
  EXPECT_EQ(Stored(kStopBitsValue), 2u);
  EXPECT_EQ(Stored(kParityValue), 4u);
  EXPECT_EQ(Stored(kPortNumberValue), 7u);
  auto again = Filled();
  EXPECT_EQ(again->GetValue("Addr"), "300");
  EXPECT_EQ(again->GetValue("PrtY"), "Нечетность");
  EXPECT_EQ(again->GetValue("Port"), "COM7");
  EXPECT_EQ(again->ChangesState(), 0);
}

TEST_F(TempStore, APortPathIsKeptBesideThePortNumber) {
  {
    auto node = Filled();
    node->SetValue("Port", "/dev/ttyUSB0");
  }
  EXPECT_EQ(store_->ReadText(kSettingsKey, kPortPathValue), "/dev/ttyUSB0");
  EXPECT_EQ(Filled()->GetValue("Port"), "/dev/ttyUSB0");
  {
    auto node = Filled();
    node->SetValue("Port", "COM12");
  }
  EXPECT_EQ(store_->ReadText(kSettingsKey, kPortPathValue), std::nullopt);
  EXPECT_EQ(Stored(kPortNumberValue), 12u);
  EXPECT_EQ(Filled()->GetValue("Port"), "COM12");
}

TEST_F(TempStore, ValuesWithoutANumberLeaveTheStoredSettingAlone) {
  ASSERT_EQ(store_->WriteDword(kSettingsKey, kAddressValue, 42), 0);
  ASSERT_EQ(store_->WriteDword(kSettingsKey, kBaudRateValue, 19200), 0);
  ASSERT_EQ(store_->WriteDword(kSettingsKey, kStopBitsValue, 2), 0);
  ASSERT_EQ(store_->WriteDword(kSettingsKey, kByteSizeValue, 7), 0);
  {
    auto node = Filled();
    node->SetValue("Addr", link::kNoData);
    node->SetValue("bPS", "");
    node->SetValue("Sbit", "-1");
    node->SetValue("LEn", "99999999999999999999");
  }
  EXPECT_EQ(Stored(kAddressValue), 42u);
  EXPECT_EQ(Stored(kBaudRateValue), 19200u);
  EXPECT_EQ(Stored(kStopBitsValue), 2u);
  EXPECT_EQ(Stored(kByteSizeValue), 7u);
}

TEST_F(TempStore, AnUnfilledNodeWritesNothing) {
  { ProgramLineSettings node(store_.get()); }
  int status = -1;
  Stored(kAddressValue, &status);
  EXPECT_EQ(status, platform::kSettingsKeyMissing);
}

TEST_F(TempStore, PortSettingsRecordFollowsTheValues) {
  auto node = Filled();
  node->SetValue("PrtY", "Четность");
  node->SetValue("Port", "/dev/pts/4");
  node->SetValue("Addr", "200");
  link::PortSettings s;
  s.parity = 5;
  node->ToPortSettings(s);
  EXPECT_EQ(s.port_name, "/dev/pts/4");
  EXPECT_EQ(s.baud_rate, 9600);
  EXPECT_EQ(s.parity, 1);
  EXPECT_EQ(s.stop_bits, 1);
  EXPECT_EQ(s.byte_size, 8);
  EXPECT_EQ(s.address_length, 8);
  EXPECT_EQ(s.device_address, 200);

  node->SetValue("PrtY", "<неверное значние>");
  node->SetValue("bPS", link::kNoData);
  s.parity = 5;
  s.baud_rate = 2400;
  node->ToPortSettings(s);
  EXPECT_EQ(s.parity, 5);
  EXPECT_EQ(s.baud_rate, 2400);

  // The address and stop bits typed as text read as decimal numbers, "abc" as 0.
  node->SetValue("Addr", "abc");
  node->SetValue("Sbit", "abc");
  node->ToPortSettings(s);
  EXPECT_EQ(s.device_address, 0);
  EXPECT_EQ(s.stop_bits, 0);
  EXPECT_TRUE(s.kernel_rs485.rts_on_send);
  store_->WriteDword(platform::kSettingsKey, kRs485RtsOnSendValue, 0);
  store_->WriteDword(platform::kSettingsKey, kRs485DelayAfterValue, 4);
  node->ToPortSettings(s);
  EXPECT_FALSE(s.kernel_rs485.rts_on_send);
  EXPECT_EQ(s.kernel_rs485.delay_after_ms, 4u);

  link::PortSettings from;
  from.baud_rate = 57600;
  from.parity = 4;
  from.port_name = "COM2";
  node->ClearChanges();
  node->FromPortSettings(from);
  EXPECT_EQ(node->GetValue("bPS"), "57600");
  EXPECT_EQ(node->GetValue("PrtY"), "Нечетность");
  EXPECT_EQ(node->GetValue("Port"), "COM2");
  EXPECT_EQ(node->GetValue("Addr"), "16");
  EXPECT_TRUE(node->FindParameter("bPS")->value_changed);
}

TEST_F(TempStore, PortSettingsReadTheFileOnlyWhenItHasChanged) {
  auto node = Filled();
  store_->WriteDword(platform::kSettingsKey, kRs485DelayAfterValue, 4);
  link::PortSettings s;
  node->ToPortSettings(s);
  ASSERT_EQ(s.kernel_rs485.delay_after_ms, 4u);
  // The bytes changed behind the store's back, the file's stamp kept: asked twice a second,
  // the settings are not parsed again for a file that looks the same.
  const std::string path = store_->FilePath();
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(file)), {});
  const size_t at = text.find(std::string(kRs485DelayAfterValue) + "=4");
  ASSERT_NE(at, std::string::npos);
  file.seekp(static_cast<std::streamoff>(at + std::strlen(kRs485DelayAfterValue) + 1));
  file << '7';
  file.close();
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  node->ToPortSettings(s);
  EXPECT_EQ(s.kernel_rs485.delay_after_ms, 4u);
  // A write through any store is a change.
  SettingsStore(path).WriteDword(platform::kSettingsKey, kRs485DelayBeforeValue, 2);
  node->ToPortSettings(s);
  EXPECT_EQ(s.kernel_rs485.delay_after_ms, 7u);
  EXPECT_EQ(s.kernel_rs485.delay_before_ms, 2u);
}

TEST(ParityCodes, TextsAndCodesMapBothWays) {
  EXPECT_EQ(ParityCodeFromText("отсутствует"), 3);
  EXPECT_EQ(ParityCodeFromText("Четность"), 1);
  EXPECT_EQ(ParityCodeFromText("Нечетность"), 4);
  EXPECT_EQ(ParityCodeFromText("<неверное значние>"), std::nullopt);
  EXPECT_EQ(ParityTextFromCode(0), "Отсутствует");
  EXPECT_EQ(ParityTextFromCode(3), "Отсутствует");
  EXPECT_EQ(ParityTextFromCode(1), "Четность");
  EXPECT_EQ(ParityTextFromCode(4), "Нечетность");
  EXPECT_EQ(ParityTextFromCode(2), std::nullopt);
  EXPECT_EQ(ParityTextFromCode(5), std::nullopt);
}

// --- forbidden combinations ---------------------------------------------------------

// A node holding the given network values (nullptr: no such parameter).
std::unique_ptr<ParameterNode> Node(const char* parity, const char* len, const char* sbit,
                                    const char* addr = "16", const char* alen = "8",
                                    const char* prot = nullptr) {
  auto node = std::make_unique<ParameterNode>();
  auto add = [&](const char* name, const char* value, const char* type) {
    if (!value) return;
    auto p = std::make_unique<link::Parameter>(name);
    p->value = value;
    p->type_text = type;
    node->AddParameter(std::move(p));
  };
  add("PrtY", parity, "Отсутствует:Четность:Нечетность");
  add("LEn", len, "7:8");
  add("Sbit", sbit, "1:2");
  add("Addr", addr, "int");
  add("A.Len", alen, "8:11");
  add("Prot", prot, "ЛОРН:Modbus:ASCII");
  return node;
}

TEST(NetChecks, ParityWithEightDataBitsAndTwoStopBitsIsRefused) {
  struct Case {
    const char* parity;
    const char* len;
    const char* sbit;
    bool allowed;
  } cases[] = {
      {"Нечетность", "8", "2", false}, {"Четность", "8", "2", false},
      {"ЧЕТНОСТЬ", "8", "2", false},   {"Нечетность", "7", "2", true},
      {"Нечетность", "8", "1", true},  {"Отсутствует", "8", "2", true},
      {link::kNoData, "8", "2", true}, {nullptr, nullptr, nullptr, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckParityCombination(*Node(c.parity, c.len, c.sbit)), c.allowed)
        << (c.parity ? c.parity : "-") << " " << (c.len ? c.len : "-") << " "
        << (c.sbit ? c.sbit : "-");
  }
}

TEST(NetChecks, AddressAgainstLengthAndProtocol) {
  struct Case {
    const char* name;
    const char* new_value;
    const char* addr;
    const char* alen;
    const char* prot;
    bool allowed;
  } cases[] = {
      // address under the LORN protocol or without a protocol parameter
      {"Addr", "300", "16", "8", nullptr, false},
      {"Addr", "300", "16", "11", nullptr, true},
      {"addr", "255", "16", "8", nullptr, true},
      {"ADDR", "256", "16", "8", "ЛОРН", false},
      {"Addr", "300", "16", "11", "ЛОРН", true},
      // under another protocol the address stays below 256 whatever the length
      {"Addr", "300", "16", "11", "Modbus", false},
      {"Addr", "300", "16", "8", "Modbus", false},
      {"Addr", "200", "16", "8", "Modbus", true},
      // address length
      {"A.Len", "11", "300", "8", nullptr, true},
      {"a.len", "8", "300", "11", nullptr, false},
      {"A.Len", "8", "255", "11", nullptr, true},
      {"A.Len", "8", link::kNoData, "11", nullptr, true},
      // protocol
      {"Prot", "ЛОРН", "300", "11", "Modbus", true},
      {"prot", "Modbus", "300", "11", "ЛОРН", false},
      {"Prot", "ASCII", "100", "8", "ЛОРН", true},
      {"Prot", "Modbus", "300", "11", nullptr, true},  // no "Prot" parameter in the node
      // any other name
      {"bPS", "115200", "300", "8", nullptr, true},
  };
  for (const Case& c : cases) {
    auto node = Node("Отсутствует", "8", "1", c.addr, c.alen, c.prot);
    EXPECT_EQ(CheckAddressChange(*node, c.name, c.new_value), c.allowed)
        << c.name << "=" << c.new_value << " addr " << c.addr << " len " << c.alen << " prot "
        << (c.prot ? c.prot : "-");
  }
}

TEST(NetChecks, TheMessageHasFiveLines) {
  const std::string text = kForbiddenCombinationsText;
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  lines.push_back(text.substr(start));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "Запрещенные комбинации сетевых параметров:");
  EXPECT_EQ(lines[3], "и количество стоп-бит было равно 2!");
  EXPECT_EQ(lines[4],
            "3) При работе прибора на протоколах, отличных от \"ЛОРН\", адрес не должен быть "
            "больше 255.");
  EXPECT_STREQ(kForbiddenCombinationsCaption, "Неудалось изменить значение");
}

// --- service parameters -------------------------------------------------------------

TEST_F(TempStore, ServiceParametersAndTheInstallationRecord) {
  ServiceParameters common(store_.get());
  common.FillParameters();
  ASSERT_EQ(Names(common), (std::vector<std::string>{" ", "  ", "   "}));
  const char* captions[] = {"Версия", "Копирайт", "Операционная система"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(common.parameters[i]->caption, captions[i]);
    EXPECT_FALSE(common.parameters[i]->writable);
    EXPECT_EQ(common.parameters[i]->has_attributes, 0);
  }
  EXPECT_EQ(common.parameters[0]->value, std::string("Конфигуратор ВЕСК ") + VESK_VERSION);
  EXPECT_EQ(common.parameters[1]->value, VESK_COPYRIGHT);
  struct utsname u {};
  ASSERT_EQ(uname(&u), 0);
  EXPECT_EQ(common.parameters[2]->value, std::string(u.sysname) + " " + u.release);
  EXPECT_EQ(store_->ReadText(platform::kDevicesKey, "name"), "VESK");
  EXPECT_EQ(store_->ReadText(platform::kDevicesKey, "version"), VESK_VERSION);
  // Refilling replaces, it does not append.
  common.FillParameters();
  EXPECT_EQ(common.parameters.size(), 3u);
}

TEST(ServiceParameters, AStoreThatCannotBeWrittenChangesNothingElse) {
  SettingsStore broken("/proc/vesk-cannot-exist/settings.ini");
  ServiceParameters common(&broken);
  common.FillParameters();
  EXPECT_EQ(common.parameters.size(), 3u);
}

}  // namespace
}  // namespace vesk::model
