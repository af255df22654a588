// Speed of the stand-in host's per-case steps: MemoryDataSource iteration
// (against a bare copy of the same rows, the floor any iterator pays) and
// ObsVecMap lookups (against std::unordered_map). Fixed seeds; each
// benchmark reports items per second and its ratio to the peer measured in
// the same run.
#include <benchmark/benchmark.h>
#include <vorm/ObsVecMap.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <unordered_map>
#include <vector>

#include "standin/MemoryDataSource.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int N_ROWS = 200000;
constexpr int N_NUMERIC = 10;

std::unique_ptr<standin::MemoryDataSource> MakeData(bool weighted, bool split) {
  auto ds = std::make_unique<standin::MemoryDataSource>();
  for (int v = 0; v < N_NUMERIC; ++v) ds->AddNumeric("x" + std::to_string(v));
  const int s = ds->AddString("s", 16);
  const int w = ds->AddNumeric("w");
  const int g = ds->AddNumeric("g");
  if (weighted) ds->SetWeightVariable(w);
  if (split) ds->SetSplitVariables({g});
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  ds->Reserve(N_ROWS);
  for (int r = 0; r < N_ROWS; ++r) {
    ds->AddCase();
    for (int v = 0; v < N_NUMERIC; ++v) ds->SetNumber(v, uniform(random));
    ds->SetString(s, r % 2 ? "odd value" : "even");
    ds->SetNumber(w, r % 10 == 0 ? 0.0 : 1.0);
    ds->SetNumber(g, r / (N_ROWS / 4));  // four groups
  }
  return ds;
}

void IterationBench(benchmark::State& state, bool weighted, bool split) {
  auto ds = MakeData(weighted, split);
  const size_t rowBytes = ds->RowCells() * sizeof(OBS);
  std::vector<OBS> peerBuffer(ds->RowCells());
  double ours = 0, peer = 0;
  int64_t cases = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    std::unique_ptr<VORM_InputCaseIterator> it(ds->NewCaseIterator(0));
    double sum = 0;
    while (it->NextCase() != 0) {
      sum += it->GetNumericValue(0);
      ++cases;
    }
    benchmark::DoNotOptimize(sum);
    auto middle = Clock::now();
    double peerSum = 0;
    for (size_t r = 0; r < ds->NumCases(); ++r) {
      std::memcpy(peerBuffer.data(), ds->Row(r), rowBytes);
      benchmark::ClobberMemory();
      peerSum += peerBuffer[0].num;
    }
    benchmark::DoNotOptimize(peerSum);
    auto end = Clock::now();
    ours += std::chrono::duration<double>(middle - start).count();
    peer += std::chrono::duration<double>(end - middle).count();
    state.SetIterationTime(std::chrono::duration<double>(middle - start).count());
  }
  state.SetItemsProcessed(cases);
  state.counters["cases_per_s"] = benchmark::Counter(static_cast<double>(cases) / ours);
  state.counters["ratio_to_memcpy"] = ours / peer;
}

void BM_NextCasePlain(benchmark::State& state) { IterationBench(state, false, false); }
void BM_NextCaseWeightedSplit(benchmark::State& state) { IterationBench(state, true, true); }
BENCHMARK(BM_NextCasePlain)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NextCaseWeightedSplit)->UseManualTime()->Unit(benchmark::kMillisecond);

// Lookups of category values: `categories` distinct numbers, one lookup per
// case of a stream in which every value is present.
void BM_ObsVecMapContainsNumber(benchmark::State& state) {
  const int categories = static_cast<int>(state.range(0));
  ObsVecMap map({0}, 1);
  std::unordered_map<double, double> peerMap;
  for (int c = 0; c < categories; ++c) {
    OBS key;
    key.num = c * 1.5 + 0.25;
    map.Insert(&key)[0].num = c;
    peerMap.emplace(key.num, c);
  }
  std::mt19937_64 random(7);
  std::vector<OBS> stream(1 << 16);
  for (OBS& key : stream)
    key.num = static_cast<double>(random() % static_cast<uint64_t>(categories)) * 1.5 + 0.25;
  double ours = 0, peer = 0;
  int64_t lookups = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    double sum = 0;
    for (const OBS& key : stream) sum += map.Contains(&key)[0].num;
    benchmark::DoNotOptimize(sum);
    auto middle = Clock::now();
    double peerSum = 0;
    for (const OBS& key : stream) peerSum += peerMap.find(key.num)->second;
    benchmark::DoNotOptimize(peerSum);
    auto end = Clock::now();
    ours += std::chrono::duration<double>(middle - start).count();
    peer += std::chrono::duration<double>(end - middle).count();
    state.SetIterationTime(std::chrono::duration<double>(middle - start).count());
    lookups += static_cast<int64_t>(stream.size());
  }
  state.SetItemsProcessed(lookups);
  state.counters["ratio_to_unordered_map"] = ours / peer;
}
BENCHMARK(BM_ObsVecMapContainsNumber)->Arg(10)->Arg(1000)->Arg(100000)->UseManualTime();

// Lookups of two-variable keys: a 16-byte string and a number.
void BM_ObsVecMapContainsStringAndNumber(benchmark::State& state) {
  const int categories = static_cast<int>(state.range(0));
  ObsVecMap map({16, 0}, 1);
  std::vector<std::vector<OBS>> keys;
  for (int c = 0; c < categories; ++c) {
    std::vector<OBS> key(3);
    std::memset(key.data(), ' ', 16);
    const std::string text = "category " + std::to_string(c / 3);
    std::memcpy(key.data(), text.data(), text.size());
    key[2].num = c % 3;
    map.Insert(key.data())[0].num = c;
    keys.push_back(std::move(key));
  }
  std::mt19937_64 random(11);
  std::vector<const OBS*> stream(1 << 16);
  for (const OBS*& key : stream) key = keys[random() % keys.size()].data();
  int64_t lookups = 0;
  for (auto _ : state) {
    double sum = 0;
    for (const OBS* key : stream) sum += map.Contains(key)[0].num;
    benchmark::DoNotOptimize(sum);
    lookups += static_cast<int64_t>(stream.size());
  }
  state.SetItemsProcessed(lookups);
}
BENCHMARK(BM_ObsVecMapContainsStringAndNumber)->Arg(30)->Arg(30000);

}  // namespace

BENCHMARK_MAIN();
