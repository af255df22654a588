/// \file
/// KVOInputAdapter, SplitData and WeightAdjType: host cases turned into records.
#ifndef KVOADAPTER_KVOINPUTADAPTER_H
#define KVOADAPTER_KVOINPUTADAPTER_H

#include <vorm/ProcOutput.h>
#include <vorm/ProcedureDataSource.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kvoadapter/KVOCatVarAdapter.h"
#include "kvoadapter/KVOContVarAdapter.h"
#include "kvoadapter/KVOExport.h"
#include "kvoadapter/KVOInpAdaptMsg.h"
#include "kvoadapter/KVOMatrixSpecAdapter.h"
#include "kvoadapter/KVOVarValidSpecs.h"

/// How case weights are adjusted before they go into the weight slot. Values
/// other than 0 and 1 act as WeightAsIs.
enum WeightAdjType : int32_t {
  WeightRound = 0,     ///< Rounded to whole cases; a weight below 0.5 rejects the case.
  WeightTruncate = 1,  ///< Cut to whole cases; a weight below 1 rejects the case.
  WeightAsIs = 2       ///< Taken as it is; a weight of 0 or less rejects the case.
};

/// The data of one split group: its adapters, counters and the split
/// variables' values. Owns every adapter and every value array its vectors
/// hold and frees them when destroyed; the entries stay plain pointers because
/// the procedure reads them through GetSplitData. Moving hands everything
/// over and leaves the source empty; copying is refused, since two copies
/// would free the same adapters.
struct KVO_EXPORT SplitData {
  /// Empty: no adapters, counters at 0.
  SplitData() = default;
  /// Not copyable: the adapters have one owner.
  SplitData(const SplitData&) = delete;
  /// Not copyable: the adapters have one owner.
  SplitData& operator=(const SplitData&) = delete;
  /// Takes over everything of `other`, which is left empty.
  SplitData(SplitData&& other) noexcept;
  /// Frees what this holds, then takes over everything of `other`.
  SplitData& operator=(SplitData&& other) noexcept;
  /// Frees every adapter and value array.
  ~SplitData();

  /// The categorical adapters, one per categorical slot in the order of
  /// KVOVarValidSpecs::GetRecCatVars.
  std::vector<KVOCatVarAdapter*> fvpAdaptCatVar;
  /// The continuous adapters, one per continuous slot in the order of
  /// KVOVarValidSpecs::GetRecContVars.
  std::vector<KVOContVarAdapter*> fvpAdaptContVar;
  /// The matrix adapters, one per matrix recode in layout order.
  std::vector<KVOMatrixSpecAdapter*> fvpAdaptMatrix;
  int fNCases =
      0;  ///< Cases the host delivered in this pass (the weight filter's cases are never delivered).
  int fNRecords = 0;                  ///< Records handed out in this pass.
  int fNValidCases = 0;               ///< Cases that gave a record.
  int fNInvalidCases = 0;             ///< Cases rejected (weight, missing values, hooks).
  double fWeightNCases = 0.0;         ///< The weights of the cases delivered (1 each without a weight slot).
  double fWeightNValidCases = 0.0;    ///< The weights of the cases that gave a record.
  double fWeightNInvalidCases = 0.0;  ///< The weights of the rejected cases.
  /// The split variables' values of the group, one array of cells per split
  /// variable, taken at the group's first case.
  std::vector<OBS*> fvpSplitValues;

 private:
  /// Frees every adapter and value array and empties the vectors.
  void Release() noexcept;
};

/// Turns the host's current case into one record of doubles laid out by a
/// specification list, through one adapter per categorical, continuous and
/// matrix slot; keeps per-split-group adapters, case counters and the
/// data-pass state. Used by one thread at a time (the procedure's, or the one
/// pulling records). Owns the host case iterator of the current pass, every
/// adapter and every split-value array; borrows the specification list, the data
/// source and the procedure.
///
/// KVOProcDataSourceIter drives the per-case steps below in a fixed order;
/// a procedure derives from this class to add its own steps through the
/// virtual hooks (PreprocessCase, PreprocessRecord, HandleBadMatrixSpec,
/// PrepareNewPass, PrepareNewSplit). The pass whose adapters were made first
/// (normally the first) collects: it gives categories their codes and
/// widens the ranges; later passes replay, and a value that pass did not
/// see has no code.
class KVO_EXPORT KVOInputAdapter {
 public:
  /// REQUIRES: specs != null; the specification list and the data source outlive
  /// the adapter. Takes a host iterator for the first pass.
  KVOInputAdapter(KVOVarValidSpecs* specs, ProcedureDataSource& dataSource);
  /// The adapter owns its iterator and adapters; copying is refused.
  KVOInputAdapter(const KVOInputAdapter&) = delete;
  /// Not copyable, as the copy constructor says.
  KVOInputAdapter& operator=(const KVOInputAdapter&) = delete;
  /// Frees the adapters and the host iterator and gives the host its weight
  /// filter back as it was at construction.
  virtual ~KVOInputAdapter();

