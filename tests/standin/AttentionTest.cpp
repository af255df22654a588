#include <gtest/gtest.h>
#include <vorm/Utility.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <ctime>

#include "standin/HostControl.h"

namespace {

class StandinAttentionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::ClearInterrupt();
    standin::InterruptAfterPolls(-1);
    standin::SetSystemField(VORM_SYS_TIMEOUT_FIELD, 0);
  }
  void TearDown() override {
    standin::ClearInterrupt();
    standin::InterruptAfterPolls(-1);
    standin::UseRealClocks();
  }
  static int64_t Poll() {
    int64_t pending = -7;
    ATNCHK(&pending);
    return pending;
  }
};

TEST_F(StandinAttentionTest, AtnjmpLeavesOnlyWhenSomethingIsPending) {
  EXPECT_NO_THROW(ATNJMP(Workspace()));

  standin::RequestInterrupt();
  try {
    ATNJMP(Workspace());
    ADD_FAILURE() << "ATNJMP returned with an interruption pending";
  } catch (const standin::HostInterrupt& e) {
    EXPECT_FALSE(e.fTimeOut);
  }
  EXPECT_FALSE(standin::InterruptPending()) << "leaving consumes the interruption";
  EXPECT_NO_THROW(ATNJMP(Workspace()));

  standin::SetSystemField(VORM_SYS_TIMEOUT_FIELD, -1);
  try {
    ATNJMP(Workspace());
    ADD_FAILURE() << "ATNJMP returned with a time-out marked";
  } catch (const standin::HostInterrupt& e) {
    EXPECT_TRUE(e.fTimeOut);
  }
  EXPECT_EQ(standin::SystemField(VORM_SYS_TIMEOUT_FIELD), 0);
  EXPECT_NO_THROW(ATNJMP(Workspace()));

  // Any other value of the field is no time-out.
  standin::SetSystemField(VORM_SYS_TIMEOUT_FIELD, 1);
  EXPECT_NO_THROW(ATNJMP(Workspace()));
  standin::SetSystemField(VORM_SYS_TIMEOUT_FIELD, 0);
}

TEST_F(StandinAttentionTest, SigintRequestsAnInterruption) {
  standin::InstallInterruptSignalHandler();
  ASSERT_EQ(std::raise(SIGINT), 0);
  EXPECT_TRUE(standin::InterruptPending());
  EXPECT_NE(Poll(), 0);
}

// (The fake clocks are exercised by the stop processors' tests.)
TEST_F(StandinAttentionTest, RealClocksFollowTheSystem) {
  const int64_t before = static_cast<int64_t>(std::time(nullptr));
  const int64_t calendar = VORM_CalendarTime();
  EXPECT_GE(calendar, before);
  EXPECT_LE(calendar, static_cast<int64_t>(std::time(nullptr)));

  const auto clockMs = [] { return static_cast<int64_t>(std::clock()) * 1000 / CLOCKS_PER_SEC; };
  const int64_t low = clockMs();
  const int32_t process = VORM_ProcessClockMs();
  const int64_t high = clockMs();
  EXPECT_GE(process, low);
  EXPECT_LE(process, high);

  // The elapsed clock is the monotonic clock less a fixed start: every
  // reading, taken between two of the monotonic clock, puts that start in
  // the same place (within the rounding to milliseconds).
  const auto steadyMs = [] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
  int64_t latestStart = INT64_MIN, earliestStart = INT64_MAX;
  int32_t previous = 0;
  for (int i = 0; i < 3; ++i) {
    const int64_t earlier = steadyMs();
    const int32_t elapsed = VORM_ElapsedClockMs();
    const int64_t later = steadyMs();
    EXPECT_GE(elapsed, previous);
    previous = elapsed;
    latestStart = std::max(latestStart, earlier - elapsed - 1);
    earliestStart = std::min(earliestStart, later - elapsed + 1);
  }
  EXPECT_LE(latestStart, earliestStart);
}

}  // namespace
