#include "SlotStatistics.h"

#include <vorm/Types.h>

namespace kvo {
namespace {

// Adds `from` to `to`, which grows to its length.
template <class T>
void AddTo(std::vector<T>& to, const std::vector<T>& from) {
  if (to.size() < from.size()) to.resize(from.size(), T());
  for (size_t i = 0; i < from.size(); ++i) to[i] += from[i];
}

}  // namespace

SlotStatistics::SlotStatistics(std::vector<bool> categorical, int weightSlot)
    : fvCategorical(std::move(categorical)),
      fWeightSlot(weightSlot),
      fvMin(fvCategorical.size(), VORM_SYSMIS),
      fvMax(fvCategorical.size(), VORM_SYSMIS),
      fvSum(fvCategorical.size(), 0.0),
      fvSumSquare(fvCategorical.size(), 0.0),
      fvMean(fvCategorical.size(), 0.0),
      fvMeanSquare(fvCategorical.size(), 0.0) {
  KeepPartitions(-1, 1, {});
}

void SlotStatistics::KeepPartitions(int partitionSlot, size_t partitions,
                                    const std::vector<int>& histogramSlots) {
  const size_t n = fvCategorical.size();
  fPartitionSlot = partitionSlot;
  fvParts.assign(partitions < 1 ? 1 : partitions,
                 Part{std::vector<std::vector<int64_t>>(n), std::vector<std::vector<double>>(n),
                      std::vector<int64_t>(n, 0), std::vector<double>(n, 0.0)});
  fvHistograms.clear();
  fvSlotHistogram.assign(n, -1);
  for (int slot : histogramSlots) {
    const size_t at = static_cast<size_t>(slot);
    if (slot >= 0 && at < n && !fvCategorical[at] && fvSlotHistogram[at] < 0) {
      fvSlotHistogram[at] = static_cast<int>(fvHistograms.size());
      fvHistograms.emplace_back(fvParts.size());
    }
  }
}

size_t SlotStatistics::PartitionOf(const double* record) const {
  if (fPartitionSlot < 0) return 0;
  const double indicator = record[fPartitionSlot];
  const size_t part = indicator > 0.0 ? 0 : indicator == 0.0 ? 1 : 2;
  return part < fvParts.size() ? part : fvParts.size() - 1;
}

void SlotStatistics::Add(const double* record) {
  ++fCount;
  const double weight = fWeightSlot >= 0 ? record[fWeightSlot] : 1.0;
  const size_t partition = PartitionOf(record);
  Part& part = fvParts[partition];
  for (size_t i = 0; i < fvCategorical.size(); ++i) {
    const double v = record[i];
    if (fvCategorical[i]) {
      AddCode(part, i, v, weight);
      continue;
    }
    if (v == VORM_SYSMIS) continue;
    if (fvMin[i] == VORM_SYSMIS || v < fvMin[i]) fvMin[i] = v;
    if (fvMax[i] == VORM_SYSMIS || v > fvMax[i]) fvMax[i] = v;
    fvSum[i] += v;
    fvSumSquare[i] += v * v;
    if (fvSlotHistogram[i] >= 0) fvHistograms[static_cast<size_t>(fvSlotHistogram[i])].Add(v, partition);
  }
}

void SlotStatistics::AddCode(Part& part, size_t slot, double code, double weight) {
  if (!(code >= 0.0) || code == VORM_SYSMIS) {
    ++part.fvMissingCounts[slot];
    part.fvMissingWeights[slot] += weight;
    return;
  }
  const size_t index = static_cast<size_t>(code);
  std::vector<int64_t>& counts = part.fvCodeCounts[slot];
  if (index >= counts.size()) {
    counts.resize(index + 1, 0);
    part.fvCodeWeights[slot].resize(index + 1, 0.0);
  }
  ++counts[index];
  part.fvCodeWeights[slot][index] += weight;
}

void SlotStatistics::Complete() {
  const size_t n = fvCategorical.size();
  fvCodeCounts.assign(n, {});
  fvCodeWeights.assign(n, {});
  fvMissingCounts.assign(n, 0);
  fvMissingWeights.assign(n, 0.0);
  for (const Part& part : fvParts) {
    for (size_t i = 0; i < n; ++i) {
      AddTo(fvCodeCounts[i], part.fvCodeCounts[i]);
      AddTo(fvCodeWeights[i], part.fvCodeWeights[i]);
      fvMissingCounts[i] += part.fvMissingCounts[i];
      fvMissingWeights[i] += part.fvMissingWeights[i];
    }
  }
  if (fCount == 0) return;
  const double records = static_cast<double>(fCount);
  for (size_t i = 0; i < n; ++i) {
    fvMean[i] = fvSum[i] / records;
    fvMeanSquare[i] = fvSumSquare[i] / records;
  }
}

const Histogram* SlotStatistics::HistogramOf(int slot) const {
  if (slot < 0 || static_cast<size_t>(slot) >= fvSlotHistogram.size() ||
      fvSlotHistogram[static_cast<size_t>(slot)] < 0)
    return nullptr;
  return &fvHistograms[static_cast<size_t>(fvSlotHistogram[static_cast<size_t>(slot)])];
}

}  // namespace kvo
