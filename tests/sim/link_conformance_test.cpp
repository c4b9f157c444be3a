// The simulator against the configurator's own DeviceLink over a pseudo-terminal: every
// format read and written, every refusal as the configurator reports it, attributes,
// the network name, INIT and APLY, the probe protocols, and a line set differently.

#include <gtest/gtest.h>

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
  Client client_{sim_.path()};
};

struct FormatCase {
  const char* name;
  int index;
  int pollIndex;
  const char* write;
  const char* readBack;
};

class Formats : public Conformance, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(Formats, WriteThenReadGivesTheValue) {
  const FormatCase& c = GetParam();
  auto p = Client::parameter(c.name, c.index, c.pollIndex);
  ASSERT_EQ(client_.write(*p, c.write), kExchangeOk) << p->note;
  EXPECT_EQ(p->value, c.readBack);
  EXPECT_EQ(client_.read_value(c.name, c.index, c.pollIndex), c.readBack);
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
  EXPECT_EQ(client_.read_value("dev"), "VESK");
  EXPECT_EQ(client_.read_value("ver"), "1.02");
  EXPECT_EQ(client_.read_value("exit"), "сброс по питанию");
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
  auto p = Client::parameter(c.name, c.index);
  int r = c.write ? client_.write(*p, c.write) : client_.read(*p);
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
      client_.link().transact(false, link::name_hash("bPS"), &nine, 1, reply, count, error, 0));
  EXPECT_EQ(error, "Данный код не используется (прибор отверг записываемое значение)");
  uint8_t three[3] = {1, 2, 3};
  EXPECT_FALSE(
      client_.link().transact(false, link::name_hash("Alr.t"), three, 3, reply, count, error, 0));
  EXPECT_EQ(error, "Размер поля данных не соответствует ожидаемому");
  uint8_t code = 6;
  EXPECT_FALSE(
      client_.link().transact(false, link::name_hash("exit"), &code, 1, reply, count, error, 0));
  EXPECT_EQ(error, "Попытка модификации ROM-параметра");
  EXPECT_FALSE(
      client_.link().transact(false, link::name_hash("r.cn"), &code, 1, reply, count, error, 0));
  EXPECT_EQ(error, "Редактирование параметра запрещено атрибутами доступа");
  uint8_t target[2] = {0xE8, 0x94};  // "r.oe" has no attributes
  EXPECT_FALSE(
      client_.link().transact(true, link::kAttributeHash, target, 2, reply, count, error, 0));
  EXPECT_EQ(error, "У запрошенного параметра отсутствуют признаки");
}

TEST_F(Conformance, AttributesTravelWithEveryWrite) {
  auto p = Client::parameter("Cn.SP", 5);
  p->editable = true;
  p->ownedByFirm = true;  // the user hands it to the maker
  ASSERT_EQ(client_.write(*p, "7"), kExchangeOk) << p->note;
  auto back = Client::parameter("Cn.SP", 5);
  ASSERT_EQ(client_.read(*back), kExchangeOk);
  EXPECT_TRUE(back->ownedByFirm);
  EXPECT_TRUE(back->editable);
  // Taking it back is the maker's business.
  back->ownedByFirm = false;
  EXPECT_EQ(client_.write(*back, "8"), link::kExchangeAttributeFailed);
  EXPECT_EQ(back->note,
            "Несанкционированная попытка редактирования Атрибутов (попытка изменить атрибут "
            "пользователем, когда он не является хозяином параметра)");
  // A read-only parameter of the user refuses the value after taking the attributes.
  auto ro = Client::parameter("Cn.SP", 6);
  ro->editable = false;
  EXPECT_EQ(client_.write(*ro, "9"), link::kExchangeFailed);
  EXPECT_EQ(ro->note, "Редактирование параметра запрещено атрибутами доступа");
}

TEST_F(Conformance, NetworkNameIsFourIndexedCodes) {
  auto name = Client::parameter("CHAr*");
  ASSERT_EQ(client_.write(*name, "AB.C"), kExchangeOk) << name->note;
  EXPECT_EQ(client_.read_value("CHAr", 0), "20");
  EXPECT_EQ(client_.read_value("CHAr", 1), "23");
  EXPECT_EQ(client_.read_value("CHAr", 2), "24");
  EXPECT_EQ(client_.read_value("CHAr", 3), "78");
}

