// Cases per second pulled through the data-pass iterator from an in-memory
// host (1,000,000 cases unless KVO_BENCH_CASES says otherwise: 10 categorical variables of 20 values stored
// as numbers, 10 continuous variables, 3% system-missing and 2% user-missing cells, a weight), for a first
// (collecting) pass and a later (replaying) pass; and, in the same run, a plain hand-written loop over the
// same rows doing the same work, for the ratio.
#include <benchmark/benchmark.h>
#include <kvoadapter/KVOProcDataSourceIter.h>
#include <standin/HostControl.h>
#include <standin/MemoryDataSource.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// The number of cases; KVO_BENCH_CASES overrides it for profiling runs
// (under callgrind, say).
const int N_CASES = [] {
  const char* text = std::getenv("KVO_BENCH_CASES");
  const int n = text != nullptr ? std::atoi(text) : 0;
  return n > 0 ? n : 1'000'000;
}();
constexpr int N_CAT = 10;
constexpr int N_CONT = 10;
constexpr int N_VALUES = 20;
constexpr double CAT_USER_MISSING = 99.0;
constexpr double CONT_USER_MISSING = -1.0;
constexpr double SYSMIS = VORM_SYSMIS;

// The data set, built once with a fixed seed.
struct BenchData {
  standin::MemoryDataSource fDataSource;
  std::vector<int> fvCat;
  std::vector<int> fvCont;
  int fWeight = -1;

  BenchData() {
    for (int i = 0; i < N_CAT; ++i) {
      fvCat.push_back(fDataSource.AddNumeric("c" + std::to_string(i), standin::Measure::Nominal));
      fDataSource.Spec(fvCat.back()).fMissingNumbers = {CAT_USER_MISSING};
    }
    for (int i = 0; i < N_CONT; ++i) {
      fvCont.push_back(fDataSource.AddNumeric("x" + std::to_string(i)));
      fDataSource.Spec(fvCont.back()).fMissingNumbers = {CONT_USER_MISSING};
    }
    fWeight = fDataSource.AddNumeric("w");
    fDataSource.SetWeightVariable(fWeight);
    fDataSource.SetWeightFilter(false);
    fDataSource.Reserve(N_CASES);
    std::mt19937_64 random(42);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> category(0, N_VALUES - 1);
    std::normal_distribution<double> continuous(50.0, 10.0);
    std::uniform_real_distribution<double> weight(0.2, 3.0);
    auto cell = [&](double value, double userMissing) {
      const int p = percent(random);
      return p < 3 ? SYSMIS : p < 5 ? userMissing : value;
    };
    for (int c = 0; c < N_CASES; ++c) {
      fDataSource.AddCase();
      for (int v : fvCat) fDataSource.SetNumber(v, cell(category(random), CAT_USER_MISSING));
      for (int v : fvCont) fDataSource.SetNumber(v, cell(continuous(random), CONT_USER_MISSING));
      fDataSource.SetNumber(fWeight, weight(random));
    }
  }
};

BenchData& Data() {
  static BenchData data;
  return data;
}

// The specification every library benchmark uses: the variables with the
// default missing-value rules, the weight and both counters.
struct LibrarySetup {
  KVOVarValidSpecs fSpecs;
  std::unique_ptr<KVOInputAdapter> fpAdapter;
  std::unique_ptr<KVOProcDataSourceIter> fpIter;

  LibrarySetup() {
    BenchData& data = Data();
    for (int v : data.fvCat) fSpecs.AddVariable(v, true);
    for (int v : data.fvCont) fSpecs.AddVariable(v, false);
    fSpecs.SetWeightVar();
    fSpecs.SetCaseCount();
    fSpecs.SetGlobalCount();
    fpAdapter = std::make_unique<KVOInputAdapter>(&fSpecs, data.fDataSource);
    fpIter = std::make_unique<KVOProcDataSourceIter>(*fpAdapter, false);
  }
};

