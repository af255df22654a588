// Writing and re-reading records through KVODataFileIter against plain C
// streams moving the same bytes in the same record-sized blocks, measured in
// the same run and alternated so all see the same machine load. The ratio
// speed_vs_plain is the iterator's speed relative to plain stdio with its
// default buffer (target: at least 0.70); speed_vs_plain_same_buffer compares
// with plain stdio given the iterator's buffer size, which isolates the
// iterator's own cost per record.
#include <benchmark/benchmark.h>
#include <kvoadapter/KVODataFileIter.h>

#include <cstdio>
#include <string>

#include "BenchRecords.h"
#include "standin/HostControl.h"

namespace {

constexpr int RECORD_SIZE = 22;
constexpr size_t RECORDS = 500000;                  // 88 MB
constexpr size_t BUFFER_BYTES = size_t{256} << 10;  // as the iterator's stream buffer

// Writes every record, completes the file and reads it back; returns the
// sum of column 0 so nothing is optimised away.
double ThroughIterator(const std::vector<double>& data) {
  KVODataFileIter iter(RECORD_SIZE);
  for (size_t r = 0; r < RECORDS; ++r) iter.AddNewRecord(&data[r * RECORD_SIZE]);
  if (!iter.CompleteDataFile()) return -1;
  double sum = 0;
  while (const QorCommon::Record* record = iter.Next()) sum += record->GetAll()[0];
  return sum;
}

// The same through plain C streams, with their default buffer or, when
// `buffer` is given, with the iterator's buffer size.
double ThroughPlainStdio(const std::vector<double>& data, char* buffer) {
  const std::string path = standin::TempDirectory() + "/kvo_bench_plain.bin";
  FILE* out = std::fopen(path.c_str(), "w+b");
  if (out == nullptr) return -1;
  if (buffer != nullptr) std::setvbuf(out, buffer, _IOFBF, BUFFER_BYTES);
  for (size_t r = 0; r < RECORDS; ++r) std::fwrite(&data[r * RECORD_SIZE], sizeof(double), RECORD_SIZE, out);
  std::fclose(out);
  FILE* in = std::fopen(path.c_str(), "r+b");
  if (in == nullptr) return -1;
  if (buffer != nullptr) std::setvbuf(in, buffer, _IOFBF, BUFFER_BYTES);
  double record[RECORD_SIZE];
  double sum = 0;
  while (std::fread(record, sizeof(double), RECORD_SIZE, in) == RECORD_SIZE) sum += record[0];
  std::fclose(in);
  std::remove(path.c_str());
  return sum;
}

void BM_DataFileWriteRead(benchmark::State& state) {
  const std::vector<double> data = kvo_bench::MakeRecords(RECORDS, RECORD_SIZE, 42);
  std::vector<char> buffer(BUFFER_BYTES);
  double iterSeconds = 0;
  double plainSeconds = 0;
  double bufferedSeconds = 0;
  int turn = 0;
  for (auto _ : state) {
    double sums[3] = {};
    double times[3] = {};
    // Rotate the order of the three paths from one iteration to the next.
    for (int k = 0; k < 3; ++k) {
      const int path = (k + turn) % 3;
      const auto start = std::chrono::steady_clock::now();
      sums[path] =
          path == 0 ? ThroughIterator(data) : ThroughPlainStdio(data, path == 2 ? buffer.data() : nullptr);
      times[path] = kvo_bench::SecondsSince(start);
    }
    ++turn;
    if (sums[0] != sums[1] || sums[0] != sums[2] || sums[0] < 0) {
      state.SkipWithError("the paths read different data");
      break;
    }
    iterSeconds += times[0];
    plainSeconds += times[1];
    bufferedSeconds += times[2];
    state.SetIterationTime(times[0]);
  }
  const double records = static_cast<double>(RECORDS) * static_cast<double>(state.iterations());
  state.counters["records_per_s"] = records / iterSeconds;
  state.counters["plain_records_per_s"] = records / plainSeconds;
  state.counters["speed_vs_plain"] = plainSeconds / iterSeconds;
  state.counters["speed_vs_plain_same_buffer"] = bufferedSeconds / iterSeconds;
  state.SetBytesProcessed(static_cast<int64_t>(records * RECORD_SIZE * sizeof(double) * 2));
}
BENCHMARK(BM_DataFileWriteRead)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
