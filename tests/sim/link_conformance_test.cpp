// The simulator against the configurator's own DeviceLink over a pseudo-terminal: every
// format read and written, every refusal as the configurator reports it, attributes,
// the network name, INIT and APLY, the probe protocols, and a line set differently.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "link/exit_status.h"
#include "link/probe_codec.h"
#include "sim_test_support.h"

namespace vesk::sim::test {
namespace {

using link::kExchangeOk;

class Conformance : public ::testing::Test {
 protected:
  RunningSim sim_;
  Client client_{sim_.Path()};
};

struct FormatCase {
  const char* name;
  int index;
  int poll_index;
  const char* write;
  const char* read_back;
};

class Formats : public Conformance, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(Formats, WriteThenReadGivesTheValue) {
  const FormatCase& c = GetParam();
  auto p = Client::Parameter(c.name, c.index, c.poll_index);
  ASSERT_EQ(client_.Write(*p, c.write), kExchangeOk) << p->note;
  EXPECT_EQ(p->value, c.read_back);
  EXPECT_EQ(client_.ReadValue(c.name, c.index, c.poll_index), c.read_back);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, Formats,
    ::testing::Values(
        FormatCase{"Cn.K", 3, -1, "2.5", "2.500"}, FormatCase{"r.oe", -1, 6, "0.5", "0.500"},
        FormatCase{"FiLt", 11, -1, "500", "500"}, FormatCase{"tHP", 0, -1, "150", "150"},
        FormatCase{"Alr.t", -1, -1, "01:30", "01:30"},
        FormatCase{"in.tP", 5, -1, "Потенциальный", "Потенциальный"},
        FormatCase{"bPS", -1, -1, "115200", "115200"},
        FormatCase{"PrtY", -1, -1, "Нечетность", "Нечетность"},
        FormatCase{"A.Len", -1, -1, "11", "11"}, FormatCase{"Addr", -1, -1, "17", "17"},
        FormatCase{"r.cou", -1, 4, "0", "0"}, FormatCase{"CHAr*", -1, -1, "AB.C", "AB.C "}),
    [](const auto& info) {
      std::string n = std::string(info.param.name) + "_" + std::to_string(info.index);
      for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return n;
    });

TEST_F(Conformance, IdentityAndDiagnostic) {
  EXPECT_EQ(client_.ReadValue("dev"), "VESK");
  EXPECT_EQ(client_.ReadValue("ver"), "1.02");
  EXPECT_EQ(client_.ReadValue("exit"), "сброс по питанию");
}

struct RefusalCase {
  const char* name;
  int index;
  const char* write;  // nullptr: read
  const char* note;
};

class LinkRefusals : public Conformance, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(LinkRefusals, NoteCarriesTheDevicesText) {
  const RefusalCase& c = GetParam();
  auto p = Client::Parameter(c.name, c.index);
  int r = c.write ? client_.Write(*p, c.write) : client_.Read(*p);
  EXPECT_NE(r, kExchangeOk);
  EXPECT_EQ(p->note, c.note);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, LinkRefusals,
    ::testing::Values(
        RefusalCase{"NoSuch", -1, nullptr, "Не найден дескриптор"},
        RefusalCase{"FiLt", 12, nullptr, "Индекс параметра превышает ограничитель индекса"},
        RefusalCase{"FiLt", 0, "1001", "Значение мантиссы превышает ограничения дескриптора"},
        RefusalCase{"Addr", -1, "300",
                    "Недопустимое сочетание значений параметров (Изменение параметра было "
                    "запрещено функцией Valid)"},
        RefusalCase{"ver", -1, "1",
                    "Метод формирования посылки записи для команды 'ver' не "
                    "определен."}));

TEST_F(Conformance, RefusalsTheEncoderWouldNotLetThrough) {
  // The configurator never sends these; a raw request shows what the device says.
  link::ReplyData reply;
  int count = 0;
  std::string error;
  uint8_t nine = 9;
  EXPECT_FALSE(
      client_.link().Transact(false, link::NameHash("bPS"), &nine, 1, reply, count, error, 0));
  EXPECT_EQ(error, "Данный код не используется (прибор отверг записываемое значение)");
  uint8_t three[3] = {1, 2, 3};
  EXPECT_FALSE(
      client_.link().Transact(false, link::NameHash("Alr.t"), three, 3, reply, count, error, 0));
  EXPECT_EQ(error, "Размер поля данных не соответствует ожидаемому");
  uint8_t code = 6;
  EXPECT_FALSE(
      client_.link().Transact(false, link::NameHash("exit"), &code, 1, reply, count, error, 0));
  EXPECT_EQ(error, "Попытка модификации ROM-параметра");
  EXPECT_FALSE(
      client_.link().Transact(false, link::NameHash("r.cn"), &code, 1, reply, count, error, 0));
  EXPECT_EQ(error, "Редактирование параметра запрещено атрибутами доступа");
  uint8_t target[2] = {0xE8, 0x94};  // "r.oe" has no attributes
  EXPECT_FALSE(
      client_.link().Transact(true, link::kAttributeHash, target, 2, reply, count, error, 0));
  EXPECT_EQ(error, "У запрошенного параметра отсутствуют признаки");
}

TEST_F(Conformance, AttributesTravelWithEveryWrite) {
  auto p = Client::Parameter("Cn.SP", 5);
  p->editable = true;
  p->owned_by_firm = true;  // the user hands it to the maker
  ASSERT_EQ(client_.Write(*p, "7"), kExchangeOk) << p->note;
  auto back = Client::Parameter("Cn.SP", 5);
  ASSERT_EQ(client_.Read(*back), kExchangeOk);
  EXPECT_TRUE(back->owned_by_firm);
  EXPECT_TRUE(back->editable);
  // Taking it back is the maker's business.
  back->owned_by_firm = false;
  EXPECT_EQ(client_.Write(*back, "8"), link::kExchangeAttributeFailed);
  EXPECT_EQ(back->note,
            "Несанкционированная попытка редактирования Атрибутов (попытка изменить атрибут "
            "пользователем, когда он не является хозяином параметра)");
  // A read-only parameter of the user refuses the value after taking the attributes.
  auto ro = Client::Parameter("Cn.SP", 6);
  ro->editable = false;
  EXPECT_EQ(client_.Write(*ro, "9"), link::kExchangeFailed);
  EXPECT_EQ(ro->note, "Редактирование параметра запрещено атрибутами доступа");
}

TEST_F(Conformance, NetworkNameIsFourIndexedCodes) {
  auto name = Client::Parameter("CHAr*");
  ASSERT_EQ(client_.Write(*name, "AB.C"), kExchangeOk) << name->note;
  EXPECT_EQ(client_.ReadValue("CHAr", 0), "20");
  EXPECT_EQ(client_.ReadValue("CHAr", 1), "23");
  EXPECT_EQ(client_.ReadValue("CHAr", 2), "24");
  EXPECT_EQ(client_.ReadValue("CHAr", 3), "78");
}

TEST_F(Conformance, LiveInputsCountersAndOutputs) {
  std::string first = client_.ReadValue("r.cn", -1, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::string second = client_.ReadValue("r.cn", -1, 0);
  EXPECT_NE(first, second);  // input 1 toggles every 250 ms
  auto counter = Client::Parameter("r.cou", -1, 0);
  ASSERT_EQ(client_.Write(*counter, "0"), kExchangeOk);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  ASSERT_EQ(client_.Read(*counter), kExchangeOk);
  EXPECT_GE(std::stoi(counter->value), 1);
  EXPECT_LE(std::stoi(counter->value), 2);
  auto level = Client::Parameter("r.oe", -1, 7);
  EXPECT_EQ(client_.Write(*level, "1.5"), link::kExchangeFailed);  // outside 0 ... 1
}

TEST_F(Conformance, ApplySwitchesToTheStoredSettingsAtOnce) {
  auto bps = Client::Parameter("bPS");
  ASSERT_EQ(client_.Write(*bps, "19200"), kExchangeOk);
  EXPECT_EQ(client_.ReadValue("dev"), "VESK");  // stored only, still at 9600
  auto apply = Client::Parameter("APLY");
  apply->value.clear();
  EXPECT_EQ(client_.link().Exchange(link::kOpWrite, apply.get()), kExchangeOk);
  client_.Reopen(19200);
  EXPECT_EQ(client_.ReadValue("dev"), "VESK");
  EXPECT_EQ(client_.ReadValue("bPS"), "19200");
}

TEST(ConformanceRestart, InitRestartsWithStoredSettingsAfterASilence) {
  SimOptions o;
  o.restart_ms = 150;
  RunningSim sim(o);
  Client client(sim.Path());
  auto sbit = Client::Parameter("Sbit");
  ASSERT_EQ(client.Write(*sbit, "2"), kExchangeOk);
  EXPECT_EQ(client.ReadValue("dev"), "VESK");  // stored only, one stop bit still
  auto init = Client::Parameter("INIT");
  init->type_text = "void";
  ASSERT_EQ(client.Read(*init), kExchangeOk) << init->note;
  client.Reopen(9600, 2);
  auto t0 = std::chrono::steady_clock::now();
  auto exit = Client::Parameter("exit");
  // The first attempts fall into the restart; the link's retries outlast it.
  ASSERT_EQ(client.Read(*exit), kExchangeOk) << exit->note;
  EXPECT_EQ(exit->value, "внешний сброс");
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100));
}

TEST(ConformanceRestart, InitSwitchesToTheStoredProtocol) {
  SimOptions o;
  o.restart_ms = 50;
  o.baud = 115200;
  RunningSim sim(o);
  Client client(sim.Path(), 115200);
  auto prot = Client::Parameter("Prot");
  ASSERT_EQ(client.Write(*prot, "Modbus RTU"), kExchangeOk) << prot->note;
  EXPECT_EQ(client.ReadValue("dev"), "VESK");  // LORN until the restart
  auto init = Client::Parameter("INIT");
  init->type_text = "void";
  ASSERT_EQ(client.Read(*init), kExchangeOk);
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  EXPECT_EQ(client.link().Probe(link::kProbeModbusRtu), link::ProbeResult::Answered);
}

TEST(ConformanceLine, SilentWhileTheLineIsSetDifferently) {
  RunningSim sim;
  Client client(sim.Path(), 19200);
  EXPECT_EQ(client.ReadValue("dev"), "error: Таймаут при передаче данных (нет связи)");
  client.Reopen(9600, 2);
  EXPECT_EQ(client.ReadValue("dev"), "error: Таймаут при передаче данных (нет связи)");
  client.Reopen(9600, 1);
  EXPECT_EQ(client.ReadValue("dev"), "VESK");
}

struct ProbeCase {
  Protocol device;
  uint8_t mode;
};

class Probes : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(Probes, OnlyTheDevicesProtocolIsAnswered) {
  SimOptions o;
  o.protocol = GetParam().device;
  o.baud = 115200;
  RunningSim sim(o);
  Client client(sim.Path(), 115200);
  if (GetParam().device == Protocol::Lorn) {
    // A LORN device answers none of the probes.
    for (int mode = link::kProbeModbusRtu; mode <= link::kProbePercent; ++mode)
      EXPECT_EQ(client.link().Probe(mode), link::ProbeResult::Timeout) << mode;
    EXPECT_EQ(client.ReadValue("dev"), "VESK");
    return;
  }
  EXPECT_EQ(client.link().Probe(GetParam().mode), link::ProbeResult::Answered);
  EXPECT_EQ(client.ReadValue("dev"), "error: Таймаут при передаче данных (нет связи)");
}

INSTANTIATE_TEST_SUITE_P(Sim, Probes,
                         ::testing::Values(ProbeCase{Protocol::ModbusRtu, 1},
                                           ProbeCase{Protocol::ModbusAscii, 2},
                                           ProbeCase{Protocol::Dcon, 3},
                                           ProbeCase{Protocol::Lorn, 0}));

}  // namespace
}  // namespace vesk::sim::test

