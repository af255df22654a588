// Replacement global allocation functions that count while a counter runs.
#include "support/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> gbCounting{false};
std::atomic<long> gCount{0};

void* Allocate(std::size_t size) {
  if (gbCounting.load(std::memory_order_relaxed)) gCount.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace kvotest {

AllocationCounter::AllocationCounter() {
  gCount.store(0);
  gbCounting.store(true);
}

AllocationCounter::~AllocationCounter() { Stop(); }

long AllocationCounter::Stop() {
  if (fbRunning) {
    gbCounting.store(false);
    fbRunning = false;
  }
  return gCount.load();
}

}  // namespace kvotest
