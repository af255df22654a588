/// \file
/// KVOThreadLock: a lock on the host's mutex.
#ifndef KVOADAPTER_KVOTHREADLOCK_H
#define KVOADAPTER_KVOTHREADLOCK_H

#include <qor/Thread.h>
#include <vorm/Threads.h>

#include "kvoadapter/KVOExport.h"

/// A plain mutual-exclusion lock on the host's mutex, handed to components by
/// KVOThreadFactory for their own use. Lock and Unlock may be called from any
/// thread; the lock owns its host mutex and cannot be copied.
class KVO_EXPORT KVOThreadLock : public QorThread::IQorThreadLock {
 public:
  KVOThreadLock();
  ~KVOThreadLock() override;
  KVOThreadLock(const KVOThreadLock&) = delete;
  KVOThreadLock& operator=(const KVOThreadLock&) = delete;

  /// Takes the lock, waiting while another thread holds it; whether the host
  /// took it for the calling thread.
  bool Lock() override;
  /// Releases the lock; whether the host released it.
  bool Unlock() override;

 private:
  LwMutex fMutex;
};

#endif  // KVOADAPTER_KVOTHREADLOCK_H
