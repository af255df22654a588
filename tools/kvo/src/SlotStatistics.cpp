#include "SlotStatistics.h"

#include <vorm/Types.h>

namespace kvo {

SlotStatistics::SlotStatistics(std::vector<bool> categorical)
    : fvCategorical(std::move(categorical)),
      fvMin(fvCategorical.size(), VORM_SYSMIS),
      fvMax(fvCategorical.size(), VORM_SYSMIS),
      fvSum(fvCategorical.size(), 0.0),
      fvSumSquare(fvCategorical.size(), 0.0),
      fvMean(fvCategorical.size(), 0.0),
      fvMeanSquare(fvCategorical.size(), 0.0) {}

void SlotStatistics::Add(const double* record) {
  ++fCount;
  for (size_t i = 0; i < fvCategorical.size(); ++i) {
    const double v = record[i];
    if (fvCategorical[i] || v == VORM_SYSMIS) continue;
    if (fvMin[i] == VORM_SYSMIS || v < fvMin[i]) fvMin[i] = v;
    if (fvMax[i] == VORM_SYSMIS || v > fvMax[i]) fvMax[i] = v;
    fvSum[i] += v;
    fvSumSquare[i] += v * v;
  }
}

void SlotStatistics::Complete() {
  if (fCount == 0) return;
  const double n = static_cast<double>(fCount);
  for (size_t i = 0; i < fvCategorical.size(); ++i) {
    fvMean[i] = fvSum[i] / n;
    fvMeanSquare[i] = fvSumSquare[i] / n;
  }
}

}  // namespace kvo
