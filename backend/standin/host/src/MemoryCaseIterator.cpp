#include "MemoryCaseIterator.h"

#include <cstring>
#include <string>
#include <utility>

#include "ValueText.h"
#include "standin/HostControl.h"

namespace standin {
namespace {

const double ABSENT_NUMBER = VORM_SYSMIS;
const char ABSENT_STRING[1] = "";

}  // namespace

MemoryCaseIterator::MemoryCaseIterator(const MemoryDataSource& source, MemoryDataSource::Rep& rep)
    : fSource(source),
      fRep(rep),
      fRowCells(rep.fRowCells),
      fOffsets(rep.fOffsets),
      fBuffer(rep.fBlankRow),
      fbWeightFilter(rep.fbWeightFilter) {
  if (rep.fWeightIndex >= 0)
    fWeightOffset = static_cast<long>(rep.fOffsets[static_cast<size_t>(rep.fWeightIndex)]);
  for (int index : rep.fSplitIndices) {
    const MemoryVariable& variable = *rep.fVariables[static_cast<size_t>(index)];
    fvSplit.push_back(SplitCells{rep.fOffsets[static_cast<size_t>(index)],
                                 static_cast<size_t>(variable.Cells()), variable.GetType() == 0});
  }
}

int MemoryCaseIterator::NextCase() {
  if (fPendingRow != NO_ROW) {
    const size_t row = fPendingRow;
    fPendingRow = NO_ROW;
    Deliver(row);
    PublishSplitGroup();
    return 1;
  }
  const size_t nRows = fRep.NumCases();
  while (fNextRow < nRows) {
    const size_t row = fNextRow++;
    const OBS* cells = StoredRow(row);
    if (fRep.fFatalAtCase >= 0 && fRep.fCaseNumbers[row] == fRep.fFatalAtCase) fRep.fbFatal = true;
    // Not above zero: zero, negative, system-missing (negative) and NaN.
    if (fbWeightFilter && fWeightOffset >= 0 && !(cells[fWeightOffset].num > 0.0)) continue;
    if (fvSplit.empty()) {
      Deliver(row);
      return 1;
    }
    if (fbDelivered && SplitDiffers(cells)) {
      fPendingRow = row;
      fbSplitEnd = true;
      return 1;
    }
    const bool firstOfPass = !fbDelivered;
    Deliver(row);
    if (firstOfPass) PublishSplitGroup();
    return 1;
  }
  fbSplitEnd = false;
  return 0;
}

void MemoryCaseIterator::Deliver(size_t row) {
  if (fRowCells > 0) std::memcpy(static_cast<void*>(fBuffer.data()), StoredRow(row), fRowCells * sizeof(OBS));
  fCaseNumber = fRep.fCaseNumbers[row];
  fbSplitEnd = false;
  fbDelivered = true;
}

bool MemoryCaseIterator::SplitDiffers(const OBS* row) const {
  for (const SplitCells& split : fvSplit) {
    const OBS* a = fBuffer.data() + split.fOffset;
    const OBS* b = row + split.fOffset;
    if (split.fbNumeric) {
      const double x = a->num, y = b->num;
      if (!(x == y || (x != x && y != y))) return true;
    } else if (std::memcmp(a, b, split.fCells * sizeof(OBS)) != 0) {
      return true;
    }
  }
  return false;
}

void MemoryCaseIterator::PublishSplitGroup() const {
  std::vector<std::pair<std::string, std::string>> group;
  for (int index : fRep.fSplitIndices) {
    const MemoryVariable& variable = *fRep.fVariables[static_cast<size_t>(index)];
    const OBS* value = fBuffer.data() + fOffsets[static_cast<size_t>(index)];
    group.emplace_back(variable.GetName(), detail::LabelOrValueText(variable, value));
  }
  SetCurrentSplitGroup(std::move(group));
}

const double& MemoryCaseIterator::GetNumericValue(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= fOffsets.size()) return ABSENT_NUMBER;
  return fBuffer[fOffsets[static_cast<size_t>(index)]].num;
}

const char* MemoryCaseIterator::GetStringValue(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= fOffsets.size()) return ABSENT_STRING;
  return reinterpret_cast<const char*>(fBuffer.data() + fOffsets[static_cast<size_t>(index)]);
}

const OBS* MemoryCaseIterator::GetValueCells(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= fOffsets.size()) return nullptr;
  return fBuffer.data() + fOffsets[static_cast<size_t>(index)];
}

double MemoryCaseIterator::Weight() const {
  if (fWeightOffset < 0) return 1.0;
  const double weight = fBuffer[static_cast<size_t>(fWeightOffset)].num;
  return weight != weight ? VORM_SYSMIS : weight;
}

}  // namespace standin
