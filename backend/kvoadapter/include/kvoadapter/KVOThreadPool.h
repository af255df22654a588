/// \file
/// KVOThreadPool: a component's tasks on the host's worker threads.
#ifndef KVOADAPTER_KVOTHREADPOOL_H
#define KVOADAPTER_KVOTHREADPOOL_H

#include <qor/Thread.h>

#include <exception>
#include <memory>
#include <vector>

#include "kvoadapter/KVOExport.h"

class KVOCallBackTask;
class LwCompleteTask;
class LwMutex;
class LwThreadPool;

/// Runs a component's tasks on the calling thread plus n - 1 host worker
/// threads. One run at a time: RunParallelTasks must not be entered again on
/// the same pool before it returns; GetCurrentTask may be called from any
/// thread. The pool owns its host mutex, counter, worker pool and callback
/// objects, made once and reused by every run; it borrows each run's tasks.
class KVO_EXPORT KVOThreadPool : public QorThread::IQorThreadPool {
 public:
  /// `nThreads` below 1 is taken as 1.
  explicit KVOThreadPool(int nThreads);
  ~KVOThreadPool() override;
  KVOThreadPool(const KVOThreadPool&) = delete;
  KVOThreadPool& operator=(const KVOThreadPool&) = delete;

  /// Runs every task once, handing them out in index order to the pool's
  /// threads, and returns true when all have finished. A null entry ends the
  /// work of the thread that claims it. A task that leaves with an exception
  /// does not stop the run: every other task still runs once, and when all
  /// have finished the first exception caught (in time; with one thread, that
  /// of the lowest index) is rethrown to the caller instead of returning.
  /// REQUIRES: `tasks` stays unchanged until the call returns.
  bool RunParallelTasks(std::vector<QorThread::IQorThreadTask*>& tasks) override;

  /// Claims the next unclaimed task of the run in progress, which the pool's
  /// threads then skip; null when none is left or no run is in progress.
  QorThread::IQorThreadTask* GetCurrentTask();

  /// The number of threads of a run, the caller's included.
  int GetNThreads() const { return fNThreads; }

 private:
  friend class KVOCallBackTask;
  /// Keeps `error` for the caller of the run in progress unless an earlier
  /// one is kept.
  void KeepError(std::exception_ptr error);

  std::vector<std::unique_ptr<KVOCallBackTask>> fvCallBacks;  ///< one per thread
  int fNThreads;
  std::vector<QorThread::IQorThreadTask*>* fpTasks;  ///< borrowed; null between runs
  int fNextTask;
  int fNTasks;
  std::unique_ptr<LwMutex> fpMutex;  ///< guards the four members above and fError
  std::unique_ptr<LwCompleteTask> fpComplete;
  std::unique_ptr<LwThreadPool> fpPool;  ///< fNThreads - 1 workers
  std::exception_ptr fError;             ///< first exception of a task in this run
};

#endif  // KVOADAPTER_KVOTHREADPOOL_H
