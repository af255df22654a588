// Counts heap allocations through the global operator new while switched
// on, so tests can show that a hot path allocates nothing. Link
// AllocationCounter.cpp into the test program (it replaces operator new and
// delete for the whole program). Any thread; the counter is atomic.
#ifndef KVO_TEST_ALLOCATIONCOUNTER_H
#define KVO_TEST_ALLOCATIONCOUNTER_H

namespace kvotest {

// Counts allocations made between construction and Stop() (or destruction).
// Scopes must not nest.
class AllocationCounter {
 public:
  AllocationCounter();
  ~AllocationCounter();
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;

  // Stops counting and returns the allocations counted.
  long Stop();

 private:
  bool fbRunning = true;
};

}  // namespace kvotest

#endif  // KVO_TEST_ALLOCATIONCOUNTER_H
