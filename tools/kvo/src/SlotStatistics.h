// Per-slot statistics of a stream of records, kept the way the library's
// partition statistics are: categorical slots and system-missing values are
// skipped, min and max stay system-missing until a value is seen, the mean
// and the mean of squares divide by the number of records. One thread; owns
// its tables.
#ifndef KVO_TOOL_SLOTSTATISTICS_H
#define KVO_TOOL_SLOTSTATISTICS_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvo {

class SlotStatistics {
 public:
  // One flag per record slot: true for a categorical slot. `weightSlot`:
  // the record slot of the case weight, -1 for none.
  explicit SlotStatistics(std::vector<bool> categorical, int weightSlot = -1);
  SlotStatistics(const SlotStatistics&) = default;
  SlotStatistics& operator=(const SlotStatistics&) = default;

  // Adds one record of the record size. Allocates only for a code above
  // every code seen before.
  void Add(const double* record);
  // Computes the means from the sums; call once after the last Add.
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

 private:
  void AddCode(size_t slot, double code, double weight);

  std::vector<bool> fvCategorical;
  int fWeightSlot;
  int64_t fCount = 0;
  std::vector<std::vector<int64_t>> fvCodeCounts;
  std::vector<std::vector<double>> fvCodeWeights;
  std::vector<int64_t> fvMissingCounts;
  std::vector<double> fvMissingWeights;
  std::vector<double> fvMin, fvMax, fvSum, fvSumSquare, fvMean, fvMeanSquare;
};

}  // namespace kvo

#endif  // KVO_TOOL_SLOTSTATISTICS_H
