#include <gtest/gtest.h>

#include <thread>
#include <type_traits>
#include <vector>

#include "kvoadapter/KVOThreadLock.h"

namespace {

static_assert(!std::is_copy_constructible_v<KVOThreadLock> && !std::is_copy_assignable_v<KVOThreadLock>);

TEST(KVOThreadLockTest, ExcludesOtherThreads) {
  KVOThreadLock lock;
  long total = 0;
  bool allTrue = true;
  std::vector<std::thread> threads;
  std::vector<char> ok(4, 1);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        if (!lock.Lock()) ok[t] = 0;
        ++total;
        if (!lock.Unlock()) ok[t] = 0;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (char c : ok) allTrue = allTrue && c;
  EXPECT_TRUE(allTrue);
  EXPECT_EQ(total, 8000);
}

TEST(KVOThreadLockTest, ReportsTheHostsRefusalAsFalse) {
  KVOThreadLock lock;
  EXPECT_FALSE(lock.Unlock()) << "not held";
  ASSERT_TRUE(lock.Lock());
  EXPECT_FALSE(lock.Lock()) << "held by the caller already";
  bool foreign = true;
  std::thread([&] { foreign = lock.Unlock(); }).join();
  EXPECT_FALSE(foreign) << "held by another thread";
  EXPECT_TRUE(lock.Unlock());
}

}  // namespace