// Pulls one whole pass; returns the records' checksum.
double PullPass(KVOProcDataSourceIter& iter, int64_t& nRecords) {
  double sum = 0.0;
  if (iter.NewPass() != 0) return sum;
  while (const QorCommon::Record* record = iter.Next()) {
    sum += record->GetAll()[0];
    ++nRecords;
  }
  return sum;
}

void BM_LibraryFirstPass(benchmark::State& state) {
  Data();
  int64_t nRecords = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto setup = std::make_unique<LibrarySetup>();
    state.ResumeTiming();
    benchmark::DoNotOptimize(PullPass(*setup->fpIter, nRecords));
    state.PauseTiming();
    setup.reset();
    state.ResumeTiming();
  }
  state.counters["cases/s"] = benchmark::Counter(
      static_cast<double>(N_CASES) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["records"] = static_cast<double>(nRecords) / static_cast<double>(state.iterations());
}

void BM_LibrarySecondPass(benchmark::State& state) {
  Data();
  LibrarySetup setup;
  int64_t nRecords = 0;
  PullPass(*setup.fpIter, nRecords);  // the first pass, untimed
  nRecords = 0;
  for (auto _ : state) benchmark::DoNotOptimize(PullPass(*setup.fpIter, nRecords));
  state.counters["cases/s"] = benchmark::Counter(
      static_cast<double>(N_CASES) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["records"] = static_cast<double>(nRecords) / static_cast<double>(state.iterations());
}

// --- The hand-written peer -------------------------------------------------------

// An open-addressing map from a number's bit pattern to a category code.
class CodeTable {
 public:
  CodeTable() : fvKeys(CAPACITY), fvCodes(CAPACITY, -1) {}
  int Find(double value) const {
    const uint64_t key = Bits(value);
    for (size_t slot = Hash(key);; slot = (slot + 1) & (CAPACITY - 1)) {
      if (fvCodes[slot] < 0) return -1;
      if (fvKeys[slot] == key) return fvCodes[slot];
    }
  }
  int FindOrAdd(double value) {
    const uint64_t key = Bits(value);
    for (size_t slot = Hash(key);; slot = (slot + 1) & (CAPACITY - 1)) {
      if (fvCodes[slot] < 0) {
        fvKeys[slot] = key;
        return fvCodes[slot] = fNCodes++;
      }
      if (fvKeys[slot] == key) return fvCodes[slot];
    }
  }

 private:
  static constexpr size_t CAPACITY = 64;  // ample for 20 values
  static uint64_t Bits(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
  }
  static size_t Hash(uint64_t key) { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 58); }

  std::vector<uint64_t> fvKeys;
  std::vector<int> fvCodes;
  int fNCodes = 0;
};

// The same work as the library's pass: weight rounding, the missing tests,
// code lookups (collecting in the first pass), continuous values and their
// range, the counters, each record written into one of two buffers.
struct HandLoop {
  std::vector<CodeTable> fvTables = std::vector<CodeTable>(N_CAT);
  std::vector<double> fvMin = std::vector<double>(N_CONT, SYSMIS);
  std::vector<double> fvMax = std::vector<double>(N_CONT, SYSMIS);

