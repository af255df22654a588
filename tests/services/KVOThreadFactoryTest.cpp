#include <gtest/gtest.h>

#include <memory>

#include "kvoadapter/KVOThreadFactory.h"
#include "kvoadapter/KVOThreadLock.h"
#include "kvoadapter/KVOThreadPool.h"

namespace {

TEST(KVOThreadFactoryTest, MakesANewPoolOrLockOnEveryCall) {
  KVOThreadFactory factory;
  KVOThreadFactory copy(factory);  // stateless: a copy makes the same things
  std::unique_ptr<QorThread::IQorThreadPool> three(factory.CreateThreadPool(3));
  std::unique_ptr<QorThread::IQorThreadPool> other(copy.CreateThreadPool(3));
  auto* pool = dynamic_cast<KVOThreadPool*>(three.get());
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(pool->GetNThreads(), 3);
  EXPECT_NE(three.get(), other.get());
  for (int requested : {0, -1, -100}) {
    std::unique_ptr<QorThread::IQorThreadPool> small(factory.CreateThreadPool(requested));
    auto* one = dynamic_cast<KVOThreadPool*>(small.get());
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->GetNThreads(), 1) << "requested " << requested;
  }

  std::unique_ptr<QorThread::IQorThreadLock> first(factory.CreateThreadLock());
  std::unique_ptr<QorThread::IQorThreadLock> second(factory.CreateThreadLock());
  ASSERT_NE(dynamic_cast<KVOThreadLock*>(first.get()), nullptr);
  EXPECT_NE(first.get(), second.get());
  // Distinct locks: holding one does not hold the other.
  ASSERT_TRUE(first->Lock());
  EXPECT_TRUE(second->Lock());
  EXPECT_TRUE(second->Unlock());
  EXPECT_TRUE(first->Unlock());
}

}  // namespace
