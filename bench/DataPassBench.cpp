// Cases per second pulled through the data-pass iterator from an in-memory
// host (1,000,000 cases unless KVO_BENCH_CASES says otherwise: 10 categorical variables of 20 values stored
// as numbers, 10 continuous variables, 3% system-missing and 2% user-missing cells, a weight on [0, 3)),
// for a first (collecting) pass and a later (replaying) pass; and, in the same run, a plain hand-written
// loop over the same rows doing the same work, for the ratio. Each runs twice: with missing values kept
// (code -1, system-missing) and with listwise deletion (a case with any missing value is deleted before
// its values are encoded). BM_PartitionedSecondPass times the second pass of a 70/30 random partition
// that writes the partition files.
//
// Two modes serve `make bench` (bench/run.py), which compares the same work done by pandas:
//   data_pass_bench --write_data=DIR     writes the cases to DIR/cases.f64 (row by row, 21 doubles,
//                                        system-missing as the host's value), DIR/cases.csv and
//                                        DIR/cases.schema.json (for kvo), then stops;
//   data_pass_bench --check_records=FILE checks that the library's two passes, the hand loop and the
//                                        partition files give the same listwise records, writes those
//                                        records to FILE (23 doubles each) and stops.
#include <benchmark/benchmark.h>
#include <kvoadapter/KVOPartitionAdapter.h>
#include <kvoadapter/KVOProcDataSourceIter.h>
#include <kvoadapter/KVOUniformRandom.h>
#include <standin/HostControl.h>
#include <standin/MemoryDataSource.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
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
constexpr uint64_t PARTITION_SEED = 2000000;

// How missing values are treated: kept (categorical code -1, continuous
// system-missing) or listwise (the case is deleted).
enum class Missing { Include, Listwise };

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
    std::uniform_real_distribution<double> weight(0.0, 3.0);
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

// The specification list every library benchmark uses: the variables with the
// default missing-value rules (or listwise deletion judged before encoding),
// the weight and both counters.
struct LibrarySetup {
  KVOVarValidSpecs fSpecs;
  std::unique_ptr<KVOInputAdapter> fpAdapter;
  std::unique_ptr<KVOProcDataSourceIter> fpIter;

  explicit LibrarySetup(Missing missing = Missing::Include)
      : fSpecs(/*procSysMiss=*/missing == Missing::Include, /*exclUserMiss=*/true, /*scoreSysMiss=*/true) {
    BenchData& data = Data();
    fSpecs.SetStrongListWise(missing == Missing::Listwise);
    for (int v : data.fvCat) fSpecs.AddVariable(v, true);
    for (int v : data.fvCont) fSpecs.AddVariable(v, false);
    fSpecs.SetWeightVar();
    fSpecs.SetCaseCount();
    fSpecs.SetGlobalCount();
    fpAdapter = std::make_unique<KVOInputAdapter>(&fSpecs, data.fDataSource);
    fpIter = std::make_unique<KVOProcDataSourceIter>(*fpAdapter, false);
  }
};

// A 70/30 random partition over the same variables with listwise deletion,
// the partition indicator in the slot after the continuous variables; the
// second pass writes one file per partition (no statistics). The random
// stream is re-seeded, so every setup draws the same partitions.
struct PartitionSetup {
  KVOVarValidSpecs fSpecs{false, true, true};
  KVOUniformRandom fRandom;
  std::unique_ptr<KVOPartitionAdapter> fpAdapter;
  std::unique_ptr<KVOProcDataSourceIter> fpIter;
  int fPartSlot = -1;