TEST_F(Conformance, LiveInputsCountersAndOutputs) {
  std::string first = client_.read_value("r.cn", -1, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::string second = client_.read_value("r.cn", -1, 0);
  EXPECT_NE(first, second);  // input 1 toggles every 250 ms
  auto counter = Client::parameter("r.cou", -1, 0);
  ASSERT_EQ(client_.write(*counter, "0"), kExchangeOk);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  ASSERT_EQ(client_.read(*counter), kExchangeOk);
  EXPECT_GE(std::stoi(counter->value), 1);
  EXPECT_LE(std::stoi(counter->value), 2);
  auto level = Client::parameter("r.oe", -1, 7);
  EXPECT_EQ(client_.write(*level, "1.5"), link::kExchangeFailed);  // outside 0 ... 1
}

TEST_F(Conformance, ApplySwitchesToTheStoredSettingsAtOnce) {
  auto bps = Client::parameter("bPS");
  ASSERT_EQ(client_.write(*bps, "19200"), kExchangeOk);
  EXPECT_EQ(client_.read_value("dev"), "VESK");  // stored only, still at 9600
  auto apply = Client::parameter("APLY");
  apply->value.clear();
  EXPECT_EQ(client_.link().exchange(link::kOpWrite, apply.get()), kExchangeOk);
  client_.reopen(19200);
  EXPECT_EQ(client_.read_value("dev"), "VESK");
  EXPECT_EQ(client_.read_value("bPS"), "19200");
}

TEST(ConformanceRestart, InitRestartsWithStoredSettingsAfterASilence) {
  SimOptions o;
  o.restartMs = 150;
  RunningSim sim(o);
  Client client(sim.path());
  auto sbit = Client::parameter("Sbit");
  ASSERT_EQ(client.write(*sbit, "2"), kExchangeOk);
  EXPECT_EQ(client.read_value("dev"), "VESK");  // stored only, one stop bit still
  auto init = Client::parameter("INIT");
  init->typeText = "void";
  ASSERT_EQ(client.read(*init), kExchangeOk) << init->note;
  client.reopen(9600, 2);
  auto t0 = std::chrono::steady_clock::now();
  auto exit = Client::parameter("exit");
  // The first attempts fall into the restart; the link's retries outlast it.
  ASSERT_EQ(client.read(*exit), kExchangeOk) << exit->note;
  EXPECT_EQ(exit->value, "внешний сброс");
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100));
}

TEST(ConformanceRestart, InitSwitchesToTheStoredProtocol) {
  SimOptions o;
  o.restartMs = 50;
  o.baud = 115200;
  RunningSim sim(o);
  Client client(sim.path(), 115200);
  auto prot = Client::parameter("Prot");
  ASSERT_EQ(client.write(*prot, "Modbus RTU"), kExchangeOk) << prot->note;
  EXPECT_EQ(client.read_value("dev"), "VESK");  // LORN until the restart
  auto init = Client::parameter("INIT");
  init->typeText = "void";
  ASSERT_EQ(client.read(*init), kExchangeOk);
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  client.link().set_protocol_mode(link::kProbeModbusRtu);
  EXPECT_EQ(client.link().exchange(link::kOpRead, nullptr), 0);
}

TEST(ConformanceLine, SilentWhileTheLineIsSetDifferently) {
  RunningSim sim;
  Client client(sim.path(), 19200);
  EXPECT_EQ(client.read_value("dev"), "error: Таймаут при передаче данных (нет связи)");
  client.reopen(9600, 2);
  EXPECT_EQ(client.read_value("dev"), "error: Таймаут при передаче данных (нет связи)");
  client.reopen(9600, 1);
  EXPECT_EQ(client.read_value("dev"), "VESK");
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
  Client client(sim.path(), 115200);
  if (GetParam().device == Protocol::Lorn) {
    // A LORN device answers none of the probes.
    for (uint8_t mode = link::kProbeModbusRtu; mode <= link::kProbePercent; ++mode) {
      client.link().set_protocol_mode(mode);
      EXPECT_EQ(client.link().exchange(link::kOpRead, nullptr), link::kProbeTimeout) << int(mode);
    }
    client.link().set_protocol_mode(link::kProtocolLorn);
    EXPECT_EQ(client.read_value("dev"), "VESK");
    return;
  }
  client.link().set_protocol_mode(GetParam().mode);
  EXPECT_EQ(client.link().exchange(link::kOpRead, nullptr), 0);
  client.link().set_protocol_mode(link::kProtocolLorn);
  EXPECT_EQ(client.read_value("dev"), "error: Таймаут при передаче данных (нет связи)");
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
  o.lineTiming = true;
  o.turnaroundMs = 5;
  RunningSim sim(o);
  Client client(sim.path());
  ASSERT_EQ(client.read_value("dev"), "VESK");  // settle
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(client.read_value("dev"), "VESK");
  double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  // "VESK": 10 bytes, 22 characters of 10 bits at 9600 baud, and 5 ms.
  double line = line_time_ms(sim.device().network(), 22) + 5;
  EXPECT_NEAR(line, 27.9, 0.1);
  EXPECT_GE(ms, line);
  EXPECT_LT(ms, line + 100);
}

}  // namespace
}  // namespace vesk::sim::test
