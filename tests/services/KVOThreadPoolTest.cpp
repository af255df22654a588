#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "kvoadapter/KVOThreadFactory.h"
#include "kvoadapter/KVOThreadPool.h"
#include "standin/HostControl.h"

namespace {

using QorThread::IQorThreadTask;

#ifdef __SANITIZE_THREAD__
constexpr int RUNS = 20;  // the race detector slows every access
#else
constexpr int RUNS = 200;
#endif

static_assert(!std::is_copy_constructible_v<KVOThreadPool> && !std::is_copy_assignable_v<KVOThreadPool>);

class CountingTask : public IQorThreadTask {
 public:
  void Run() override { fRuns.fetch_add(1, std::memory_order_relaxed); }
  std::atomic<int> fRuns{0};
};

// Records the order of its runs and the thread of each; for one-thread runs.
class OrderTask : public IQorThreadTask {
 public:
  OrderTask(int index, std::vector<int>* order, std::vector<std::thread::id>* threads)
      : fIndex(index), fpOrder(order), fpThreads(threads) {}
  void Run() override {
    fpOrder->push_back(fIndex);
    fpThreads->push_back(std::this_thread::get_id());
  }

 private:
  int fIndex;
  std::vector<int>* fpOrder;
  std::vector<std::thread::id>* fpThreads;
};

struct TaskSet {
  explicit TaskSet(int n) {
    for (int i = 0; i < n; ++i) fvOwned.push_back(std::make_unique<CountingTask>());
    for (auto& task : fvOwned) fvTasks.push_back(task.get());
  }
  std::vector<std::unique_ptr<CountingTask>> fvOwned;
  std::vector<IQorThreadTask*> fvTasks;
};

TEST(KVOThreadPoolTest, RunsEveryTaskExactlyOnceOverManyRuns) {
  for (int nThreads : {1, 2, 8}) {
    KVOThreadPool pool(nThreads);
    ASSERT_EQ(pool.GetNThreads(), nThreads);
    std::vector<int> counts = {0, 1, nThreads, 50 * nThreads};
    if (nThreads > 2) counts.push_back(nThreads - 1);
    for (int nTasks : counts) {
      TaskSet set(nTasks);
      for (int run = 0; run < RUNS; ++run) ASSERT_TRUE(pool.RunParallelTasks(set.fvTasks));
      for (int i = 0; i < nTasks; ++i) {
        ASSERT_EQ(set.fvOwned[i]->fRuns.load(), RUNS)
            << nThreads << " threads, " << nTasks << " tasks, task " << i;
      }
    }
  }
}

TEST(KVOThreadPoolTest, OneThreadRunsEverythingOnTheCallerInIndexOrder) {
  KVOThreadFactory factory;
  for (int requested : {1, 0, -4}) {
    std::unique_ptr<QorThread::IQorThreadPool> created(factory.CreateThreadPool(requested));
    auto* pool = dynamic_cast<KVOThreadPool*>(created.get());
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->GetNThreads(), 1) << "requested " << requested;

    std::vector<int> order;
    std::vector<std::thread::id> threads;
    std::vector<std::unique_ptr<OrderTask>> owned;
    std::vector<IQorThreadTask*> tasks;
    for (int i = 0; i < 6; ++i) {
      owned.push_back(std::make_unique<OrderTask>(i, &order, &threads));
      tasks.push_back(owned.back().get());
    }
    ASSERT_TRUE(pool->RunParallelTasks(tasks));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    for (std::thread::id id : threads) EXPECT_EQ(id, std::this_thread::get_id());
  }
}

