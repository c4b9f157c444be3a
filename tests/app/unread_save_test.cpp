// An unattended read whose file keeps parameters it could not read: no window is there to
// ask before the save, so the run says it on stderr.

#include <gtest/gtest.h>

#include "app/document.h"
#include "process_support.h"

namespace vesk::app::test {
namespace {

TEST(UnreadSave, HeadlessReadLogsHowManyParametersItSavedUnread) {
  TempDir dir;
  Simulator sim(dir, {"--bps", "115200", "--bad-data=0.2", "--seed=5"});
  const RunResult r = RunConfigurator(
      dir, {"--port=" + sim.pty(), "/bps:115200/read/close", "out.vesk"}, std::chrono::seconds(60));
  EXPECT_TRUE(FileExists(dir / "out.vesk")) << r.err;
  const size_t at = r.err.find(kUnreadSavedText);
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_EQ(r.err.substr(at + std::string(kUnreadSavedText).size(), 9), "out.vesk\n");
}

}  // namespace
}  // namespace vesk::app::test
