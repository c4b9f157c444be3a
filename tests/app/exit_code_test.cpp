#include "app/exit_code.h"

#include <gtest/gtest.h>

#include "link/exit_status.h"

using namespace vesk::app;

TEST(ExitCode, LowestSetBitWins) {
  struct Case {
    uint32_t status;
    int ordinary;
    int code;
  };
  const Case cases[] = {
      {0x00, 0, 0},  // nothing recorded: the ordinary exit status
      {0x00, 3, 3},  // whatever the platform would return
      {exitbit::kWriteFileMissing, 0, 200},
      {exitbit::kPortOpen, 0, 201},
      {exitbit::kNoAnswer, 0, 202},
      {exitbit::kWrongSettings, 0, 203},
      {exitbit::kDeviceError, 0, 204},
      {exitbit::kCancelled, 0, 205},
      {exitbit::kLinkCheck, 0, 206},
      {exitbit::kUnwrittenValues, 0, 207},
      {0x08 | 0x80, 0, 203},
      {0x02 | 0x04, 0, 201},  // port not opened and no answer: the port decides
      {0x04 | 0x40, 0, 202},
      {0x20 | 0x40, 0, 205},
      {0x7f, 0, 200},
      {0x40, 7, 206},   // a failure is never hidden behind the ordinary status
      {0x100, 0, 208},  // bits nobody records still report a failure
      {0x80000000u, 0, 231},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    EXPECT_EQ(ChooseExitCode(c.status, c.ordinary), c.code);
  }
}

TEST(ExitCode, ProcessCodeFollowsTheSharedStatus) {
  const uint32_t saved = vesk::link::exit_status.exchange(0);
  EXPECT_EQ(ProcessExitCode(), 0);
  EXPECT_EQ(ProcessExitCode(1), 1);
  vesk::link::exit_status = exitbit::kPortOpen;
  vesk::link::exit_status |= exitbit::kLinkCheck;
  EXPECT_EQ(ProcessExitCode(), 201);
  vesk::link::exit_status &= ~exitbit::kPortOpen;  // the port opened at a later attempt
  EXPECT_EQ(ProcessExitCode(), 206);
  vesk::link::exit_status = saved;
}
