// The record layout of a kvo prepare run: resolves the variable names of the
// options against the dictionary, builds the specification list in the
// documented slot order (categorical, continuous, matrix, partition, fold,
// weight, local counter, global counter) and describes every slot for the
// summary. Owns the specification list and the matrix recodes it points to;
// borrows nothing after construction. One thread.
#ifndef KVO_TOOL_RECORDLAYOUT_H
#define KVO_TOOL_RECORDLAYOUT_H

#include <kvoadapter/KVOVarValidSpecs.h>

#include <memory>
#include <string>
#include <vector>

#include "DataSet.h"
#include "MatrixFile.h"
#include "Options.h"

namespace kvo {

enum class SlotKind { Categorical, Continuous, Matrix, Partition, Fold, Weight, Counter };

// The word the summary uses for a kind.
const char* SlotKindName(SlotKind kind);

struct SlotInfo {
  int fSlot = 0;
  std::string fName;
  SlotKind fKind = SlotKind::Counter;
  int fHostIndex = -1;  // categorical and continuous slots: the host variable
};

class RecordLayout {
 public:
  // Throws KvoError: EXIT_USAGE for an unknown or repeated name or a
  // variable an option cannot use, EXIT_BAD_INPUT for a bad matrix file.
  RecordLayout(const PrepareOptions& options, const VariableResolver& resolver);
  RecordLayout(const RecordLayout&) = delete;
  RecordLayout& operator=(const RecordLayout&) = delete;

  KVOVarValidSpecs& Specs() { return fSpecs; }
  const std::vector<SlotInfo>& Slots() const { return fvSlots; }
  int RecordSize() const { return static_cast<int>(fvSlots.size()); }

  // Record slots of the special variables, -1 when absent.
  int PartitionSlot() const { return fPartitionSlot; }
  int FoldSlot() const { return fFoldSlot; }
  // Host indices of the named variables, -1 (or empty) when not given.
  int WeightVariable() const { return fWeightVar; }
  const std::vector<int>& SplitVariables() const { return fvSplitVars; }
  int PartitionVariable() const { return fPartitionVar; }
  int DependVariable() const { return fDependVar; }
  // The record positions to sort the record files by (empty: no sorting).
  const std::vector<int>& SortKeys() const { return fvSortKeys; }
  const std::vector<std::unique_ptr<MatrixRecode>>& Matrices() const { return fvMatrices; }

 private:
  void AddRecordVariables(const PrepareOptions& options, const VariableResolver& resolver);
  void AddMatrices(const PrepareOptions& options, const VariableResolver& resolver);
  void ResolveOthers(const PrepareOptions& options, const VariableResolver& resolver);
  void AddSlot(int slot, std::string name, SlotKind kind, int hostIndex = -1);

  // Declared before the specification list, which points into them, so that
  // they are destroyed after it.
  std::vector<std::unique_ptr<MatrixRecode>> fvMatrices;
  KVOVarValidSpecs fSpecs;
  std::vector<SlotInfo> fvSlots;
  int fPartitionSlot = -1;
  int fFoldSlot = -1;
  int fWeightVar = -1;
  std::vector<int> fvSplitVars;
  int fPartitionVar = -1;
  int fDependVar = -1;
  std::vector<int> fvSortKeys;
};

}  // namespace kvo

#endif  // KVO_TOOL_RECORDLAYOUT_H
