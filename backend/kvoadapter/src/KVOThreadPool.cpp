#include "kvoadapter/KVOThreadPool.h"

#include <vorm/Threads.h>

#include <climits>

#include "KVOAssert.h"
#include "KVOCallBackTask.h"

namespace {
constexpr const char* KVO_SOURCE = "KVOThreadPool";
}  // namespace

// --- KVOCallBackTask ---------------------------------------------------------

KVOCallBackTask::KVOCallBackTask(KVOThreadPool* owner, LwCompleteTask* complete)
    : CallBackObject(nullptr), fpOwner(owner), fpComplete(complete) {}

KVOCallBackTask::~KVOCallBackTask() = default;

int KVOCallBackTask::execute(void* /*argument*/) {
  if (KVO_ASSERT(fpOwner != 0)) {
    // The pool's mutex is held only inside GetCurrentTask, never while a
    // task runs. A null entry ends this thread's share like the end of work.
    // A task that throws does not stop the others: its exception is kept for
    // the caller and the thread goes on with the next task.
    while (QorThread::IQorThreadTask* task = fpOwner->GetCurrentTask()) {
      try {
        task->Run();
      } catch (...) {
        fpOwner->KeepError(std::current_exception());
      }
    }
  }
  // Exactly one signal per callback object and run.
  if (KVO_ASSERT(fpComplete != 0)) fpComplete->done();
  return 0;
}

// --- KVOThreadPool -------------------------------------------------------------

KVOThreadPool::KVOThreadPool(int nThreads)
    : fNThreads(nThreads < 1 ? 1 : nThreads), fpTasks(nullptr), fNextTask(0), fNTasks(0) {
  fpMutex = std::make_unique<LwMutex>();
  fpComplete = std::make_unique<LwCompleteTask>(0);
  fpPool = std::make_unique<LwThreadPool>(fNThreads - 1, 0);
  fpPool->setKeepMessageData(true);  // the callback objects are ours and reused
  const bool started = fpPool->init();
  // Without workers every run still completes: RunParallelTasks stands in
  // for each callback object that cannot be submitted.
  KVO_ASSERT_TEXT(started, "fpPool->init()");
  fvCallBacks.reserve(static_cast<size_t>(fNThreads));
  for (int i = 0; i < fNThreads; ++i)
    fvCallBacks.push_back(std::make_unique<KVOCallBackTask>(this, fpComplete.get()));
}

KVOThreadPool::~KVOThreadPool() {
  // No run is in progress, so no worker holds a callback object; the host
  // pool joins its idle workers.
  for (std::unique_ptr<KVOCallBackTask>& callBack : fvCallBacks) callBack.reset();
  fpPool.reset();
  fpComplete.reset();
  fpMutex.reset();
}

bool KVOThreadPool::RunParallelTasks(std::vector<QorThread::IQorThreadTask*>& tasks) {
  fpMutex->lock(LockExclusive, nullptr, 0);
  const bool idle = fpTasks == nullptr;
  if (idle) {
    fpTasks = &tasks;
    fNextTask = 0;
    fNTasks = tasks.size() <= static_cast<size_t>(INT_MAX) ? static_cast<int>(tasks.size()) : INT_MAX;
    fError = nullptr;
  }
  fpMutex->unlock(nullptr, 0);
  if (!KVO_ASSERT_TEXT(idle, "fpTasks == 0")) {
    // Entered again during a run (from one of its own tasks, say): the run
    // state is taken, so the calling thread runs these tasks by itself, with
    // the same rule for exceptions.
    std::exception_ptr error;
    for (QorThread::IQorThreadTask* task : tasks) {
      if (task == nullptr) break;
      try {
        task->Run();
      } catch (...) {
        if (!error) error = std::current_exception();
      }
    }
    if (error) std::rethrow_exception(error);
    return true;
  }
  KVO_ASSERT_TEXT(tasks.size() <= static_cast<size_t>(INT_MAX), "tasks.size() <= INT_MAX");

  fpComplete->reset(fNThreads);
  for (int i = 1; i < fNThreads; ++i) {
    // A callback object that cannot be handed out will never signal; it
    // would have found no task left, so signal for it.
    if (!fpPool->submit(fvCallBacks[static_cast<size_t>(i)].get(), nullptr, 1)) fpComplete->done();
  }
  fvCallBacks[0]->execute(nullptr);
  fpComplete->wait();

  fpMutex->lock(LockExclusive, nullptr, 0);
  fpTasks = nullptr;
  fNextTask = 0;
  fNTasks = 0;
  std::exception_ptr error = std::move(fError);
  fError = nullptr;
  fpMutex->unlock(nullptr, 0);
  if (error) std::rethrow_exception(error);
  return true;
}

QorThread::IQorThreadTask* KVOThreadPool::GetCurrentTask() {
  QorThread::IQorThreadTask* task = nullptr;
  fpMutex->lock(LockExclusive, nullptr, 0);
  if (fpTasks != nullptr && fNextTask < fNTasks) {
    task = (*fpTasks)[static_cast<size_t>(fNextTask)];
    ++fNextTask;
  }
  fpMutex->unlock(nullptr, 0);
  return task;
}

void KVOThreadPool::KeepError(std::exception_ptr error) {
  fpMutex->lock(LockExclusive, nullptr, 0);
  if (!fError) fError = std::move(error);
  fpMutex->unlock(nullptr, 0);
}
