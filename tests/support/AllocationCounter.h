// Counts heap allocations through the global allocation functions, so that a
// test can show that a hot path allocates nothing. Link the object library
// kvo_allocation_counter into the test program: its AllocationCounter.cpp
// replaces operator new and delete, every form, for the whole program, and so
// also sees what the shared libraries allocate. Any thread; the count is
// atomic.
#ifndef KVO_TESTS_SUPPORT_ALLOCATIONCOUNTER_H
#define KVO_TESTS_SUPPORT_ALLOCATIONCOUNTER_H

namespace kvotest {

// Allocations made in this program so far.
long AllocationsSoFar();

// Allocations made since construction. Owns nothing.
class AllocationCounter {
 public:
  AllocationCounter() : fStart(AllocationsSoFar()) {}
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;

  long Count() const { return AllocationsSoFar() - fStart; }

 private:
  long fStart;
};

}  // namespace kvotest

#endif  // KVO_TESTS_SUPPORT_ALLOCATIONCOUNTER_H
