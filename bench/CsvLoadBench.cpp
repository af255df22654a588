// Loading speed of the CSV loader: a generated file of 1,000,000 rows by 20
// columns (numbers, integers, booleans, strings, some quoted, some missing)
// under the temporary directory, fixed seed. Reports rows per second, with
// all string widths declared and with one width taken from the data (which
// reads the file twice). KVO_CSV_BENCH_ROWS=<n> in the environment changes
// the row count (e.g. 10000000 for the full-size check).
//
// With --csv=FILE --schema=FILE.json it loads that file instead and reports
// its speed in MB/s beside the speed of memchr finding every line end in the
// same bytes (held in memory): how close loading comes to the cheapest scan
// of the file the machine can do (bench/run.py's CSV row).
#include <benchmark/benchmark.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "standin/CsvLoader.h"
#include "standin/HostControl.h"

namespace {

constexpr int64_t DEFAULT_ROWS = 1000000;
int64_t ROWS = DEFAULT_ROWS;
constexpr uint64_t SEED = 20240517;

std::string CsvPath() { return standin::TempDirectory() + "/csv_load_bench.csv"; }

// id, x1..x12 (numbers), n1..n3 (integers), b1, b2 (booleans), code (string
// of at most 8 bytes), name (string of up to 14 bytes, sometimes quoted).
void WriteCsv(const std::string& path) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return;
  std::mt19937_64 random(SEED);
  std::uniform_real_distribution<double> uniform(-1000.0, 1000.0);
  std::string line = "id";
  for (int i = 1; i <= 12; ++i) line += ",x" + std::to_string(i);
  line += ",n1,n2,n3,b1,b2,code,name\n";
  std::fputs(line.c_str(), out);
  static const char* NAMES[] = {"Smith", "\"Lee, Ann\"", "Garcia", "\"O\"\"Brien\"", "Kowalski", "Nguyen"};
  char number[64];
  for (int64_t row = 1; row <= ROWS; ++row) {
    line.clear();
    line += std::to_string(row);
    for (int i = 0; i < 12; ++i) {
      line.push_back(',');
      if (random() % 100 == 0) continue;  // system-missing
      auto end =
          std::to_chars(number, number + sizeof number, uniform(random), std::chars_format::fixed, 3).ptr;
      line.append(number, end);
    }
    for (int i = 0; i < 3; ++i) line += "," + std::to_string(static_cast<int>(random() % 200) - 20);
    line += random() % 2 ? ",1" : ",0";
    line += random() % 2 ? ",true" : ",false";
    line += ",grp_" + std::to_string(random() % 1000);
    line += ",";
    const char* name = NAMES[random() % 6];
    line += name;
    if (name[0] != '"' && random() % 4 == 0) line += " Jr";
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), out);
  }
  std::fclose(out);
}

std::string Schema(bool nameWidthFromData) {
  std::string fields = R"({"name": "id", "type": "integer"})";
  for (int i = 1; i <= 12; ++i) fields += R"(, {"name": "x)" + std::to_string(i) + R"(", "type": "number"})";
  for (int i = 1; i <= 3; ++i) fields += R"(, {"name": "n)" + std::to_string(i) + R"(", "type": "integer"})";
  fields += R"(, {"name": "b1", "type": "boolean"}, {"name": "b2", "type": "boolean"})";
  fields += R"(, {"name": "code", "type": "string", "constraints": {"maxLength": 8}})";
  fields += nameWidthFromData ? R"(, {"name": "name", "type": "string"})"
                              : R"(, {"name": "name", "type": "string", "constraints": {"maxLength": 16}})";
  return R"({"fields": [)" + fields + "]}";
}

void LoadCsv(benchmark::State& state) {
  const bool fromData = state.range(0) != 0;
  standin::CsvSchema schema;
  std::string error;
  if (!standin::ParseSchema(Schema(fromData), "bench", schema, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::string path = CsvPath();
  for (auto _ : state) {
    auto data = standin::LoadCsvDataSource(path, schema, standin::CsvOptions(), error);
    if (data == nullptr || data->NumCases() != static_cast<size_t>(ROWS)) {
      state.SkipWithError(error.c_str());
      return;
    }
    benchmark::DoNotOptimize(data->Row(ROWS - 1));
  }
  state.counters["rows_per_second"] =
      benchmark::Counter(static_cast<double>(ROWS), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(LoadCsv)->ArgName("width_from_data")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

std::string gCsvFile;
std::string gSchemaFile;

// One repetition: the file loaded (from the page cache after the first
// run), then memchr over the same bytes in memory.
void LoadGivenCsv(benchmark::State& state) {
  standin::CsvSchema schema;
  std::string error;
  if (!standin::LoadSchema(gSchemaFile, schema, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  std::ifstream in(gCsvFile, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    state.SkipWithError("cannot read the CSV file");
    return;
  }
  const double megabytes = static_cast<double>(bytes.size()) / 1e6;
  double loadSeconds = 0.0, scanSeconds = 0.0;
  size_t lines = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    auto data = standin::LoadCsvDataSource(gCsvFile, schema, standin::CsvOptions(), error);
    if (data == nullptr) {
      state.SkipWithError(error.c_str());
      return;
    }
    benchmark::DoNotOptimize(data->Row(0));
    auto middle = std::chrono::steady_clock::now();
    lines = 0;
    for (const char* at = bytes.data();
         const void* found = std::memchr(at, '\n', bytes.data() + bytes.size() - at);
         at = static_cast<const char*>(found) + 1) {
      ++lines;
    }
    benchmark::DoNotOptimize(lines);
    auto end = std::chrono::steady_clock::now();
    loadSeconds += std::chrono::duration<double>(middle - start).count();
    scanSeconds += std::chrono::duration<double>(end - middle).count();
    data.reset();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["load_MB_per_s"] = megabytes * n / loadSeconds;
  state.counters["memchr_MB_per_s"] = megabytes * n / scanSeconds;
  state.counters["load_vs_memchr"] = scanSeconds / loadSeconds;
  state.counters["lines"] = static_cast<double>(lines);
}

std::string TakeOption(int& argc, char** argv, const char* name) {
  const std::string prefix = std::string("--") + name + "=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) {
      std::string value = argv[i] + prefix.size();
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      return value;
    }
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  gCsvFile = TakeOption(argc, argv, "csv");
  gSchemaFile = TakeOption(argc, argv, "schema");
  benchmark::Initialize(&argc, argv);
  if (!gCsvFile.empty()) {
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RegisterBenchmark("LoadGivenCsv", LoadGivenCsv)->Unit(benchmark::kMillisecond)->Iterations(1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
  }
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (const char* rows = std::getenv("KVO_CSV_BENCH_ROWS"); rows != nullptr && std::atoll(rows) > 0) {
    ROWS = std::atoll(rows);
  }
  WriteCsv(CsvPath());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(CsvPath().c_str());
  return 0;
}
