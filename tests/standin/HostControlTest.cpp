#include <gtest/gtest.h>
#include <vorm/Utility.h>

#include <cstring>

#include "standin/HostControl.h"

namespace {

TEST(HostControlTest, AssertReportsReachTheInstalledHandler) {
  std::vector<standin::AssertReport> seen;
  standin::SetAssertHandler([&](const standin::AssertReport& r) { seen.push_back(r); });
  standin::ClearAssertReports();
  VORM_ReportAssert("x != 0", "KVOSomething");
  standin::SetAssertHandler({});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].fCondition, "x != 0");
  EXPECT_EQ(seen[0].fSource, "KVOSomething");
  EXPECT_EQ(standin::AssertReports().size(), 1u);
}

TEST(HostControlTest, SystemFieldsAreStoredInTheSystemArea) {
  standin::SetSystemField(VORM_SYS_TIMEOUT_FIELD, -1);
  int64_t stored = 0;
  std::memcpy(&stored, static_cast<char*>(pvGetCmnSys()) + VORM_SYS_TIMEOUT_FIELD, sizeof stored);
  EXPECT_EQ(stored, -1);
  EXPECT_EQ(standin::SystemField(VORM_SYS_TIMEOUT_FIELD), -1);
  EXPECT_NE(pvGetCmnSys(), pvGetCmnBox());
}

}  // namespace