TEST(KVOThreadPoolTest, TasksSharingALockReachTheExactTotal) {
  KVOThreadFactory factory;
  std::unique_ptr<QorThread::IQorThreadLock> lock(factory.CreateThreadLock());
  long total = 0;  // guarded by `lock` only
  std::atomic<int> failedLocks{0};

  class AddingTask : public IQorThreadTask {
   public:
    AddingTask(QorThread::IQorThreadLock* lock, long* total, std::atomic<int>* failed)
        : fpLock(lock), fpTotal(total), fpFailed(failed) {}
    void Run() override {
      for (int i = 0; i < 500; ++i) {
        if (!fpLock->Lock()) fpFailed->fetch_add(1);
        *fpTotal += 1;
        if (!fpLock->Unlock()) fpFailed->fetch_add(1);
      }
    }

   private:
    QorThread::IQorThreadLock* fpLock;
    long* fpTotal;
    std::atomic<int>* fpFailed;
  };

  std::vector<std::unique_ptr<AddingTask>> owned;
  std::vector<IQorThreadTask*> tasks;
  for (int i = 0; i < 40; ++i) {
    owned.push_back(std::make_unique<AddingTask>(lock.get(), &total, &failedLocks));
    tasks.push_back(owned.back().get());
  }
  std::unique_ptr<QorThread::IQorThreadPool> pool(factory.CreateThreadPool(8));
  for (int run = 0; run < 10; ++run) ASSERT_TRUE(pool->RunParallelTasks(tasks));
  EXPECT_EQ(total, 10L * 40 * 500);
  EXPECT_EQ(failedLocks.load(), 0);
}

// Takes tasks away from the pool's hand-out through GetCurrentTask.
class ClaimingTask : public IQorThreadTask {
 public:
  ClaimingTask(KVOThreadPool* pool, bool runClaimed) : fpPool(pool), fbRunClaimed(runClaimed) {}
  void Run() override {
    fRuns.fetch_add(1);
    if (!fbRunClaimed) {
      fpClaimed = fpPool->GetCurrentTask();
      return;
    }
    while (IQorThreadTask* task = fpPool->GetCurrentTask()) task->Run();
  }
  std::atomic<int> fRuns{0};
  IQorThreadTask* fpClaimed = nullptr;

 private:
  KVOThreadPool* fpPool;
  bool fbRunClaimed;
};

TEST(KVOThreadPoolTest, GetCurrentTaskClaimsTheNextTaskOnlyDuringARun) {
  KVOThreadPool one(1);
  EXPECT_EQ(one.GetCurrentTask(), nullptr) << "before any run";

  // One thread: the first task claims the second, so the pool goes on with
  // the third.
  TaskSet set(3);
  ClaimingTask claimer(&one, false);
  set.fvTasks[0] = &claimer;
  ASSERT_TRUE(one.RunParallelTasks(set.fvTasks));
  EXPECT_EQ(claimer.fRuns.load(), 1);
  EXPECT_EQ(claimer.fpClaimed, set.fvTasks[1]);
  EXPECT_EQ(set.fvOwned[1]->fRuns.load(), 0);
  EXPECT_EQ(set.fvOwned[2]->fRuns.load(), 1);
  EXPECT_EQ(one.GetCurrentTask(), nullptr) << "after a run";

  // Several threads: whatever a task claims, no pool thread runs it.
  KVOThreadPool four(4);
  TaskSet many(200);
  ClaimingTask grabber(&four, false);
  many.fvTasks[0] = &grabber;
  ASSERT_TRUE(four.RunParallelTasks(many.fvTasks));
  int total = 0;
  for (int i = 1; i < 200; ++i) {
    const int runs = many.fvOwned[i]->fRuns.load();
    EXPECT_EQ(runs, many.fvTasks[i] == grabber.fpClaimed ? 0 : 1) << "task " << i;
    total += runs;
  }
  EXPECT_EQ(total, grabber.fpClaimed ? 198 : 199);

  // A task that runs everything it claims: each task still runs once.
  TaskSet drained(300);
  ClaimingTask drainer(&four, true);
  drained.fvTasks[0] = &drainer;
  for (int run = 0; run < 10; ++run) ASSERT_TRUE(four.RunParallelTasks(drained.fvTasks));
  EXPECT_EQ(drainer.fRuns.load(), 10);
  for (int i = 1; i < 300; ++i) ASSERT_EQ(drained.fvOwned[i]->fRuns.load(), 10) << "task " << i;
  EXPECT_EQ(four.GetCurrentTask(), nullptr);
}

TEST(KVOThreadPoolTest, NullEntryEndsTheClaimingThreadsWork) {
  KVOThreadPool pool(1);
  TaskSet set(3);
  set.fvTasks[1] = nullptr;
  EXPECT_TRUE(pool.RunParallelTasks(set.fvTasks));
  EXPECT_EQ(set.fvOwned[0]->fRuns.load(), 1);
  EXPECT_EQ(set.fvOwned[2]->fRuns.load(), 0);
}

