// Per-slot statistics of a stream of records, kept the way the library's
// partition statistics are: categorical slots and system-missing values are
// skipped, min and max stay system-missing until a value is seen, the mean
// and the mean of squares divide by the number of records. The code counts
// are kept per partition too, and chosen slots get a histogram per
// partition (Histogram.h), so that a run's report can set the partitions
// side by side without another pass over the data. One thread; owns its
// tables.
#ifndef KVO_TOOL_SLOTSTATISTICS_H
#define KVO_TOOL_SLOTSTATISTICS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Histogram.h"

namespace kvo {

class SlotStatistics {
 public:
  // One flag per record slot: true for a categorical slot. `weightSlot`:
  // the record slot of the case weight, -1 for none. Every record is in
  // partition 0 until KeepPartitions says otherwise.
  explicit SlotStatistics(std::vector<bool> categorical, int weightSlot = -1);
  SlotStatistics(const SlotStatistics&) = default;
  SlotStatistics& operator=(const SlotStatistics&) = default;

  // Before the first Add. `partitionSlot`: the record slot of the partition
  // indicator (1 training, 0 test, -1 holdout; -1 for none: one partition);
  // `partitions`: 1 to 3; `histogramSlots`: the (non-categorical) slots
  // that get a histogram.
  void KeepPartitions(int partitionSlot, size_t partitions, const std::vector<int>& histogramSlots);

  // Adds one record of the record size. Allocates only for a code above
  // every code seen before in its partition.
  void Add(const double* record);
  // Computes the means and the totals over the partitions; call once after
  // the last Add.
  void Complete();

  int64_t Count() const { return fCount; }
  const std::vector<double>& Min() const { return fvMin; }
  const std::vector<double>& Max() const { return fvMax; }
  const std::vector<double>& Mean() const { return fvMean; }
  const std::vector<double>& MeanSquare() const { return fvMeanSquare; }
  // Per slot, the records with each code 0, 1, ... (empty for other slots),
  // and the same weighted; code -1 and system-missing count as missing.
  const std::vector<std::vector<int64_t>>& CodeCounts() const { return fvCodeCounts; }
  const std::vector<std::vector<double>>& CodeWeights() const { return fvCodeWeights; }
  const std::vector<int64_t>& MissingCounts() const { return fvMissingCounts; }
  const std::vector<double>& MissingWeights() const { return fvMissingWeights; }

  // The same per partition (0 training, 1 test, 2 holdout), plainly.
  size_t Partitions() const { return fvParts.size(); }
  const std::vector<std::vector<int64_t>>& CodeCounts(size_t partition) const {
    return fvParts[partition].fvCodeCounts;
  }
  const std::vector<int64_t>& MissingCounts(size_t partition) const {
    return fvParts[partition].fvMissingCounts;
  }
  // The histogram of a slot given to KeepPartitions; null for other slots.
  const Histogram* HistogramOf(int slot) const;

 private:
  struct Part {
    std::vector<std::vector<int64_t>> fvCodeCounts;
    std::vector<std::vector<double>> fvCodeWeights;
    std::vector<int64_t> fvMissingCounts;
    std::vector<double> fvMissingWeights;
  };

  static void AddCode(Part& part, size_t slot, double code, double weight);
  // The partition of a record: 0 without a partition slot.
  size_t PartitionOf(const double* record) const;

  std::vector<bool> fvCategorical;
  int fWeightSlot;
  int fPartitionSlot = -1;
  int64_t fCount = 0;
  std::vector<Part> fvParts;
  std::vector<int> fvSlotHistogram;  // per slot: its histogram's index, or -1
  std::vector<Histogram> fvHistograms;
  std::vector<std::vector<int64_t>> fvCodeCounts;
  std::vector<std::vector<double>> fvCodeWeights;
  std::vector<int64_t> fvMissingCounts;
  std::vector<double> fvMissingWeights;
  std::vector<double> fvMin, fvMax, fvSum, fvSumSquare, fvMean, fvMeanSquare;
};

}  // namespace kvo

#endif  // KVO_TOOL_SLOTSTATISTICS_H
