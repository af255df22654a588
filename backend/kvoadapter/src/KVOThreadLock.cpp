#include "kvoadapter/KVOThreadLock.h"

KVOThreadLock::KVOThreadLock() = default;

KVOThreadLock::~KVOThreadLock() = default;

bool KVOThreadLock::Lock() { return fMutex.lock(LockExclusive, nullptr, 0) == LwSuccess; }

bool KVOThreadLock::Unlock() { return fMutex.unlock(nullptr, 0) == LwSuccess; }