  // --- Per-case steps (true: this part of the case is usable) ----------------
  /// The number of slots: categorical, continuous, free and matrix slots,
  /// the counters and the weight.
  virtual int GetRecordSize() const;
  /// Writes every categorical slot's code: in the collecting pass a valid
  /// value not seen before gets the next code; later passes only look codes
  /// up. A value without a code (missing, or unseen in a later pass) is -1
  /// where the slot allows missing values in the current mode, else the
  /// system-missing value, and the result is false.
  virtual bool EncodeCatVars(double* record) const;
  /// Writes every continuous slot's value, the system-missing value for a
  /// missing one; false when a slot that allows no missing value lacks one.
  /// The collecting pass widens each slot's range.
  virtual bool GetContVars(double* record) const;
  /// Writes every matrix slot's number; false when a value is missing or
  /// the combination has no entry in the map. Such a combination is handed
  /// to HandleBadMatrixSpec in the collecting pass, and the case's later
  /// matrix slots are left as they are.
  virtual bool RecodeMatrixSpecs(double* record) const;
  /// Reports a combination of values without a matrix entry (a message
  /// naming the group and the values). A procedure may override it, for
  /// example to count such cases instead.
  virtual void HandleBadMatrixSpec(int groupIndex, const std::vector<int>* varList) const;
  /// Writes the free slots: -1 into categorical ones, the system-missing
  /// value into continuous ones (the component fills them). Always true.
  virtual bool FillFreeVars(double* record) const;
  /// A procedure's test of a case, after the weight (and strong listwise)
  /// tests and before any value is encoded; false rejects the case in a
  /// procedure pass (a score pass keeps it). This one accepts every case.
  virtual bool PreprocessCase();
  /// A procedure's step on a complete record (values, weight and case
  /// number written; the group's case counter not yet); false rejects the
  /// case in a procedure pass. This one accepts every record.
  virtual bool PreprocessRecord(double* record);

  /// Writes the adjusted case weight (WeightAdjType) into the weight slot;
  /// false, with 0 in the slot, when the weight is missing or too small to
  /// count. True without a weight slot.
  bool ProcessWeight(double* record) const;
  /// Writes the case's position among the split group's cases delivered so
  /// far (from 0); false without the slot or a group.
  bool StoreCaseCount(double* record) const;
  /// Writes the host's case number (from 1, the same in every pass); false
  /// without the slot or a host iterator.
  bool StoreGlobalCount(double* record) const;
  /// Whether every categorical slot's value is valid or allowed missing in
  /// the current mode; strong listwise deletion asks before encoding.
  bool UpdateValidCatVars();
  /// The same for the continuous slots.
  bool UpdateValidContVars();
  /// Whether every matrix variable's value is valid.
  bool UpdateValidMatrixVars();
  /// Whether the host met an error that ends the procedure.
  bool FatalError() const;

  // --- Counters of the current split group -------------------------------------
  /// Cases the host delivered to the current group in this pass; 0 without a group.
  int GetNCases() const;
  /// Records handed out for the current group in this pass.
  int GetNRecords() const;
  /// Cases of the current group that gave a record.
  int GetNValidCases() const;
  /// Cases of the current group that were rejected.
  int GetNInvalidCases() const;
  /// The weights of the cases delivered (1 each without a weight slot).
  double GetWeightNCases() const;
  /// The weights of the cases that gave a record.
  double GetWeightNValidCases() const;
  /// The weights of the rejected cases.
  double GetWeightNInvalidCases() const;
  /// Adds 1 to the cases delivered (for an iterator of a procedure's own).
  void IncrNCases();
  /// Adds 1 to the records handed out.
  void IncrNRecords();
  /// Adds 1 to the cases that gave a record.
  void IncrNValidCases();
  /// Adds 1 to the rejected cases.
  void IncrNInvalidCases();
  /// Adds the record's weight slot (1 without a weight slot, 0 for a null
  /// record) to the weights of the cases delivered.
  void IncrWeightNCases(double* record);
  /// The same for the cases that gave a record.
  void IncrWeightNValidCases(double* record);
  /// The same for the rejected cases.
  void IncrWeightNInvalidCases(double* record);
  /// The current split group's data (for the data-pass iterator).
  SplitData* GetSplitData() const { return fpSplitData; }

