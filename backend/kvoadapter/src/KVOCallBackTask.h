// One thread's share of a KVOThreadPool run: claims the pool's tasks one by
// one and runs them, then signals the pool's completion counter once. Runs on
// whichever thread the pool gives it; owned by its pool, which it borrows
// together with the pool's counter. Internal to the library: not exported,
// not installed.
#ifndef KVOADAPTER_SRC_KVOCALLBACKTASK_H
#define KVOADAPTER_SRC_KVOCALLBACKTASK_H

#include <vorm/Threads.h>

class KVOThreadPool;

class KVOCallBackTask : public CallBackObject {
 public:
  KVOCallBackTask(KVOThreadPool* owner, LwCompleteTask* complete);
  ~KVOCallBackTask() override;
  KVOCallBackTask(const KVOCallBackTask&) = delete;
  KVOCallBackTask& operator=(const KVOCallBackTask&) = delete;

  // Runs tasks until none is left, signals completion once and returns 0.
  int execute(void* argument) override;

 private:
  KVOThreadPool* fpOwner;
  LwCompleteTask* fpComplete;
};

#endif  // KVOADAPTER_SRC_KVOCALLBACKTASK_H
