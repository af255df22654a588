// Threading interfaces of the components. Objects handed out by a factory
// belong to the caller, who deletes them through these interfaces.
#ifndef QOR_THREAD_H
#define QOR_THREAD_H

#include <vector>

namespace QorThread {

class IQorThreadTask {
 public:
  virtual ~IQorThreadTask() = default;
  virtual void Run() = 0;
};

class IQorThreadLock {
 public:
  virtual ~IQorThreadLock() = default;
  virtual bool Lock() = 0;
  virtual bool Unlock() = 0;
};

class IQorThreadPool {
 public:
  virtual ~IQorThreadPool() = default;
  // Runs every task once and returns when all have finished.
  virtual bool RunParallelTasks(std::vector<IQorThreadTask*>& tasks) = 0;
};

class IQorThreadFactory {
 public:
  virtual ~IQorThreadFactory() = default;
  // The caller owns the results.
  virtual IQorThreadPool* CreateThreadPool(int nThreads) = 0;
  virtual IQorThreadLock* CreateThreadLock() = 0;
};

}  // namespace QorThread

#endif  // QOR_THREAD_H