  // --- Data passes and modes -------------------------------------------------
  /// Starts a new data pass; returns the new host iterator or null. Refused
  /// (null, nothing changed, no iterator taken) once the last pass was
  /// declared.
  ProcDSIterator* AdjustForDSIterator(bool scoreIteration);
  /// Starts a pass on the iterator the adapter holds (the one taken at
  /// construction, still unused): re-reads the variable list's flags and
  /// rebinds the adapters, as AdjustForDSIterator does with a new iterator.
  /// Does nothing without an iterator.
  void RefreshForPass();
  /// The host iterator of the current pass; null between passes.
  ProcDSIterator* GetDSIterator() const { return fpDSIter.get(); }
  /// Deletes the host iterator: the pass is over.
  void ClearDSIterator();
  /// Switches between a procedure pass and a score pass: a score pass
  /// judges missing values by the slots' score flags, keeps cases that a
  /// procedure pass would reject, and reads with the host's weight filter off.
  void SetScoreIteration(bool scoreIteration);
  /// Whether the current pass is a score pass.
  bool GetScoreIteration() const { return fbScoreIteration; }
  /// The passes started after the first: 0 in the first pass.
  int GetDataPassCount() const { return fDataPassCount; }
  /// Tells the host that the current pass is the last; no pass starts after it.
  void SetLastDataPass();
  /// Whether the last pass was declared.
  bool GetLastDataPass() const;
  /// How weights are adjusted from now on (WeightRound at construction).
  void SetWeightAdjType(WeightAdjType type) { fWeightAdjType = type; }
  /// How weights are adjusted.
  WeightAdjType GetWeightAdjType() const { return fWeightAdjType; }
  /// Whether the record has a weight slot.
  bool IsWeightVarSet() const { return fWeightInd >= 0; }
  /// Whether the record has a slot for the group's case counter.
  bool IsCaseCountSet() const;
  /// Whether the record has a slot for the host's case number.
  bool IsGlobalCountSet() const;
  /// Whether cases are judged before their values are encoded
  /// (KVOVarValidSpecs::SetStrongListWise).
  bool GetStrongListWise() const;

  // --- Shape of the record ----------------------------------------------------
  /// Categorical slots fed by host variables.
  int GetNCatVars() const;
  /// Continuous slots fed by host variables, plus the matrix slots.
  int GetNContVars() const;
  /// Continuous slots fed by host variables.
  int GetNContVarsNoMatrix() const;
  /// Free slots.
  int GetNFreeVars() const;
  /// Matrix slots.
  int GetNMatrixSpecs() const;
  /// Per record slot, the position of its adapter in the group's categorical
  /// or continuous list; -1 for other slots.
  const std::vector<int>& GetAdaptInds() const { return fvAdaptInds; }

