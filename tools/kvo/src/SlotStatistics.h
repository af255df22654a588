// Per-slot statistics of a stream of records, kept the way the library's
// partition statistics are: categorical slots and system-missing values are
// skipped, min and max stay system-missing until a value is seen, the mean
// and the mean of squares divide by the number of records. One thread; owns
// its tables.
#ifndef KVO_TOOL_SLOTSTATISTICS_H
#define KVO_TOOL_SLOTSTATISTICS_H

#include <cstdint>
#include <vector>

namespace kvo {

class SlotStatistics {
 public:
  // One flag per record slot: true for a categorical slot.
  explicit SlotStatistics(std::vector<bool> categorical);
  SlotStatistics(const SlotStatistics&) = default;
  SlotStatistics& operator=(const SlotStatistics&) = default;

  // Adds one record of the record size. Allocates nothing.
  void Add(const double* record);
  // Computes the means from the sums; call once after the last Add.
  void Complete();

  int64_t Count() const { return fCount; }
  const std::vector<double>& Min() const { return fvMin; }
  const std::vector<double>& Max() const { return fvMax; }
  const std::vector<double>& Mean() const { return fvMean; }
  const std::vector<double>& MeanSquare() const { return fvMeanSquare; }

 private:
  std::vector<bool> fvCategorical;
  int64_t fCount = 0;
  std::vector<double> fvMin, fvMax, fvSum, fvSumSquare, fvMean, fvMeanSquare;
};

}  // namespace kvo

#endif  // KVO_TOOL_SLOTSTATISTICS_H