namespace vesk::sim::test {
namespace {

TEST(ConformanceTiming, LineTimingDelaysTheAnswerByItsCharactersAndTheTurnaround) {
  SimOptions o;
  o.line_timing = true;
  o.turnaround_ms = 5;
  RunningSim sim(o);
  Client client(sim.Path());
  ASSERT_EQ(client.ReadValue("dev"), "VESK");  // settle
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(client.ReadValue("dev"), "VESK");
  double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  // "VESK": 10 bytes, 22 characters of 10 bits at 9600 baud, and 5 ms.
  double line = LineTimeMs(sim.device().network(), 22) + 5;
  EXPECT_NEAR(line, 27.9, 0.1);
  EXPECT_GE(ms, line);
  EXPECT_LT(ms, line + 100);
  // As on a line, the answer begins once the turnaround and its first character are over,
  // long before its end (the best of three, against a busy machine).
  link::Parameter dev("dev");
  double first_ms = 1e9;
  for (int i = 0; i < 3; ++i) {
    const link::BusScanReply r = client.link().BusScanRead(16, dev, 0);
    ASSERT_TRUE(r.answered) << r.error;
    first_ms = std::min(first_ms, r.first_char_ms);
  }
  EXPECT_GE(first_ms, 5.0);
  EXPECT_LT(first_ms, line - 10);
}

}  // namespace
}  // namespace vesk::sim::test
