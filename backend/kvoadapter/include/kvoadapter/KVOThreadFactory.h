// Makes thread pools and locks for a modeling component. Stateless: any
// thread may use it, and copies are interchangeable. It keeps no record of
// what it made; the caller owns every result.
#ifndef KVOADAPTER_KVOTHREADFACTORY_H
#define KVOADAPTER_KVOTHREADFACTORY_H

#include <qor/Thread.h>

#include "kvoadapter/KVOExport.h"

class KVO_EXPORT KVOThreadFactory : public QorThread::IQorThreadFactory {
 public:
  KVOThreadFactory();
  ~KVOThreadFactory() override;
  KVOThreadFactory(const KVOThreadFactory&) = default;
  KVOThreadFactory& operator=(const KVOThreadFactory&) = default;

  // A new KVOThreadPool of `nThreads` threads, the caller's among them (at
  // least 1). The caller deletes it.
  QorThread::IQorThreadPool* CreateThreadPool(int nThreads) override;
  // A new KVOThreadLock. The caller deletes it.
  QorThread::IQorThreadLock* CreateThreadLock() override;
};

#endif  // KVOADAPTER_KVOTHREADFACTORY_H