TEST(KVOThreadPoolTest, PoolDestroyedRightAfterARunLosesNoTask) {
  TaskSet set(12);
  for (int i = 0; i < RUNS / 4; ++i) {
    KVOThreadPool pool(4);
    ASSERT_TRUE(pool.RunParallelTasks(set.fvTasks));
  }
  for (auto& task : set.fvOwned) EXPECT_EQ(task->fRuns.load(), RUNS / 4);
  // A pool that never ran is destroyed as cleanly.
  for (int i = 0; i < 10; ++i) KVOThreadPool idle(3);
}

// Counts its runs, then throws an exception with its own text.
class ThrowingTask : public IQorThreadTask {
 public:
  explicit ThrowingTask(const char* what) : fWhat(what) {}
  void Run() override {
    fRuns.fetch_add(1, std::memory_order_relaxed);
    throw std::runtime_error(fWhat);
  }
  std::atomic<int> fRuns{0};

 private:
  const char* fWhat;
};

TEST(KVOThreadPoolTest, TaskExceptionsLetEveryTaskRunAndTheFirstReachesTheCaller) {
  for (int nThreads : {1, 4}) {
    SCOPED_TRACE(nThreads);
    KVOThreadPool pool(nThreads);
    TaskSet set(100);
    ThrowingTask early("task 1 failed");
    ThrowingTask late("task 60 failed");
    set.fvTasks[1] = &early;
    set.fvTasks[60] = &late;
    try {
      pool.RunParallelTasks(set.fvTasks);
      ADD_FAILURE() << "the tasks' exception was lost";
    } catch (const std::runtime_error& e) {
      // One thread meets task 1 first; with several either may be first.
      if (nThreads == 1) {
        EXPECT_STREQ(e.what(), "task 1 failed");
      } else {
        EXPECT_TRUE(std::string(e.what()) == "task 1 failed" || std::string(e.what()) == "task 60 failed");
      }
    }
    EXPECT_EQ(early.fRuns.load(), 1);
    EXPECT_EQ(late.fRuns.load(), 1);
    for (int i = 0; i < 100; ++i) {
      if (i != 1 && i != 60) {
        EXPECT_EQ(set.fvOwned[i]->fRuns.load(), 1) << "task " << i;
      }
    }
    // The pool is idle and whole again.
    EXPECT_EQ(pool.GetCurrentTask(), nullptr);
    TaskSet again(20);
    EXPECT_TRUE(pool.RunParallelTasks(again.fvTasks));
    for (auto& task : again.fvOwned) EXPECT_EQ(task->fRuns.load(), 1);
  }
}

TEST(KVOThreadPoolTest, RunEnteredAgainFromATaskIsReportedAndRunOnTheCaller) {
  std::vector<standin::AssertReport> reports;
  standin::SetAssertHandler([&](const standin::AssertReport& r) { reports.push_back(r); });

  class NestingTask : public IQorThreadTask {
   public:
    NestingTask(KVOThreadPool* pool, std::vector<IQorThreadTask*>* inner) : fpPool(pool), fpInner(inner) {}
    void Run() override {
      fResult = fpPool->RunParallelTasks(*fpInner);
      fThread = std::this_thread::get_id();
    }
    bool fResult = false;
    std::thread::id fThread;

   private:
    KVOThreadPool* fpPool;
    std::vector<IQorThreadTask*>* fpInner;
  };

  KVOThreadPool pool(1);
  TaskSet inner(5);
  NestingTask nesting(&pool, &inner.fvTasks);
  TaskSet outer(3);
  outer.fvTasks[0] = &nesting;
  EXPECT_TRUE(pool.RunParallelTasks(outer.fvTasks));
  standin::SetAssertHandler({});

  EXPECT_TRUE(nesting.fResult);
  for (auto& task : inner.fvOwned) EXPECT_EQ(task->fRuns.load(), 1);
  EXPECT_EQ(outer.fvOwned[1]->fRuns.load(), 1);
  EXPECT_EQ(outer.fvOwned[2]->fRuns.load(), 1);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].fCondition, "fpTasks == 0");
  EXPECT_EQ(reports[0].fSource, "KVOThreadPool");
}

}  // namespace