  // --- Adapters and categories (host variable index / record index) -----------
  // Each lookup is for the current split group; a host variable that is not
  // in the record, a slot of the other kind, a free slot or the lack of a
  // group gives null, 0, the system-missing value or -1.
  /// The categorical adapter of a host variable.
  KVOCatVarAdapter* GetCatAdapter(int vormInd) const;
  /// The categorical adapter of a record slot.
  KVOCatVarAdapter* GetCatRecAdapter(int recInd) const;
  /// The continuous adapter of a host variable.
  KVOContVarAdapter* GetContAdapter(int vormInd) const;
  /// The continuous adapter of a record slot.
  KVOContVarAdapter* GetContRecAdapter(int recInd) const;
  /// The number of categories of a host variable.
  int GetCatVarSize(int vormInd) const;
  /// The number of categories of a record slot.
  int GetRecordCatVarSize(int recInd) const;
  /// The key cells of each category of a host variable, in code order.
  const std::vector<OBS*>* GetCategoryObs(int vormInd) const;
  /// The key cells of each category of a record slot, in code order.
  const std::vector<OBS*>* GetRecordCatObs(int recInd) const;
  /// The smallest value a host variable delivered in the collecting pass.
  double GetContMinValue(int vormInd) const;
  /// The smallest value a record slot delivered in the collecting pass.
  double GetRecMinValue(int recInd) const;
  /// The largest value a host variable delivered in the collecting pass.
  double GetContMaxValue(int vormInd) const;
  /// The largest value a record slot delivered in the collecting pass.
  double GetRecMaxValue(int recInd) const;
  /// The code of a value given as key cells: sets `newValue` when it has
  /// none yet, and gives it the next code when `add`; -1 when it has none
  /// (or for a null value, `newValue` false).
  int EncodeCatValue(int vormInd, const OBS* value, bool& newValue, bool add);
  /// The same by record slot.
  int EncodeRecordCatValue(int recInd, const OBS* value, bool& newValue, bool add);
  /// The key cells of category `code` of a host variable, or null.
  const OBS* DecodeCatValueX(int vormInd, int code) const;
  /// The key cells of category `code` of a record slot, or null.
  const OBS* DecodeRecordCatValue(int recInd, int code) const;
  /// Sets `vormInd` to -1, and on success to the slot's host variable index.
  const OBS* DecodeCatValue(int recInd, int code, int& vormInd) const;
  /// Renumbers a host variable's categories in the order of their values
  /// (ascending or descending); false without an adapter. Records written
  /// before keep the old codes.
  bool ReorderCategories(int vormInd, bool ascending);
  /// The same by record slot.
  bool ReorderRecordCats(int recInd, bool ascending);
  /// The current group's categorical adapters (empty without a group).
  const std::vector<KVOCatVarAdapter*>& GetCatAdapters() const;
  /// The current group's continuous adapters (empty without a group).
  const std::vector<KVOContVarAdapter*>& GetContAdapters() const;

  /// Puts lists of category codes (one code per listed categorical slot) into
  /// the order of the value combinations they stand for. Unchanged on failure.
  bool ReorderEncodedRecordCats(const std::vector<int>& recInds, std::vector<std::vector<int>>& encodedCats);
  /// The same with the categorical variables given by host index.
  bool ReorderEncodedCats(const std::vector<int>& vormInds, std::vector<std::vector<int>>& encodedCats);

  // --- Split files --------------------------------------------------------------
  /// Call before the data-pass iterator is built. Split groups are read one
  /// by one when the host has split variables and the flag the host picks is
  /// set (`splitWhenSet` when the user asked for the split, else
  /// `splitWhenClear`). With `keepSplitInfo` every group keeps its adapters,
  /// categories and ranges from pass to pass; without it each group and pass
  /// starts afresh. `procedure` hears of every new group; it is borrowed.
  void SetSplitFile(BpProcedure& procedure, bool splitWhenClear, bool splitWhenSet, bool keepSplitInfo);
  /// Whether split groups are read one by one.
  bool GetSplitFile() const { return fbSplitFile; }
  /// Whether groups keep their adapters from pass to pass.
  bool GetKeepSplitInfo() const { return fbKeepSplitInfo; }
  /// The current group's number, from 1; 0 before a pass's first case.
  int GetSplitCount() const { return fSplitCount; }
  /// The current group's split values: one array of cells per split variable.
  const std::vector<OBS*>& GetSplitValues() const;
  /// A new group begins (the iterator calls it at the group's first case):
  /// tells the procedure, counts the group and keeps its split values.
  void ChangeSplit();
  /// Moves to the next group's data, kept or new (KVOProcDataSourceIter::NewSplit).
  void AdjustForSplitFile();
  /// Between passes, without a host iterator: goes back to the first kept
  /// group, to walk the groups' categories and counts.
  void ResetSplitNoIter();
  /// Between passes: moves to the next kept group; call once before each.
  void ChangeSplitNoIter();
  /// The cases delivered in this pass to the groups met so far (with split
  /// groups kept), else to the current group.
  int GetCumNCases() const;
  /// The split variables' names and labels; returns their number.
  int GetSplitNamesAndLabels(std::vector<std::string>& names, std::vector<std::string>& labels) const;
  /// The current group's split values as the host prints them (trimmed) and
  /// their value labels (empty without one); returns the number of split
  /// variables. Empty texts before the group's first case.
  int GetSplitValuesAndLabels(std::vector<std::string>& values, std::vector<std::string>& labels) const;
  /// The number of groups whose data the adapter holds.
  int GetNSplitData() const { return static_cast<int>(fvAllSplitData.size()); }

  /// The record layout.
  const KVOVarValidSpecs* GetValidSpecs() const { return fpValidSpecs; }
  /// The host's data source.
  ProcedureDataSource& GetProcDataSource() const { return *fpProcDS; }

  /// Diagnostic dump.
  void Display() const;

