// Sorting 2,000,000 records of 22 doubles by two keys through a sorting
// KVODataFileIter (the host's external sort writing the sorted file) against
// std::sort of an index over the same records in memory plus the permuting
// copy, timed in the same iterations. sort_vs_in_memory is the ratio of the
// two times (target: at most 2). A second run limits the sort to a quarter
// of the data and reports the peak memory it held; a third does so without
// the in-memory peer, so that the process's peak resident size (which
// bench/run.py reads) is the data's and the sort's alone.
#include <benchmark/benchmark.h>
#include <kvoadapter/KVODataFileIter.h>

#include <algorithm>
#include <numeric>

#include "BenchRecords.h"
#include "standin/HostControl.h"

namespace {

constexpr int RECORD_SIZE = 22;
constexpr size_t RECORDS = 2000000;
constexpr size_t DATA_BYTES = RECORDS * RECORD_SIZE * sizeof(double);
const std::vector<int> SORT_KEYS = {3, 7};

class SortingFile : public KVODataFileIter {
 public:
  explicit SortingFile(const std::vector<int>& keys) : KVODataFileIter(RECORD_SIZE, keys, -1) {}
};

const std::vector<double>& Data() {
  static const std::vector<double> data = kvo_bench::MakeRecords(RECORDS, RECORD_SIZE, 7);
  return data;
}

// The in-memory peer: sort an index by the keys (input position breaking
// ties, as the stable host sort does), then copy the records into order.
void SortInMemory(const std::vector<double>& data, std::vector<uint32_t>& index, std::vector<double>& out) {
  std::iota(index.begin(), index.end(), 0u);
  std::sort(index.begin(), index.end(), [&](uint32_t a, uint32_t b) {
    const double* ra = &data[size_t{a} * RECORD_SIZE];
    const double* rb = &data[size_t{b} * RECORD_SIZE];
    for (int key : SORT_KEYS) {
      if (ra[key] != rb[key]) return ra[key] < rb[key];
    }
    return a < b;
  });
  for (size_t i = 0; i < index.size(); ++i) {
    std::copy_n(&data[size_t{index[i]} * RECORD_SIZE], RECORD_SIZE, &out[i * RECORD_SIZE]);
  }
}

// Whether the iterator's records come in key order; reads the whole file.
bool InKeyOrder(KVODataFileIter& iter) {
  if (iter.NewPass() != 0) return false;
  double previous[2] = {-1e300, -1e300};
  size_t count = 0;
  while (const QorCommon::Record* record = iter.Next()) {
    const double* r = record->GetAll();
    if (r[3] < previous[0] || (r[3] == previous[0] && r[7] < previous[1])) return false;
    previous[0] = r[3];
    previous[1] = r[7];
    ++count;
  }
  return count == RECORDS;
}

void RunSort(benchmark::State& state, size_t budget, bool withPeer) {
  const std::vector<double>& data = Data();
  std::vector<uint32_t> index(withPeer ? RECORDS : 0);
  std::vector<double> out(withPeer ? data.size() : 0);
  const size_t savedBudget = standin::SortBudget();
  standin::SetSortBudget(budget);
  double sortSeconds = 0;
  double memorySeconds = 0;
  size_t peak = 0;
  bool checked = false;
  for (auto _ : state) {
    if (withPeer) {
      const auto memoryStart = std::chrono::steady_clock::now();
      SortInMemory(data, index, out);
      memorySeconds += kvo_bench::SecondsSince(memoryStart);
      benchmark::DoNotOptimize(out.data());
    }

    SortingFile iter(SORT_KEYS);
    kvo_bench::FlatRecordSource source(data, RECORD_SIZE);
    const auto start = std::chrono::steady_clock::now();
    const bool ok = iter.FillDataFile(source);
    const double seconds = kvo_bench::SecondsSince(start);
    peak = std::max(peak, standin::LastSortPeakBytes());
    if (!ok || (!checked && !InKeyOrder(iter))) {
      state.SkipWithError(ok ? "records out of order" : standin::LastSortError().c_str());
      break;
    }
    checked = true;
    sortSeconds += seconds;
    state.SetIterationTime(seconds);
  }
  standin::SetSortBudget(savedBudget);
  const double iterations = static_cast<double>(state.iterations());
  state.counters["records_per_s"] = static_cast<double>(RECORDS) * iterations / sortSeconds;
  if (withPeer) {
    state.counters["in_memory_s"] = memorySeconds / iterations;
    state.counters["sort_vs_in_memory"] = sortSeconds / memorySeconds;
  }
  state.counters["budget_MiB"] = static_cast<double>(budget) / (1 << 20);
  state.counters["peak_MiB"] = static_cast<double>(peak) / (1 << 20);
  state.counters["data_MiB"] = static_cast<double>(DATA_BYTES) / (1 << 20);
}

void BM_SortInMemoryBudget(benchmark::State& state) { RunSort(state, size_t{1} << 30, true); }
void BM_SortQuarterBudget(benchmark::State& state) { RunSort(state, DATA_BYTES / 4, true); }
void BM_SortQuarterBudgetAlone(benchmark::State& state) { RunSort(state, DATA_BYTES / 4, false); }

BENCHMARK(BM_SortInMemoryBudget)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SortQuarterBudget)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SortQuarterBudgetAlone)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
