#include "SlotStatistics.h"

#include <vorm/Types.h>

namespace kvo {

SlotStatistics::SlotStatistics(std::vector<bool> categorical, int weightSlot)
    : fvCategorical(std::move(categorical)),
      fWeightSlot(weightSlot),
      fvCodeCounts(fvCategorical.size()),
      fvCodeWeights(fvCategorical.size()),
      fvMissingCounts(fvCategorical.size(), 0),
      fvMissingWeights(fvCategorical.size(), 0.0),
      fvMin(fvCategorical.size(), VORM_SYSMIS),
      fvMax(fvCategorical.size(), VORM_SYSMIS),
      fvSum(fvCategorical.size(), 0.0),
      fvSumSquare(fvCategorical.size(), 0.0),
      fvMean(fvCategorical.size(), 0.0),
      fvMeanSquare(fvCategorical.size(), 0.0) {}

void SlotStatistics::Add(const double* record) {
  ++fCount;
  const double weight = fWeightSlot >= 0 ? record[fWeightSlot] : 1.0;
  for (size_t i = 0; i < fvCategorical.size(); ++i) {
    const double v = record[i];
    if (fvCategorical[i]) {
      AddCode(i, v, weight);
      continue;
    }
    if (v == VORM_SYSMIS) continue;
    if (fvMin[i] == VORM_SYSMIS || v < fvMin[i]) fvMin[i] = v;
    if (fvMax[i] == VORM_SYSMIS || v > fvMax[i]) fvMax[i] = v;
    fvSum[i] += v;
    fvSumSquare[i] += v * v;
  }
}

void SlotStatistics::AddCode(size_t slot, double code, double weight) {
  if (!(code >= 0.0) || code == VORM_SYSMIS) {
    ++fvMissingCounts[slot];
    fvMissingWeights[slot] += weight;
    return;
  }
  const size_t index = static_cast<size_t>(code);
  std::vector<int64_t>& counts = fvCodeCounts[slot];
  if (index >= counts.size()) {
    counts.resize(index + 1, 0);
    fvCodeWeights[slot].resize(index + 1, 0.0);
  }
  ++counts[index];
  fvCodeWeights[slot][index] += weight;
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
