// The host's thread library on the standard library: a mutex that knows its
// owner, a completion counter and a pool of worker threads fed from one
// first-in, first-out queue.
#include <vorm/Threads.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

// --- LwMutex -----------------------------------------------------------------

struct LwMutex::Rep {
  std::mutex fMutex;
  // The thread holding fMutex, or a default id. Only the owner ever finds its
  // own id here, so a relaxed read is enough to tell "mine" from "not mine".
  std::atomic<std::thread::id> fOwner{};
};

LwMutex::LwMutex() : fpRep(std::make_unique<Rep>()) {}

LwMutex::~LwMutex() = default;

ErrorCode LwMutex::lock(LockType type, const char* text, unsigned long line) {
  const std::thread::id self = std::this_thread::get_id();
  if (type != LockExclusive) {
    std::fprintf(stderr, "LwMutex::lock: unknown lock type %d (caller %s:%lu)\n", static_cast<int>(type),
                 text ? text : "?", line);
    return LwFailure;
  }
  if (fpRep->fOwner.load(std::memory_order_relaxed) == self) {
    // Locking again would wait for ourselves for ever.
    std::fprintf(stderr, "LwMutex::lock: the calling thread already holds this mutex (caller %s:%lu)\n",
                 text ? text : "?", line);
    return LwFailure;
  }
  fpRep->fMutex.lock();
  fpRep->fOwner.store(self, std::memory_order_relaxed);
  return LwSuccess;
}

ErrorCode LwMutex::unlock(const char* text, unsigned long line) {
  if (fpRep->fOwner.load(std::memory_order_relaxed) != std::this_thread::get_id()) {
    std::fprintf(stderr, "LwMutex::unlock: the calling thread does not hold this mutex (caller %s:%lu)\n",
                 text ? text : "?", line);
    return LwFailure;
  }
  fpRep->fOwner.store(std::thread::id(), std::memory_order_relaxed);
  fpRep->fMutex.unlock();
  return LwSuccess;
}

// --- LwCompleteTask ------------------------------------------------------------

struct LwCompleteTask::Rep {
  std::mutex fMutex;
  std::condition_variable fAllDone;
  int fExpected = 0;
  int fSignalled = 0;
};

LwCompleteTask::LwCompleteTask(int count) : fpRep(std::make_unique<Rep>()) { reset(count); }

LwCompleteTask::~LwCompleteTask() = default;

void LwCompleteTask::reset(int count) {
  std::lock_guard<std::mutex> lock(fpRep->fMutex);
  fpRep->fExpected = count < 0 ? 0 : count;
  fpRep->fSignalled = 0;
}

void LwCompleteTask::done() {
  std::lock_guard<std::mutex> lock(fpRep->fMutex);
  ++fpRep->fSignalled;
  if (fpRep->fSignalled >= fpRep->fExpected) fpRep->fAllDone.notify_all();
}

void LwCompleteTask::wait() {
  std::unique_lock<std::mutex> lock(fpRep->fMutex);
  fpRep->fAllDone.wait(lock, [this] { return fpRep->fSignalled >= fpRep->fExpected; });
}

// --- LwThreadPool ---------------------------------------------------------------

struct LwThreadPool::Rep {
  struct Job {
    CallBackObject* fpCallback;
    void* fpArgument;
  };

  int fNWorkers = 0;
  bool fbKeepMessageData = false;
  bool fbStarted = false;

  std::mutex fMutex;
  std::condition_variable fWork;
  std::deque<Job> fQueue;   // guarded by fMutex
  bool fbStopping = false;  // guarded by fMutex
  std::vector<std::thread> fWorkers;

  void WorkerLoop();
};

void LwThreadPool::Rep::WorkerLoop() {
  for (;;) {
    Job job{};
    {
      std::unique_lock<std::mutex> lock(fMutex);
      fWork.wait(lock, [this] { return fbStopping || !fQueue.empty(); });
      // Work submitted before destruction still runs: stop only when empty.
      if (fQueue.empty()) return;
      job = fQueue.front();
      fQueue.pop_front();
    }
    try {
      job.fpCallback->execute(job.fpArgument);
    } catch (...) {
      // A worker has nobody to pass the exception to; say so and go on.
      std::fprintf(stderr, "LwThreadPool: a callback object's execute left with an exception\n");
    }
    // fbKeepMessageData is set before init and never changes afterwards.
    if (!fbKeepMessageData) delete job.fpCallback;
  }
}

LwThreadPool::LwThreadPool(int workerCount, int /*flags*/) : fpRep(std::make_unique<Rep>()) {
  fpRep->fNWorkers = workerCount < 0 ? 0 : workerCount;
}

LwThreadPool::~LwThreadPool() {
  {
    std::lock_guard<std::mutex> lock(fpRep->fMutex);
    fpRep->fbStopping = true;
  }
  fpRep->fWork.notify_all();
  for (std::thread& worker : fpRep->fWorkers) worker.join();
}

void LwThreadPool::setKeepMessageData(bool keep) {
  if (fpRep->fbStarted) {
    std::fprintf(stderr, "LwThreadPool::setKeepMessageData: ignored after init\n");
    return;
  }
  fpRep->fbKeepMessageData = keep;
}

bool LwThreadPool::init() {
  if (fpRep->fbStarted) return true;
  try {
    fpRep->fWorkers.reserve(static_cast<size_t>(fpRep->fNWorkers));
    for (int i = 0; i < fpRep->fNWorkers; ++i)
      fpRep->fWorkers.emplace_back([rep = fpRep.get()] { rep->WorkerLoop(); });
  } catch (const std::exception& e) {
    std::fprintf(stderr, "LwThreadPool::init: cannot start worker %zu of %d: %s\n",
                 fpRep->fWorkers.size() + 1, fpRep->fNWorkers, e.what());
    {
      std::lock_guard<std::mutex> lock(fpRep->fMutex);
      fpRep->fbStopping = true;
    }
    fpRep->fWork.notify_all();
    for (std::thread& worker : fpRep->fWorkers) worker.join();
    fpRep->fWorkers.clear();
    fpRep->fbStopping = false;
    return false;
  }
  fpRep->fbStarted = true;
  return true;
}

bool LwThreadPool::submit(CallBackObject* callback, void* argument, int /*priority*/) {
  if (callback == nullptr) {
    std::fprintf(stderr, "LwThreadPool::submit: null callback object\n");
    return false;
  }
  if (!fpRep->fbStarted || fpRep->fNWorkers == 0) {
    // Nobody would ever run it.
    std::fprintf(stderr, "LwThreadPool::submit: the pool has no running workers (%d, %s)\n", fpRep->fNWorkers,
                 fpRep->fbStarted ? "started" : "init not called");
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(fpRep->fMutex);
    fpRep->fQueue.push_back({callback, argument});
  }
  fpRep->fWork.notify_one();
  return true;
}
