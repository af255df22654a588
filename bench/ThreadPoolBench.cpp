// The thread pool's cost of handing out a task, and its speedup over one
// thread on CPU-bound tasks, measured in the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "kvoadapter/KVOThreadPool.h"

namespace {

using QorThread::IQorThreadTask;

class EmptyTask : public IQorThreadTask {
 public:
  void Run() override {}
};

// A fixed amount of integer arithmetic that the compiler cannot fold away.
class BusyTask : public IQorThreadTask {
 public:
  explicit BusyTask(uint64_t seed) : fState(seed) {}
  void Run() override {
    uint64_t x = fState;
    for (int i = 0; i < 200000; ++i) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
    }
    benchmark::DoNotOptimize(x);
    fState = x;
  }

 private:
  uint64_t fState;
};

// Hand-out cost: 100,000 empty tasks per run, so the time is the pool's
// own (claims under the mutex, wake-up and completion of the workers).
void BM_HandOutEmptyTasks(benchmark::State& state) {
  constexpr int N_TASKS = 100000;
  const int nThreads = static_cast<int>(state.range(0));
  KVOThreadPool pool(nThreads);
  EmptyTask task;
  std::vector<IQorThreadTask*> tasks(N_TASKS, &task);
  for (auto _ : state) pool.RunParallelTasks(tasks);
  state.SetItemsProcessed(state.iterations() * N_TASKS);
  // Seconds per task, shown with an SI prefix (n for nanoseconds).
  state.counters["per_task"] = benchmark::Counter(
      N_TASKS, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_HandOutEmptyTasks)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// Speedup of a two-thread pool over one thread on the same CPU-bound tasks;
// both pools run in every iteration so that both see the same machine load.
void BM_SpeedupTwoThreadsOverOne(benchmark::State& state) {
  constexpr int N_TASKS = 64;
  std::vector<std::unique_ptr<BusyTask>> owned;
  std::vector<IQorThreadTask*> tasks;
  for (int i = 0; i < N_TASKS; ++i) {
    owned.push_back(std::make_unique<BusyTask>(0x9E3779B97F4A7C15ULL + static_cast<uint64_t>(i)));
    tasks.push_back(owned.back().get());
  }
  KVOThreadPool one(1);
  KVOThreadPool two(2);
  using Clock = std::chrono::steady_clock;
  double oneSeconds = 0.0;
  double twoSeconds = 0.0;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    one.RunParallelTasks(tasks);
    const Clock::time_point t1 = Clock::now();
    two.RunParallelTasks(tasks);
    const Clock::time_point t2 = Clock::now();
    oneSeconds += std::chrono::duration<double>(t1 - t0).count();
    twoSeconds += std::chrono::duration<double>(t2 - t1).count();
  }
  state.counters["one_thread_ms"] = oneSeconds * 1e3 / static_cast<double>(state.iterations());
  state.counters["two_threads_ms"] = twoSeconds * 1e3 / static_cast<double>(state.iterations());
  state.counters["speedup"] = twoSeconds > 0.0 ? oneSeconds / twoSeconds : 0.0;
}
BENCHMARK(BM_SpeedupTwoThreadsOverOne)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
