#include <gtest/gtest.h>
#include <vorm/Threads.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Counts its executions and its destruction in counters that outlive it.
class CountingCallBack : public CallBackObject {
 public:
  CountingCallBack(std::atomic<int>* executed, std::atomic<int>* destroyed)
      : CallBackObject(nullptr), fpExecuted(executed), fpDestroyed(destroyed) {}
  ~CountingCallBack() override { fpDestroyed->fetch_add(1); }
  int execute(void* argument) override {
    fpArgument = argument;
    fWorker = std::this_thread::get_id();
    fpExecuted->fetch_add(1);
    return 0;
  }
  void* fpArgument = nullptr;
  std::thread::id fWorker;

 private:
  std::atomic<int>* fpExecuted;
  std::atomic<int>* fpDestroyed;
};

TEST(StandinThreadsTest, MutexExcludesOtherThreadsAndRefusesMisuse) {
  LwMutex mutex;
  long total = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        mutex.lock(LockExclusive, nullptr, 0);
        ++total;
        mutex.unlock(nullptr, 0);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(total, 20000);

  // Misuse fails instead of deadlocking or unlocking someone else's lock.
  EXPECT_EQ(mutex.unlock("test", 1), LwFailure);
  EXPECT_EQ(mutex.lock(static_cast<LockType>(7), "test", 2), LwFailure);
  ASSERT_EQ(mutex.lock(LockExclusive, "test", 3), LwSuccess);
  EXPECT_EQ(mutex.lock(LockExclusive, "test", 4), LwFailure);
  ErrorCode foreignUnlock = LwSuccess;
  std::thread([&] { foreignUnlock = mutex.unlock("other thread", 5); }).join();
  EXPECT_EQ(foreignUnlock, LwFailure);
  EXPECT_EQ(mutex.unlock("test", 6), LwSuccess);
}

TEST(StandinThreadsTest, CompleteTaskWaitsForAsManySignalsAsSet) {
  LwCompleteTask counter(0);
  counter.wait();  // nothing expected: returns at once

  std::atomic<int> sent{0};
  for (int round = 0; round < 20; ++round) {
    counter.reset(3);
    sent.store(0);
    int seenOnReturn = -1;
    std::thread waiter([&] {
      counter.wait();
      seenOnReturn = sent.load();
    });
    for (int i = 0; i < 3; ++i) {
      sent.fetch_add(1);
      counter.done();
    }
    waiter.join();
    EXPECT_EQ(seenOnReturn, 3) << "round " << round;
  }
}

TEST(StandinThreadsTest, PoolRunsEverySubmissionOnAWorkerAndDeletesOnlyWhenNotKeeping) {
  std::atomic<int> executed{0};
  std::atomic<int> destroyed{0};
  int argument = 0;
  {
    LwThreadPool pool(3, 0);
    ASSERT_TRUE(pool.init());
    for (int i = 0; i < 200; ++i)
      ASSERT_TRUE(pool.submit(new CountingCallBack(&executed, &destroyed), &argument, 1));
    // Destruction finishes the submitted work before it joins.
  }
  EXPECT_EQ(executed.load(), 200);
  EXPECT_EQ(destroyed.load(), 200);

  executed = 0;
  destroyed = 0;
  std::vector<std::unique_ptr<CountingCallBack>> kept;
  for (int i = 0; i < 50; ++i) kept.push_back(std::make_unique<CountingCallBack>(&executed, &destroyed));
  {
    LwThreadPool pool(2, 0);
    pool.setKeepMessageData(true);
    ASSERT_TRUE(pool.init());
    for (auto& callback : kept) ASSERT_TRUE(pool.submit(callback.get(), &argument, 1));
  }
  EXPECT_EQ(executed.load(), 50);
  EXPECT_EQ(destroyed.load(), 0);
  for (auto& callback : kept) {
    EXPECT_EQ(callback->fpArgument, &argument);
    EXPECT_NE(callback->fWorker, std::this_thread::get_id());
  }
}

TEST(StandinThreadsTest, PoolRefusesWorkNobodyWouldRun) {
  std::atomic<int> executed{0};
  std::atomic<int> destroyed{0};
  CountingCallBack callback(&executed, &destroyed);
  LwThreadPool idle(2, 0);
  idle.setKeepMessageData(true);
  EXPECT_FALSE(idle.submit(&callback, nullptr, 1)) << "before init";
  EXPECT_TRUE(idle.init());
  EXPECT_TRUE(idle.init()) << "a second init changes nothing";
  EXPECT_FALSE(idle.submit(nullptr, nullptr, 1));

  LwThreadPool workerless(0, 0);
  workerless.setKeepMessageData(true);
  EXPECT_TRUE(workerless.init());
  EXPECT_FALSE(workerless.submit(&callback, nullptr, 1));
  EXPECT_EQ(executed.load(), 0);
}

}  // namespace