  PartitionSetup() {
    BenchData& data = Data();
    fSpecs.SetStrongListWise(true);
    for (int v : data.fvCat) fSpecs.AddVariable(v, true);
    for (int v : data.fvCont) fSpecs.AddVariable(v, false);
    fPartSlot = fSpecs.AddFreeVariable(true);
    fSpecs.SetWeightVar();
    fSpecs.SetCaseCount();
    fSpecs.SetGlobalCount();
    standin::SetRandomSeed(PARTITION_SEED);
    fpAdapter = std::make_unique<KVOPartitionAdapter>(&fSpecs, data.fDataSource, std::vector<double>{70, 30},
                                                      &fRandom, false);
    fpAdapter->SetPartIterOptions(true, false, fPartSlot);
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

void BM_LibraryFirstPass(benchmark::State& state, Missing missing) {
  Data();
  int64_t nRecords = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto setup = std::make_unique<LibrarySetup>(missing);
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

void BM_LibrarySecondPass(benchmark::State& state, Missing missing) {
  Data();
  LibrarySetup setup(missing);
  int64_t nRecords = 0;
  PullPass(*setup.fpIter, nRecords);  // the first pass, untimed
  nRecords = 0;
  for (auto _ : state) benchmark::DoNotOptimize(PullPass(*setup.fpIter, nRecords));
  state.counters["cases/s"] = benchmark::Counter(
      static_cast<double>(N_CASES) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["records"] = static_cast<double>(nRecords) / static_cast<double>(state.iterations());
}

// The second pass of a fresh partition setup each iteration (its first pass
// untimed): reading, encoding, partitioning and writing the files, completed.
void BM_PartitionedSecondPass(benchmark::State& state) {
  Data();
  int64_t nRecords = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto setup = std::make_unique<PartitionSetup>();
    int64_t firstPass = 0;
    PullPass(*setup->fpIter, firstPass);
    setup->fpAdapter->CompleteSplit();
    state.ResumeTiming();
    benchmark::DoNotOptimize(PullPass(*setup->fpIter, nRecords));
    if (!setup->fpAdapter->CompleteSplit()) {
      state.SkipWithError("the partition files could not be completed");
      break;
    }
    state.PauseTiming();
    setup.reset();  // removes the files
    state.ResumeTiming();
  }
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
// range, the counters, each record written into one of two buffers. With
// Missing::Listwise a case with a missing value is deleted before any of its
// values is encoded. `keep`, when given, receives a copy of every record.
struct HandLoop {
  std::vector<CodeTable> fvTables = std::vector<CodeTable>(N_CAT);
  std::vector<double> fvMin = std::vector<double>(N_CONT, SYSMIS);
  std::vector<double> fvMax = std::vector<double>(N_CONT, SYSMIS);

  double Pass(bool collecting, int64_t& nRecords, Missing missing = Missing::Include,
              std::vector<double>* keep = nullptr) {
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
      if (missing == Missing::Listwise && HasMissing(cells, catOffsets, contOffsets)) continue;
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
      if (keep != nullptr) keep->insert(keep->end(), r, r + recordSize);
      current ^= 1;
    }
    benchmark::DoNotOptimize(weightValid);
    benchmark::DoNotOptimize(weightInvalid);
    return sum;
  }

  static bool HasMissing(const OBS* cells, const std::vector<size_t>& catOffsets,
                         const std::vector<size_t>& contOffsets) {
    for (size_t offset : catOffsets) {
      const double value = cells[offset].num;
      if (value == SYSMIS || value == CAT_USER_MISSING) return true;
    }
    for (size_t offset : contOffsets) {
      const double value = cells[offset].num;
      if (value == SYSMIS || value == CONT_USER_MISSING) return true;
    }
    return false;
  }
};

void BM_HandLoopFirstPass(benchmark::State& state, Missing missing) {
  Data();
  int64_t nRecords = 0;
  for (auto _ : state) {
    HandLoop loop;
    benchmark::DoNotOptimize(loop.Pass(true, nRecords, missing));
  }
  state.counters["cases/s"] = benchmark::Counter(
      static_cast<double>(N_CASES) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["records"] = static_cast<double>(nRecords) / static_cast<double>(state.iterations());
}

void BM_HandLoopSecondPass(benchmark::State& state, Missing missing) {
  Data();
  HandLoop loop;
  int64_t nRecords = 0;
  loop.Pass(true, nRecords, missing);
  nRecords = 0;
  for (auto _ : state) benchmark::DoNotOptimize(loop.Pass(false, nRecords, missing));
  state.counters["cases/s"] = benchmark::Counter(
      static_cast<double>(N_CASES) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["records"] = static_cast<double>(nRecords) / static_cast<double>(state.iterations());
}

BENCHMARK_CAPTURE(BM_LibraryFirstPass, include, Missing::Include)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_LibrarySecondPass, include, Missing::Include)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_HandLoopFirstPass, include, Missing::Include)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_HandLoopSecondPass, include, Missing::Include)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_LibraryFirstPass, listwise, Missing::Listwise)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_LibrarySecondPass, listwise, Missing::Listwise)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_HandLoopFirstPass, listwise, Missing::Listwise)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_HandLoopSecondPass, listwise, Missing::Listwise)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_PartitionedSecondPass)->Unit(benchmark::kMillisecond)->Iterations(3);

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
    for (const char* mode : {"include", "listwise"}) {
      const std::string suffix = std::string("/") + mode;
      PrintRatio(("first pass, " + std::string(mode)).c_str(), "BM_LibraryFirstPass" + suffix,
                 "BM_HandLoopFirstPass" + suffix);
      PrintRatio(("second pass, " + std::string(mode)).c_str(), "BM_LibrarySecondPass" + suffix,
                 "BM_HandLoopSecondPass" + suffix);
    }
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

// --- Modes for bench/run.py ------------------------------------------------------