  double Pass(bool collecting, int64_t& nRecords) {
    BenchData& data = Data();
    const standin::MemoryDataSource& ds = data.fDataSource;
    std::vector<size_t> catOffsets, contOffsets;
    for (int v : data.fvCat) catOffsets.push_back(ds.CellOffset(v));
    for (int v : data.fvCont) contOffsets.push_back(ds.CellOffset(v));
    const size_t weightOffset = ds.CellOffset(data.fWeight);
    const int recordSize = N_CAT + N_CONT + 3;
    std::vector<double> buffers(2 * static_cast<size_t>(recordSize));
    double* records[2] = {buffers.data(), buffers.data() + recordSize};
    int current = 0;
    int nCases = 0;
    double weightValid = 0.0, weightInvalid = 0.0, sum = 0.0;
    for (size_t row = 0; row < ds.NumCases(); ++row) {
      const OBS* cells = ds.Row(row);
      double* r = records[current];
      ++nCases;
      const double w = cells[weightOffset].num;
      if (w == SYSMIS || w < 0.5) {
        r[N_CAT + N_CONT] = 0.0;
        weightInvalid += 0.0;
        continue;
      }
      const double weight = std::floor(w + 0.5);
      r[N_CAT + N_CONT] = weight;
      for (int i = 0; i < N_CAT; ++i) {
        const double value = cells[catOffsets[static_cast<size_t>(i)]].num;
        int code = -1;
        if (value != SYSMIS && value != CAT_USER_MISSING) {
          code = collecting ? fvTables[static_cast<size_t>(i)].FindOrAdd(value)
                            : fvTables[static_cast<size_t>(i)].Find(value);
        }
        r[i] = code;
      }
      for (int i = 0; i < N_CONT; ++i) {
        double value = cells[contOffsets[static_cast<size_t>(i)]].num;
        if (value == CONT_USER_MISSING) value = SYSMIS;
        r[N_CAT + i] = value;
        if (collecting && value != SYSMIS) {
          double& low = fvMin[static_cast<size_t>(i)];
          double& high = fvMax[static_cast<size_t>(i)];
          if (low == SYSMIS || low > value) low = value;
          if (high == SYSMIS || value > high) high = value;
        }
      }
      r[N_CAT + N_CONT + 2] = static_cast<double>(row + 1);
      r[N_CAT + N_CONT + 1] = nCases - 1;
      weightValid += weight;
      sum += r[0];
      ++nRecords;
      current ^= 1;
    }
    benchmark::DoNotOptimize(weightValid);
    benchmark::DoNotOptimize(weightInvalid);
    return sum;
  }
};

void BM_HandLoopFirstPass(benchmark::State& state) {
  Data();
  int64_t nRecords = 0;
  for (auto _ : state) {
    HandLoop loop;
    benchmark::DoNotOptimize(loop.Pass(true, nRecords));
  }
  state.counters["cases/s"] = benchmark::Counter(
      static_cast<double>(N_CASES) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["records"] = static_cast<double>(nRecords) / static_cast<double>(state.iterations());
}

void BM_HandLoopSecondPass(benchmark::State& state) {
  Data();
  HandLoop loop;
  int64_t nRecords = 0;
  loop.Pass(true, nRecords);
  nRecords = 0;
  for (auto _ : state) benchmark::DoNotOptimize(loop.Pass(false, nRecords));
  state.counters["cases/s"] = benchmark::Counter(
      static_cast<double>(N_CASES) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["records"] = static_cast<double>(nRecords) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_LibraryFirstPass)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LibrarySecondPass)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HandLoopFirstPass)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HandLoopSecondPass)->Unit(benchmark::kMillisecond)->Iterations(5);

// Prints the runs and, at the end, the library's rate as a share of the
// hand loop's, pass by pass.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto found = run.counters.find("cases/s");
      if (!run.error_occurred && found != run.counters.end())
        fRates[run.benchmark_name()] = found->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    PrintRatio("first pass", "BM_LibraryFirstPass", "BM_HandLoopFirstPass");
    PrintRatio("second pass", "BM_LibrarySecondPass", "BM_HandLoopSecondPass");
  }

 private:
  void PrintRatio(const char* what, const std::string& library, const std::string& hand) {
    auto lib = FindRate(library);
    auto peer = FindRate(hand);
    if (lib <= 0.0 || peer <= 0.0) return;
    std::printf("%s: library %.0f cases/s, hand loop %.0f cases/s, ratio %.1f%% (target >= 40%%)\n", what,
                lib, peer, 100.0 * lib / peer);
  }
  double FindRate(const std::string& prefix) const {
    for (const auto& [name, rate] : fRates) {
      if (name.rfind(prefix, 0) == 0) return rate;
    }
    return 0.0;
  }

  std::map<std::string, double> fRates;
};

}  // namespace

int main(int argc, char** argv) {
  standin::SetEchoMessages(false);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
