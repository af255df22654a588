// The case iterator of a MemoryDataSource. One thread at a time; borrows the
// data source, which must outlive it; owns a buffer of one row that holds the
// current case, so value addresses are fixed for the iterator's life.
#ifndef STANDIN_MEMORYCASEITERATOR_H
#define STANDIN_MEMORYCASEITERATOR_H

#include <vorm/CaseIterator.h>

#include <cstdint>
#include <vector>

#include "MemoryDataSourceRep.h"

namespace standin {

class MemoryCaseIterator final : public ProcDSIterator {
 public:
  // Takes the layout, the weight variable, the weight filter and the split
  // variables as they are now.
  MemoryCaseIterator(const MemoryDataSource& source, MemoryDataSource::Rep& rep);
  MemoryCaseIterator(const MemoryCaseIterator&) = delete;
  MemoryCaseIterator& operator=(const MemoryCaseIterator&) = delete;

  // Per case: one copy of a row into the buffer, no allocation. Rows whose
  // weight the filter rejects are skipped; a change of the split values
  // delivers a group-end mark first and the new row on the next call.
  int NextCase() override;
  int64_t GetCaseNumber() const override { return fCaseNumber; }
  const double& GetNumericValue(int index) const override;
  const char* GetStringValue(int index) const override;
  const OBS* GetValueCells(int index) const override;
  const VORM_DataSource& GetDataSource() const override { return fSource; }
  bool SplitGroupEnd() const override { return fbSplitEnd; }
  double Weight() const override;

 private:
  struct SplitCells {
    size_t fOffset;
    size_t fCells;
    bool fbNumeric;
  };
  static constexpr size_t NO_ROW = static_cast<size_t>(-1);

  const OBS* StoredRow(size_t row) const { return fRep.fCells.data() + row * fRowCells; }
  void Deliver(size_t row);
  bool SplitDiffers(const OBS* row) const;
  // Makes the current case's split values the process-wide current group.
  void PublishSplitGroup() const;

  const MemoryDataSource& fSource;
  MemoryDataSource::Rep& fRep;
  size_t fRowCells;
  std::vector<size_t> fOffsets;
  std::vector<OBS> fBuffer;
  int64_t fCaseNumber = 0;
  long fWeightOffset = -1;  // -1: unweighted
  bool fbWeightFilter;
  std::vector<SplitCells> fvSplit;
  size_t fNextRow = 0;
  size_t fPendingRow = NO_ROW;  // the first row of a group, held back by a mark
  bool fbSplitEnd = false;
  bool fbDelivered = false;  // a case has been delivered in this pass
};

}  // namespace standin

#endif  // STANDIN_MEMORYCASEITERATOR_H