constexpr int RECORD_SIZE = N_CAT + N_CONT + 3;

// Pulls a whole pass (a new one when the iterator has run before) and keeps
// every record.
std::vector<double> CollectPass(KVOProcDataSourceIter& iter, int size) {
  std::vector<double> records;
  if (iter.NewPass() != 0) return records;
  while (const QorCommon::Record* record = iter.Next()) {
    records.insert(records.end(), record->GetAll(), record->GetAll() + size);
  }
  return records;
}

std::vector<double> ReadRecords(KVODataFileIter* file, int size) {
  std::vector<double> records;
  if (file == nullptr || file->NewPass() != 0) return records;
  while (const QorCommon::Record* record = file->Next()) {
    records.insert(records.end(), record->GetAll(), record->GetAll() + size);
  }
  return records;
}

// Whether two record sets agree; if not, says where they part.
bool SameRecords(const char* what, const std::vector<double>& expected, const std::vector<double>& actual) {
  if (expected.size() != actual.size()) {
    std::fprintf(stderr, "%s: %zu records, expected %zu\n", what, actual.size() / RECORD_SIZE,
                 expected.size() / RECORD_SIZE);
    return false;
  }
  for (size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] != actual[i]) {
      std::fprintf(stderr, "%s: record %zu, slot %zu is %.17g, expected %.17g\n", what, i / RECORD_SIZE,
                   i % RECORD_SIZE, actual[i], expected[i]);
      return false;
    }
  }
  return true;
}

// The listwise records of the library's two passes, of the hand loop's two
// passes and of the two partition files (indicator removed, in case order)
// must agree; they are then written to `path` for the pandas peer to check.
int CheckRecords(const std::string& path) {
  LibrarySetup library(Missing::Listwise);
  const std::vector<double> first = CollectPass(*library.fpIter, RECORD_SIZE);
  const std::vector<double> second = CollectPass(*library.fpIter, RECORD_SIZE);
  HandLoop loop;
  int64_t nRecords = 0;
  std::vector<double> handFirst, handSecond;
  loop.Pass(true, nRecords, Missing::Listwise, &handFirst);
  loop.Pass(false, nRecords, Missing::Listwise, &handSecond);
  bool same = !first.empty() && SameRecords("library, second pass", first, second) &&
              SameRecords("hand loop, first pass", first, handFirst) &&
              SameRecords("hand loop, second pass", first, handSecond);

  PartitionSetup partition;
  const int size = RECORD_SIZE + 1;
  CollectPass(*partition.fpIter, size);
  partition.fpAdapter->CompleteSplit();
  const std::vector<double> handedOut = CollectPass(*partition.fpIter, size);
  partition.fpAdapter->CompleteSplit();
  std::vector<std::vector<double>> filed;
  size_t nTraining = 0;
  for (int part = 0; part < 2; ++part) {
    const std::vector<double> records = ReadRecords(partition.fpAdapter->GetPartSeparIters()[part], size);
    if (part == 0) nTraining = records.size() / size;
    for (size_t r = 0; r < records.size(); r += size) {
      const double* record = &records[r];
      if (record[partition.fPartSlot] != (part == 0 ? 1.0 : 0.0)) {
        std::fprintf(stderr, "partition file %d holds a record marked %g\n", part,
                     record[partition.fPartSlot]);
        same = false;
      }
      std::vector<double> stripped(record, record + size);
      stripped.erase(stripped.begin() + partition.fPartSlot);
      filed.push_back(std::move(stripped));
    }
  }
  // The global case number, last in the record, orders the cases.
  std::sort(filed.begin(), filed.end(), [](const auto& a, const auto& b) { return a.back() < b.back(); });
  // The partition's codes follow the order in which training cases brought
  // the values (only they reach the encoders in the first pass), so both
  // sides are compared by value. The files are written before the local
  // case counter is stored (it is stored last, once the record is handed
  // on), so that slot holds an earlier record's counter there and is left
  // out of the comparison.
  constexpr size_t LOCAL_SLOT = N_CAT + N_CONT + 1;
  auto byValue = [](const KVOInputAdapter& adapter, std::vector<double>& record) {
    for (int slot = 0; slot < N_CAT; ++slot) {
      const OBS* value = adapter.DecodeRecordCatValue(slot, static_cast<int>(record[slot]));
      record[slot] = value != nullptr ? value->num : SYSMIS;
    }
    record[LOCAL_SLOT] = 0;
  };
  std::vector<double> flat, expected;
  for (auto& record : filed) {
    byValue(*partition.fpAdapter, record);
    flat.insert(flat.end(), record.begin(), record.end());
  }
  for (size_t r = 0; r < first.size(); r += RECORD_SIZE) {
    std::vector<double> record(first.begin() + r, first.begin() + r + RECORD_SIZE);
    byValue(*library.fpAdapter, record);
    expected.insert(expected.end(), record.begin(), record.end());
  }
  same = same && SameRecords("partition files", expected, flat);
  if (handedOut.size() / size != filed.size()) {
    std::fprintf(stderr, "the second pass handed out %zu records, the files hold %zu\n",
                 handedOut.size() / size, filed.size());
    same = false;
  }

  const size_t n = first.size() / RECORD_SIZE;
  if (!same) return 1;
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr || std::fwrite(first.data(), sizeof(double), first.size(), out) != first.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "%s: cannot write the records\n", path.c_str());
    return 1;
  }
  std::printf(
      "%d cases, %zu listwise records: the library's passes, the hand loop and the partition files "
      "agree (%.1f%% in training)\n",
      N_CASES, n, 100.0 * static_cast<double>(nTraining) / static_cast<double>(n));
  return 0;
}

