// Scoring speed: KVOTransformScorer::ScoreRecord with the dozen-field
// transformation model over 1,000,000 in-memory cases, against the same
// arithmetic written by hand in C++ over the same host iterator. Both read
// every case through the host's case iterator; the ratio of their case rates
// is printed at the end of the run.
#include <benchmark/benchmark.h>
#include <kvoadapter/KVOTransformScorer.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>

#include "standin/MemoryDataSource.h"
#include "support/TransformModelSamples.h"

namespace {

constexpr size_t CASES = 1000000;
constexpr uint32_t SEED = 20240611;

struct DataSet {
  standin::MemoryDataSource fData;
  int fAge, fIncome, fScore, fRegion;

  DataSet() {
    fAge = fData.AddNumeric("age");
    fIncome = fData.AddNumeric("income");
    fScore = fData.AddNumeric("score");
    fRegion = fData.AddString("region", 8);
    fData.Reserve(CASES);
    std::mt19937 random(SEED);
    std::uniform_real_distribution<double> ages(0, 100), incomes(-1000, 150000), scores(-5, 100);
    std::uniform_int_distribution<int> pick(0, 19);
    const char* regions[] = {"north", "south", "east", "west", "none"};
    for (size_t c = 0; c < CASES; ++c) {
      fData.AddCase();
      // About one value in twenty is missing.
      fData.SetNumber(fAge, pick(random) == 0 ? VORM_SYSMIS : ages(random));
      fData.SetNumber(fIncome, pick(random) == 0 ? VORM_SYSMIS : incomes(random));
      fData.SetNumber(fScore, pick(random) == 0 ? VORM_SYSMIS : scores(random));
      fData.SetString(fRegion, regions[pick(random) % 5]);
    }
  }
};

DataSet& Data() {
  static DataSet data;
  return data;
}

void BM_ScoreRecordModel(benchmark::State& state) {
  DataSet& data = Data();
  double checksum = 0;
  for (auto _ : state) {
    std::unique_ptr<VORM_InputCaseIterator> iterator(data.fData.NewCaseIterator(0));
    KVOTransformScorer scorer;
    if (!scorer.PrepareScoring(iterator.get(), true, kvotest::DOZEN_FIELD_MODEL, {}, true)) {
      state.SkipWithError("the model could not be prepared");
      return;
    }
    while (iterator->NextCase()) {
      scorer.ScoreRecord();
      for (double value : scorer.GetTargetValues()) checksum += value;
    }
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(CASES));
}

void BM_HandWritten(benchmark::State& state) {
  DataSet& data = Data();
  double checksum = 0;
  std::string region;
  for (auto _ : state) {
    std::unique_ptr<VORM_InputCaseIterator> iterator(data.fData.NewCaseIterator(0));
    while (iterator->NextCase()) {
      const char* bytes = iterator->GetStringValue(data.fRegion);
      size_t length = 8;
      while (length > 1 && bytes[length - 1] == ' ') --length;
      region.assign(bytes, length);
      auto out = kvotest::DozenFieldExpected(iterator->GetNumericValue(data.fAge),
                                             iterator->GetNumericValue(data.fIncome),
                                             iterator->GetNumericValue(data.fScore), region);
      // Every output is used, so that the compiler cannot leave out the
      // arithmetic of any derived field.
      for (double value : out) checksum += value;
    }
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(CASES));
}

// Repeated, so that the ratio compares medians on a machine shared with
// other work.
BENCHMARK(BM_HandWritten)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5)
    ->Repetitions(7)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_ScoreRecordModel)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5)
    ->Repetitions(7)
    ->DisplayAggregatesOnly(true);

// Keeps each benchmark's median case rate to print their ratio.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  RateReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      auto items = run.counters.find("items_per_second");
      if (items != run.counters.end()) fRates[run.benchmark_name()] = items->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> fRates;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Data();  // build the data set outside the timings
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double model = 0, hand = 0;
  for (const auto& [name, rate] : reporter.fRates) {
    if (name.find("BM_ScoreRecordModel") == 0) model = rate;
    if (name.find("BM_HandWritten") == 0) hand = rate;
  }
  if (model > 0 && hand > 0) {
    std::printf(
        "median model scoring: %.0f cases/s; hand-written: %.0f cases/s; ratio %.1f%% (target >= 30%%)\n",
        model, hand, 100.0 * model / hand);
  }
  benchmark::Shutdown();
  return 0;
}
