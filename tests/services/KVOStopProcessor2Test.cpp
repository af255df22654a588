#include <gtest/gtest.h>
#include <vorm/ProcOutput.h>
#include <vorm/Utility.h>

#include "kvoadapter/KVOStopProcessor2.h"
#include "standin/HostControl.h"

namespace {

class KVOStopProcessor2Test : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::SetFakeClocks(40000, 1700000000);
    standin::ClearInterrupt();
    standin::InterruptAfterPolls(-1);
    standin::SetSystemField(VORM_SYS_TIMEOUT_FIELD, 0);
    standin::SetEchoMessages(false);
    standin::ClearMessages();
  }
  void TearDown() override {
    standin::UseRealClocks();
    standin::ClearInterrupt();
    standin::InterruptAfterPolls(-1);
    standin::SetEchoMessages(true);
  }
};

TEST_F(KVOStopProcessor2Test, LimitExpiresInWholeCalendarSeconds) {
  // 2.5 s cannot be met by whole seconds: 2 is short, 3 is over.
  KVOStopProcessor2 halves(2.5);
  KVOStopProcessor2 whole(2.0);
  // The process clock is not this class's clock.
  standin::AdvanceFakeClocks(1000000, 1);
  EXPECT_FALSE(halves.CheckCancel());
  EXPECT_FALSE(whole.CheckCancel());
  standin::AdvanceFakeClocks(0, 1);
  EXPECT_FALSE(halves.CheckCancel());
  EXPECT_TRUE(whole.CheckCancel());
  standin::AdvanceFakeClocks(0, 1);
  EXPECT_TRUE(halves.CheckCancel());

  KVOStopProcessor2 none;
  KVOStopProcessor2 negative(-1.0);
  standin::AdvanceFakeClocks(0, 1000000);
  EXPECT_FALSE(none.CheckCancel());
  EXPECT_FALSE(negative.GetCancel());
  EXPECT_TRUE(standin::Messages().empty());
}

TEST_F(KVOStopProcessor2Test, CheckCancelReflectsTheHostsInterruption) {
  KVOStopProcessor2 stop(60.0);
  EXPECT_FALSE(stop.CheckCancel());
  standin::RequestInterrupt();
  EXPECT_TRUE(stop.CheckCancel());
  EXPECT_TRUE(standin::InterruptPending());
  standin::ClearInterrupt();
  EXPECT_FALSE(stop.CheckCancel());
}

TEST_F(KVOStopProcessor2Test, GetCancelReportsATimeOutOrLeavesOnAnInterruption) {
  KVOStopProcessor2 stop(3.0);
  standin::AdvanceFakeClocks(0, 2);
  EXPECT_FALSE(stop.GetCancel());
  standin::AdvanceFakeClocks(0, 1);
  for (int call = 1; call <= 3; ++call) {
    try {
      stop.GetCancel();
      ADD_FAILURE() << "GetCancel returned after a time-out";
    } catch (const standin::HostInterrupt& e) {
      EXPECT_TRUE(e.fTimeOut);
    }
    const std::vector<standin::HostMessage> messages = standin::Messages();
    ASSERT_EQ(messages.size(), static_cast<size_t>(call));
    EXPECT_EQ(messages.back().fText, "Time out termination ...");
    EXPECT_EQ(messages.back().fShow, BpShowFull);
    EXPECT_EQ(messages.back().fLevel, BpLevelError);
  }

  standin::ClearMessages();
  KVOStopProcessor2 unlimited;
  standin::RequestInterrupt();
  try {
    unlimited.GetCancel();
    ADD_FAILURE() << "GetCancel returned with an interruption pending";
  } catch (const standin::HostInterrupt& e) {
    EXPECT_FALSE(e.fTimeOut);
  }
  EXPECT_TRUE(standin::Messages().empty());
}

TEST_F(KVOStopProcessor2Test, CopyMeasuresFromTheSourcesStart) {
  KVOStopProcessor2 source(5.0);
  standin::AdvanceFakeClocks(0, 4);
  KVOStopProcessor2 copy(source);
  KVOStopProcessor2 assigned;
  assigned = source;
  EXPECT_FALSE(copy.CheckCancel());
  standin::AdvanceFakeClocks(0, 1);
  EXPECT_TRUE(copy.CheckCancel());
  EXPECT_TRUE(assigned.CheckCancel());
}

}  // namespace