// Writes the cases for the peers: raw doubles, and a CSV file with its schema.
int WriteData(const std::string& directory) {
  BenchData& data = Data();
  const standin::MemoryDataSource& ds = data.fDataSource;
  std::vector<size_t> offsets;
  for (int v : data.fvCat) offsets.push_back(ds.CellOffset(v));
  for (int v : data.fvCont) offsets.push_back(ds.CellOffset(v));
  offsets.push_back(ds.CellOffset(data.fWeight));

  std::FILE* raw = std::fopen((directory + "/cases.f64").c_str(), "wb");
  std::FILE* csv = std::fopen((directory + "/cases.csv").c_str(), "wb");
  std::FILE* schema = std::fopen((directory + "/cases.schema.json").c_str(), "wb");
  if (raw == nullptr || csv == nullptr || schema == nullptr) {
    std::fprintf(stderr, "%s: cannot write the data files\n", directory.c_str());
    return 1;
  }
  std::string line;
  for (int i = 0; i < N_CAT; ++i) line += "c" + std::to_string(i) + ",";
  for (int i = 0; i < N_CONT; ++i) line += "x" + std::to_string(i) + ",";
  line += "w\n";
  std::fputs(line.c_str(), csv);
  std::vector<double> values(offsets.size());
  char number[64];
  for (size_t row = 0; row < ds.NumCases(); ++row) {
    const OBS* cells = ds.Row(row);
    line.clear();
    for (size_t i = 0; i < offsets.size(); ++i) {
      const double value = cells[offsets[i]].num;
      values[i] = value;
      if (i > 0) line.push_back(',');
      if (value == SYSMIS) continue;  // an empty cell
      const bool integral = i < N_CAT || value == CONT_USER_MISSING;
      const auto end =
          integral ? std::to_chars(number, number + sizeof number, static_cast<int>(value)).ptr
                   : std::to_chars(number, number + sizeof number, value, std::chars_format::fixed, 3).ptr;
      line.append(number, end);
    }
    line.push_back('\n');
    std::fwrite(values.data(), sizeof(double), values.size(), raw);
    std::fwrite(line.data(), 1, line.size(), csv);
  }
  std::string fields;
  for (int i = 0; i < N_CAT; ++i) {
    fields += R"(    {"name": "c)" + std::to_string(i) +
              R"(", "type": "integer", "measure": "nominal", "userMissing": {"values": [99]}},)" + "\n";
  }
  for (int i = 0; i < N_CONT; ++i) {
    fields += R"(    {"name": "x)" + std::to_string(i) +
              R"(", "type": "number", "userMissing": {"values": [-1]}},)" + "\n";
  }
  fields += R"(    {"name": "w", "type": "number"})";
  std::fprintf(schema, "{\"fields\": [\n%s\n]}\n", fields.c_str());
  const bool ok = std::fclose(raw) == 0 && std::fclose(csv) == 0 && std::fclose(schema) == 0;
  if (!ok) std::fprintf(stderr, "%s: cannot write the data files\n", directory.c_str());
  return ok ? 0 : 1;
}

// The value of `--name=VALUE` in argv, removed from it; empty when absent.
std::string TakeOption(int& argc, char** argv, std::string_view name) {
  const std::string prefix = "--" + std::string(name) + "=";
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]).substr(0, prefix.size()) == prefix) {
      std::string value = argv[i] + prefix.size();
      std::copy(argv + i + 1, argv + argc, argv + i);
      --argc;
      return value;
    }
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  standin::SetEchoMessages(false);
  const std::string dataDirectory = TakeOption(argc, argv, "write_data");
  const std::string recordsPath = TakeOption(argc, argv, "check_records");
  if (!dataDirectory.empty()) return WriteData(dataDirectory);
  if (!recordsPath.empty()) return CheckRecords(recordsPath);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
