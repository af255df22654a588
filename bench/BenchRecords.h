// Shared pieces of the record benchmarks: fixed-seed record data laid out
// flat, and a record iterator that hands those records out one by one like
// a data pass would. One thread; the iterator borrows the data.
#ifndef KVO_BENCH_BENCHRECORDS_H
#define KVO_BENCH_BENCHRECORDS_H

#include <qor/Record.h>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

namespace kvo_bench {

// `count` records of `recordSize` doubles: column 0 the input position,
// column 3 one of 100 codes (many ties), the rest uniform in [0, 1000).
inline std::vector<double> MakeRecords(size_t count, int recordSize, uint64_t seed) {
  std::mt19937_64 generator(seed);
  std::uniform_real_distribution<double> uniform(0.0, 1000.0);
  std::vector<double> data(count * static_cast<size_t>(recordSize));
  for (size_t r = 0; r < count; ++r) {
    double* record = &data[r * static_cast<size_t>(recordSize)];
    for (int c = 0; c < recordSize; ++c) record[c] = uniform(generator);
    record[0] = static_cast<double>(r);
    if (recordSize > 3) record[3] = static_cast<double>(generator() % 100);
  }
  return data;
}

class FlatRecordSource : public QorCommon::RecordIterator {
 public:
  FlatRecordSource(const std::vector<double>& data, int recordSize)
      : fpData(data.data()), fCount(data.size() / static_cast<size_t>(recordSize)), fRecord(recordSize) {}
  FlatRecordSource(const FlatRecordSource&) = delete;
  FlatRecordSource& operator=(const FlatRecordSource&) = delete;

  bool HasMore() const override { return fNext < fCount; }
  const QorCommon::Record* Next() override {
    if (fNext == fCount) return nullptr;
    const size_t size = static_cast<size_t>(fRecord.GetSize());
    std::memcpy(fRecord.GetAll(), fpData + fNext++ * size, size * sizeof(double));
    return &fRecord;
  }
  int GetFailReason() const override { return HasMore() ? 0 : 1; }

 private:
  const double* fpData;
  size_t fCount;
  QorCommon::Record fRecord;
  size_t fNext = 0;
};

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace kvo_bench

#endif  // KVO_BENCH_BENCHRECORDS_H
