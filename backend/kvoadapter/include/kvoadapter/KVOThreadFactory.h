/// \file
/// KVOThreadFactory: thread pools and locks for a component.
#ifndef KVOADAPTER_KVOTHREADFACTORY_H
#define KVOADAPTER_KVOTHREADFACTORY_H

#include <qor/Thread.h>

#include "kvoadapter/KVOExport.h"

/// Makes thread pools and locks for a modeling component. Stateless: any
/// thread may use it, and copies are interchangeable. It keeps no record of
/// what it made; the caller owns every result.
class KVO_EXPORT KVOThreadFactory : public QorThread::IQorThreadFactory {
 public:
  KVOThreadFactory();
  ~KVOThreadFactory() override;
  /// Copies are interchangeable: there is no state.
  KVOThreadFactory(const KVOThreadFactory&) = default;
  /// As the copy constructor.
  KVOThreadFactory& operator=(const KVOThreadFactory&) = default;

  /// A new KVOThreadPool of `nThreads` threads, the caller's among them (at
  /// least 1). The caller deletes it.
  QorThread::IQorThreadPool* CreateThreadPool(int nThreads) override;
  /// A new KVOThreadLock. The caller deletes it.
  QorThread::IQorThreadLock* CreateThreadLock() override;
};

#endif  // KVOADAPTER_KVOTHREADFACTORY_H
