// The state of a MemoryDataSource, shared with its iterators. Used by the
// data source's one thread; owns the variables and the case store.
#ifndef STANDIN_MEMORYDATASOURCEREP_H
#define STANDIN_MEMORYDATASOURCEREP_H

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "MemoryVariable.h"
#include "standin/MemoryDataSource.h"

namespace standin {

struct MemoryDataSource::Rep {
  Rep() = default;
  Rep(const Rep&) = delete;
  Rep& operator=(const Rep&) = delete;

  // Dictionary. Variables are held by pointer so that their addresses stay
  // fixed while more are added.
  std::vector<std::unique_ptr<MemoryVariable>> fVariables;
  std::unordered_map<std::string, int> fNameIndex;  // upper-case name -> host index
  std::vector<size_t> fOffsets;                     // first cell of each variable in a row
  size_t fRowCells = 0;
  std::vector<OBS> fBlankRow;  // numbers system-missing, strings blank
  int fWeightIndex = -1;
  std::vector<int> fSplitIndices;
  bool fbSplitRequested = false;

  // Case store: rows of fRowCells cells laid end to end, and case numbers.
  std::vector<OBS> fCells;
  std::vector<int64_t> fCaseNumbers;

  // Procedure bookkeeping and test controls.
  bool fbWeightFilter = true;
  bool fbLastPass = false;
  int64_t fFatalAtCase = -1;
  bool fbFatal = false;
  bool fbRefuseIterators = false;
  int fNIteratorsCreated = 0;

  // The variables whose specs Spec() handed out since the last refresh:
  // only their declarations may have changed.
  std::vector<size_t> fvOpenSpecs;
  VariableSpec fScratchSpec;  // handed out for a bad index
  std::string fLastError;

  size_t NumCases() const { return fCaseNumbers.size(); }
  // Records an error and returns false.
  bool Fail(std::string error);
  // Applies edited declarations (a change that is not valid is reverted and
  // reported) and recomputes the row layout.
  void Refresh();
  // The row layout and name index of all variables, or of one more (the
  // last) variable.
  void Layout();
  void AppendLayout(size_t index);
};

}  // namespace standin

#endif  // STANDIN_MEMORYDATASOURCEREP_H
