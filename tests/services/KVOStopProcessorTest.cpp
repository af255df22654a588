#include <gtest/gtest.h>
#include <vorm/ProcOutput.h>
#include <vorm/Utility.h>

#include "kvoadapter/KVOStopProcessor.h"
#include "standin/HostControl.h"

namespace {

// Every case starts with fake clocks, no pending interruption, no marked
// time-out and an empty message log.
class KVOStopProcessorTest : public ::testing::Test {
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

TEST_F(KVOStopProcessorTest, LimitExpiresWhenTheProcessClockReachesIt) {
  KVOStopProcessor stop(2.5);
  EXPECT_FALSE(stop.CheckCancel());
  // The calendar clock is not this class's clock.
  standin::AdvanceFakeClocks(2499, 100);
  EXPECT_FALSE(stop.CheckCancel());
  EXPECT_FALSE(stop.GetCancel());
  standin::AdvanceFakeClocks(1, 0);
  EXPECT_TRUE(stop.CheckCancel());
  EXPECT_TRUE(stop.CheckCancel()) << "checking changes nothing";
  EXPECT_TRUE(standin::Messages().empty());

  // The start is measured from construction, not from the first check.
  KVOStopProcessor later(1.0);
  standin::AdvanceFakeClocks(999, 0);
  EXPECT_FALSE(later.CheckCancel());
  standin::AdvanceFakeClocks(1, 0);
  EXPECT_TRUE(later.CheckCancel());

  // Elapsed time is a 32-bit tick difference, so it survives the wrap.
  standin::SetFakeClocks(INT32_MAX - 1000, 0);
  KVOStopProcessor wrapping(2.0);
  standin::AdvanceFakeClocks(1999, 0);
  EXPECT_FALSE(wrapping.CheckCancel());
  standin::AdvanceFakeClocks(1, 0);
  EXPECT_TRUE(wrapping.CheckCancel());
}

TEST_F(KVOStopProcessorTest, NoLimitAtZeroOrBelow) {
  KVOStopProcessor byDefault;
  KVOStopProcessor zero(0.0);
  KVOStopProcessor negative(-5.0);
  standin::AdvanceFakeClocks(1000000000, 1000000);
  for (KVOStopProcessor* stop : {&byDefault, &zero, &negative}) {
    EXPECT_FALSE(stop->CheckCancel());
    EXPECT_FALSE(stop->GetCancel());
  }
  EXPECT_TRUE(standin::Messages().empty());
  EXPECT_EQ(standin::SystemField(VORM_SYS_TIMEOUT_FIELD), 0);
}

TEST_F(KVOStopProcessorTest, CheckCancelAsksTheHostOnlyWithinTheLimit) {
  KVOStopProcessor stop(10.0);
  standin::RequestInterrupt();
  EXPECT_TRUE(stop.CheckCancel());
  EXPECT_TRUE(standin::InterruptPending()) << "checking leaves the interruption pending";
  standin::ClearInterrupt();
  EXPECT_FALSE(stop.CheckCancel());

  // Each check within the limit is one poll of the host.
  standin::InterruptAfterPolls(1);
  EXPECT_FALSE(stop.CheckCancel());
  EXPECT_TRUE(stop.CheckCancel());
  standin::ClearInterrupt();

  // Once the limit has expired the host is not polled.
  standin::InterruptAfterPolls(0);
  standin::AdvanceFakeClocks(10000, 0);
  EXPECT_TRUE(stop.CheckCancel());
  EXPECT_FALSE(standin::InterruptPending());
}

TEST_F(KVOStopProcessorTest, GetCancelAfterExpiryReportsTheTimeOutAndLeaves) {
  KVOStopProcessor stop(2.5);
  standin::AdvanceFakeClocks(2500, 0);
  for (int call = 1; call <= 2; ++call) {
    try {
      stop.GetCancel();
      ADD_FAILURE() << "GetCancel returned after a time-out";
    } catch (const standin::HostInterrupt& e) {
      // The host sees the time-out only through the marked field.
      EXPECT_TRUE(e.fTimeOut);
    }
    const std::vector<standin::HostMessage> messages = standin::Messages();
    ASSERT_EQ(messages.size(), static_cast<size_t>(call));
    EXPECT_EQ(messages.back().fText, "Time out termination ...");
    EXPECT_EQ(messages.back().fShow, BpShowFull);
    EXPECT_EQ(messages.back().fLevel, BpLevelError);
  }
}

TEST_F(KVOStopProcessorTest, GetCancelLeavesOnAPendingInterruption) {
  KVOStopProcessor stop(0.0);
  EXPECT_FALSE(stop.GetCancel());
  standin::RequestInterrupt();
  try {
    stop.GetCancel();
    ADD_FAILURE() << "GetCancel returned with an interruption pending";
  } catch (const standin::HostInterrupt& e) {
    EXPECT_FALSE(e.fTimeOut);
  }
  EXPECT_TRUE(standin::Messages().empty());
  EXPECT_EQ(standin::SystemField(VORM_SYS_TIMEOUT_FIELD), 0);
}

TEST_F(KVOStopProcessorTest, CopyMeasuresFromTheSourcesStart) {
  KVOStopProcessor source(2.5);
  standin::AdvanceFakeClocks(2000, 0);
  KVOStopProcessor copy(source);
  KVOStopProcessor assigned(100.0);
  assigned = source;
  standin::AdvanceFakeClocks(499, 0);
  EXPECT_FALSE(copy.CheckCancel());
  EXPECT_FALSE(assigned.CheckCancel());
  standin::AdvanceFakeClocks(1, 0);
  EXPECT_TRUE(copy.CheckCancel());
  EXPECT_TRUE(assigned.CheckCancel());
}

}  // namespace