 protected:
  /// A derived adapter's step at the start of every pass after the first,
  /// once the new host iterator is in place. This one does nothing.
  virtual void PrepareNewPass();
  /// A derived adapter's step when the next split group starts within a
  /// pass. This one does nothing.
  virtual void PrepareNewSplit();
  /// Makes the current group's data: a new SplitData with its adapters, or
  /// the kept one of a group met in an earlier pass (counters zeroed).
  void CreateVarAdapters();
  /// Frees every group's data.
  void ClearVarAdapters();

  KVOVarValidSpecs* fpValidSpecs;            ///< The record layout (borrowed).
  std::unique_ptr<ProcDSIterator> fpDSIter;  ///< The host iterator of the current pass.
  ProcedureDataSource* fpProcDS;             ///< The host's data source (borrowed).
  KVOInpAdaptMsg fMsg;                       ///< Issues the messages of case input.
  std::vector<int> fvAdaptInds;              ///< See GetAdaptInds.
  int fWeightInd;                            ///< The weight slot; -1 for none.
  bool fbOrigWeightFilter;                   ///< The host's weight filter at construction.
  double fSysMis;                            ///< The system-missing value.
  bool fbScoreIteration;                     ///< The current pass is a score pass.
  int fDataPassCount;                        ///< See GetDataPassCount.
  BpProcedure* fpProcedure;               ///< Hears of new split groups (borrowed; null until SetSplitFile).
  SplitData* fpSplitData;                 ///< The current group's data, in fvAllSplitData; null for none.
  std::vector<SplitData> fvAllSplitData;  ///< Every group's data, in the order met.
  WeightAdjType fWeightAdjType;           ///< See SetWeightAdjType.
  bool fbSplitFile;                       ///< See GetSplitFile.
  bool fbKeepSplitInfo;                   ///< See GetKeepSplitInfo.
  int fSplitCount;                        ///< See GetSplitCount.

 private:
  /// What the per-case steps need of one categorical or continuous slot,
  /// taken from the specification list once per pass so that the steps walk a
  /// plain array instead of asking the specification for every case. A slot
  /// without descriptor allows missing values in both modes.
  struct SlotPlan {
    int fRecInd;
    int fVormInd;
    bool fbProcSysMiss;
    bool fbScoreSysMiss;
    bool fbUserMissValid;
  };
  /// The same for one matrix specification.
  struct MatrixPlan {
    int fRecInd;
    int fGroupIndex;
    const KVOMatrixSpecs* fpSpec;
    bool fbUserMissValid;
  };
  /// The same for one free slot: the value it receives.
  struct FreePlan {
    int fRecInd;
    double fValue;
  };

  void ApplyWeightFilterRule();
  /// Re-reads the plans above from the specification list.
  void RefreshPlans();
  /// Binds a group's adapters to the current iterator with the plans' flags.
  void RebindAdapters(SplitData& data);
  /// Whether a slot's missing values are allowed in the current mode.
  bool SysMissAllowed(const SlotPlan& plan) const {
    return fbScoreIteration ? plan.fbScoreSysMiss : plan.fbProcSysMiss;
  }
  /// Writes a category code into its slot: the code, or the system-missing
  /// value for a code of -1 that the slot does not allow; false then.
  static bool StoreCode(double* record, const SlotPlan& plan, int code, bool score, double sysMis) {
    if (code == -1 && !(score ? plan.fbScoreSysMiss : plan.fbProcSysMiss)) {
      record[plan.fRecInd] = sysMis;
      return false;
    }
    record[plan.fRecInd] = static_cast<double>(code);
    return true;
  }
  /// Creates the adapters of the current SplitData (steps of CreateVarAdapters).
  void CreateAdaptersOfCurrentGroup();
  /// Zeroes the current group's counters.
  void ZeroCounters();
  /// The current split group's categorical adapter of a record slot, or null.
  KVOCatVarAdapter* CatAdapterAt(int recInd) const;
  KVOContVarAdapter* ContAdapterAt(int recInd) const;

  std::vector<SlotPlan> fvCatPlan;
  std::vector<SlotPlan> fvContPlan;
  std::vector<MatrixPlan> fvMatrixPlan;
  std::vector<FreePlan> fvFreePlan;
  int fCaseCountInd = -1;
  int fGlobalCountInd = -1;
  /// The pass in which the first adapters were made (with an iterator), which
  /// collects; -1 while none were made.
  int fCollectPass = -1;
};

#endif  // KVOADAPTER_KVOINPUTADAPTER_H
