// A line reached through the real ser2net, raw and RFC 2217: a server that goes in the
// middle of a task is a lost port like a vanished adapter, and the next command connects
// again once it is back.

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "exchange/task_commands.h"
#include "ser2net_process.h"

using namespace vesk;
using namespace vesk::test;

namespace {

class RemoteLine : public EngineTest, public ::testing::WithParamInterface<bool> {
 protected:
  std::string PortName(const Ser2netProcess& server) const {
    return GetParam() ? server.Rfc2217Name() : server.RawName();
  }
};

TEST_P(RemoteLine, ServerThatGoesIsALostPortAndTheNextCommandConnectsAgain) {
  if (Ser2netPath().empty()) GTEST_SKIP() << "ser2net is not installed (Debian package ser2net)";
  sim = std::make_unique<SimProcess>(folder, std::vector<std::string>{"--bps", "115200"});
  ASSERT_TRUE(sim->Ok()) << sim->error();
  auto server = std::make_unique<Ser2netProcess>(folder, sim->path(), "115200n81");
  ASSERT_TRUE(server->Ok()) << server->error();
  const std::string name = PortName(*server);
  engine->program_line().SetValue("Port", name);
  engine->program_line().SetValue("bPS", "115200");
  engine->port().set_converter_mode(link::kConverterAuto);
  ASSERT_EQ(engine->OpenPort(false), link::kOpenOk);
  ASSERT_EQ(engine->StartTransmitThread(), 0);
  LoadTree();

  int reads = 0;
  progress.on_line = [&](const exchange::ProgressLine& line) {
    if (line.text.rfind("  Чтение: ", 0) == 0 && ++reads == 20) server->Kill();
  };
  ASSERT_TRUE(engine->RunTask(tree.root.get(), exchange::kTaskReadAll));
  // Stopped by the failure streak with the reason, not walked to the end.
  EXPECT_LT(reads, 30);
  const auto shown = messages.messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].text.find("Порт " + name + " потерян: "), std::string::npos) << shown[0].text;
  EXPECT_EQ(progress.Texts().back().rfind("Задание не выполнено для ", 0), 0u)
      << progress.Texts().back();

  // The server back on the same ports: the next command connects, no set-up needed.
  progress.on_line = nullptr;
  const uint16_t raw = server->raw_port(), telnet = server->telnet_port();
  server = std::make_unique<Ser2netProcess>(folder, sim->path(), "115200n81", raw, telnet);
  ASSERT_TRUE(server->Ok()) << server->error();
  engine->modes().auto_read.store(true);
  ASSERT_TRUE(engine->RunTask(tree.root.get(), exchange::kTaskReadAll));
  EXPECT_EQ(progress.Texts().back(), exchange::kTaskDoneText);
  EXPECT_TRUE(engine->port().IsOpen());
  EXPECT_EQ(engine->line_state().condition(), exchange::LineCondition::kConnected);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RemoteLine, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Rfc2217" : "RawTcp"; });

}  // namespace
