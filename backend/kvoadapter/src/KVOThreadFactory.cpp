#include "kvoadapter/KVOThreadFactory.h"

#include "kvoadapter/KVOThreadLock.h"
#include "kvoadapter/KVOThreadPool.h"

KVOThreadFactory::KVOThreadFactory() = default;

KVOThreadFactory::~KVOThreadFactory() = default;

QorThread::IQorThreadPool* KVOThreadFactory::CreateThreadPool(int nThreads) {
  return new KVOThreadPool(nThreads);
}

QorThread::IQorThreadLock* KVOThreadFactory::CreateThreadLock() { return new KVOThreadLock(); }
