// The two stop processors: KVOStopProcessor measures its limit on the
// elapsed clock in milliseconds, KVOStopProcessor2 on the calendar clock in
// whole seconds. Both ask the host about an interruption, and leave through
// the host with a message after a time-out.
#include <gtest/gtest.h>
#include <vorm/ProcOutput.h>
#include <vorm/Utility.h>

#include "kvoadapter/KVOStopProcessor.h"
#include "kvoadapter/KVOStopProcessor2.h"
#include "standin/HostControl.h"

namespace {

// Every case starts with fake clocks, no pending interruption, no marked
// time-out and an empty message log.
class KVOStopProcessorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::SetFakeClocks(40000, 30000, 1700000000);
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

  // GetCancel leaves through the host: after a time-out with the message,
  // otherwise (an interruption) without one.
  template <typename Stop>
  static void ExpectGetCancelLeaves(Stop& stop, bool timeOut) {
    const size_t before = standin::Messages().size();
    try {
      stop.GetCancel();
      ADD_FAILURE() << "GetCancel returned";
    } catch (const standin::HostInterrupt& e) {
      EXPECT_EQ(e.fTimeOut, timeOut);  // the host sees the time-out only through the marked field
    }
    const std::vector<standin::HostMessage> messages = standin::Messages();
    ASSERT_EQ(messages.size(), before + (timeOut ? 1 : 0));
    if (timeOut) {
      EXPECT_EQ(messages.back().fText, "Time out termination ...");
      EXPECT_EQ(messages.back().fShow, BpShowFull);
      EXPECT_EQ(messages.back().fLevel, BpLevelError);
    }
  }
};

TEST_F(KVOStopProcessorTest, LimitExpiresWhenTheElapsedClockReachesIt) {
  KVOStopProcessor stop(2.5);
  EXPECT_FALSE(stop.CheckCancel());
  // Neither processor time (ten minutes of it on several threads) nor the
  // calendar clock is this class's clock.
  standin::AdvanceFakeClocks(2499, 600000, 100);
  EXPECT_FALSE(stop.CheckCancel());
  EXPECT_FALSE(stop.GetCancel());
  // Waiting: elapsed time passes while the process uses none.
  standin::AdvanceFakeClocks(1, 0, 0);
  EXPECT_TRUE(stop.CheckCancel());
  EXPECT_TRUE(stop.CheckCancel()) << "checking changes nothing";
  EXPECT_TRUE(standin::Messages().empty());
  for (int call = 0; call < 2; ++call) ExpectGetCancelLeaves(stop, true);

  // Elapsed time is a 32-bit tick difference, so it survives the wrap.
  standin::SetFakeClocks(INT32_MAX - 1000, 0, 0);
  KVOStopProcessor wrapping(2.0);
  standin::AdvanceFakeClocks(1999, 0, 0);
  EXPECT_FALSE(wrapping.CheckCancel());
  standin::AdvanceFakeClocks(1, 0, 0);
  EXPECT_TRUE(wrapping.CheckCancel());
}

TEST_F(KVOStopProcessorTest, LimitOfTheCalendarClockExpiresInWholeSeconds) {
  // 2.5 s cannot be met by whole seconds: 2 is short, 3 is over.
  KVOStopProcessor2 halves(2.5);
  KVOStopProcessor2 whole(2.0);
  standin::AdvanceFakeClocks(1000000, 1000000, 1);  // the millisecond clocks are not this class's clock
  EXPECT_FALSE(halves.CheckCancel());
  EXPECT_FALSE(whole.GetCancel());
  standin::AdvanceFakeClocks(0, 0, 1);
  EXPECT_FALSE(halves.CheckCancel());
  EXPECT_TRUE(whole.CheckCancel());
  standin::AdvanceFakeClocks(0, 0, 1);
  EXPECT_TRUE(halves.CheckCancel());
  for (int call = 0; call < 2; ++call) ExpectGetCancelLeaves(halves, true);
}

TEST_F(KVOStopProcessorTest, NoLimitAtZeroOrBelow) {
  KVOStopProcessor byDefault;
  KVOStopProcessor zero(0.0);
  KVOStopProcessor negative(-5.0);
  KVOStopProcessor2 byDefault2;
  KVOStopProcessor2 negative2(-1.0);
  standin::AdvanceFakeClocks(1000000000, 1000000000, 1000000);
  for (KVOStopProcessor* stop : {&byDefault, &zero, &negative}) {
    EXPECT_FALSE(stop->CheckCancel());
    EXPECT_FALSE(stop->GetCancel());
  }
  EXPECT_FALSE(byDefault2.CheckCancel());
  EXPECT_FALSE(negative2.GetCancel());
  EXPECT_TRUE(standin::Messages().empty());
  EXPECT_EQ(standin::SystemField(VORM_SYS_TIMEOUT_FIELD), 0);
}

TEST_F(KVOStopProcessorTest, InterruptionIsCheckedWithoutClearingItAndLeavesWithoutAMessage) {
  KVOStopProcessor stop(10.0);
  KVOStopProcessor2 stop2(60.0);
  standin::RequestInterrupt();
  EXPECT_TRUE(stop.CheckCancel());
  EXPECT_TRUE(stop2.CheckCancel());
  EXPECT_TRUE(standin::InterruptPending()) << "checking leaves the interruption pending";
  ExpectGetCancelLeaves(stop, false);
  standin::RequestInterrupt();
  ExpectGetCancelLeaves(stop2, false);
  EXPECT_FALSE(stop.CheckCancel());
  EXPECT_FALSE(stop2.CheckCancel());

  // Each check within the limit is one poll of the host; once the limit has
  // expired the host is not polled.
  standin::InterruptAfterPolls(1);
  EXPECT_FALSE(stop.CheckCancel());
  EXPECT_TRUE(stop.CheckCancel());
  standin::ClearInterrupt();
  standin::InterruptAfterPolls(0);
  standin::AdvanceFakeClocks(10000, 0, 0);
  EXPECT_TRUE(stop.CheckCancel());
  EXPECT_FALSE(standin::InterruptPending());
}

TEST_F(KVOStopProcessorTest, CopiesMeasureFromTheSourcesStart) {
  KVOStopProcessor source(2.5);
  KVOStopProcessor2 source2(5.0);
  standin::AdvanceFakeClocks(2000, 0, 4);
  KVOStopProcessor copy(source);
  KVOStopProcessor assigned(100.0);
  assigned = source;
  KVOStopProcessor2 copy2(source2);
  KVOStopProcessor2 assigned2;
  assigned2 = source2;
  standin::AdvanceFakeClocks(499, 0, 0);
  EXPECT_FALSE(copy.CheckCancel());
  EXPECT_FALSE(assigned.CheckCancel());
  EXPECT_FALSE(copy2.CheckCancel());
  standin::AdvanceFakeClocks(1, 0, 1);
  EXPECT_TRUE(copy.CheckCancel());
  EXPECT_TRUE(assigned.CheckCancel());
  EXPECT_TRUE(copy2.CheckCancel());
  EXPECT_TRUE(assigned2.CheckCancel());
}

}  // namespace
