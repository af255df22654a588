// Turns the host's current case into one record of doubles laid out by a
// specification list, through one adapter per categorical, continuous and
// matrix slot; keeps per-split-group adapters, case counters and the
// data-pass state. Used by one thread at a time (the procedure's, or the one
// pulling records). Owns the host case iterator of the current pass, every
// adapter and every split-value array; borrows the specification list, the data
// source and the procedure.
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

// How case weights are adjusted. Values other than 0 and 1 act as WeightAsIs.
enum WeightAdjType : int32_t { WeightRound = 0, WeightTruncate = 1, WeightAsIs = 2 };

// The data of one split group: its adapters, counters and the split
// variables' values. Owns every adapter and every value array its vectors
// hold and frees them when destroyed; the entries stay plain pointers because
// the procedure reads them through GetSplitData. Moving hands everything
// over and leaves the source empty; copying is refused, since two copies
// would free the same adapters.
struct KVO_EXPORT SplitData {
  SplitData() = default;
  SplitData(const SplitData&) = delete;
  SplitData& operator=(const SplitData&) = delete;
  SplitData(SplitData&& other) noexcept;
  SplitData& operator=(SplitData&& other) noexcept;
  ~SplitData();

  std::vector<KVOCatVarAdapter*> fvpAdaptCatVar;
  std::vector<KVOContVarAdapter*> fvpAdaptContVar;
  std::vector<KVOMatrixSpecAdapter*> fvpAdaptMatrix;
  int fNCases = 0;
  int fNRecords = 0;
  int fNValidCases = 0;
  int fNInvalidCases = 0;
  double fWeightNCases = 0.0;
  double fWeightNValidCases = 0.0;
  double fWeightNInvalidCases = 0.0;
  std::vector<OBS*> fvpSplitValues;

 private:
  // Frees every adapter and value array and empties the vectors.
  void Release() noexcept;
};

class KVO_EXPORT KVOInputAdapter {
 public:
  // REQUIRES: specs != null; the specification list and the data source outlive
  // the adapter. Takes a host iterator for the first pass.
  KVOInputAdapter(KVOVarValidSpecs* specs, ProcedureDataSource& dataSource);
  // The adapter owns its iterator and adapters; copying is refused.
  KVOInputAdapter(const KVOInputAdapter&) = delete;
  KVOInputAdapter& operator=(const KVOInputAdapter&) = delete;
  virtual ~KVOInputAdapter();

  // --- Per-case steps (true: this part of the case is usable) ----------------
  virtual int GetRecordSize() const;
  virtual bool EncodeCatVars(double* record) const;
  virtual bool GetContVars(double* record) const;
  virtual bool RecodeMatrixSpecs(double* record) const;
  virtual void HandleBadMatrixSpec(int groupIndex, const std::vector<int>* varList) const;
  virtual bool FillFreeVars(double* record) const;
  virtual bool PreprocessCase();
  virtual bool PreprocessRecord(double* record);

  bool ProcessWeight(double* record) const;
  bool StoreCaseCount(double* record) const;
  bool StoreGlobalCount(double* record) const;
  bool UpdateValidCatVars();
  bool UpdateValidContVars();
  bool UpdateValidMatrixVars();
  bool FatalError() const;

  // --- Counters of the current split group -------------------------------------
  int GetNCases() const;
  int GetNRecords() const;
  int GetNValidCases() const;
  int GetNInvalidCases() const;
  double GetWeightNCases() const;
  double GetWeightNValidCases() const;
  double GetWeightNInvalidCases() const;
  void IncrNCases();
  void IncrNRecords();
  void IncrNValidCases();
  void IncrNInvalidCases();
  void IncrWeightNCases(double* record);
  void IncrWeightNValidCases(double* record);
  void IncrWeightNInvalidCases(double* record);
  // The current split group's data (for the data-pass iterator).
  SplitData* GetSplitData() const { return fpSplitData; }

  // --- Data passes and modes -------------------------------------------------
  // Starts a new data pass; returns the new host iterator or null. Refused
  // (null, nothing changed, no iterator taken) once the last pass was
  // declared.
  ProcDSIterator* AdjustForDSIterator(bool scoreIteration);
  // Starts a pass on the iterator the adapter holds (the one taken at
  // construction, still unused): re-reads the variable list's flags and
  // rebinds the adapters, as AdjustForDSIterator does with a new iterator.
  // Does nothing without an iterator.
  void RefreshForPass();
  ProcDSIterator* GetDSIterator() const { return fpDSIter.get(); }
  void ClearDSIterator();
  void SetScoreIteration(bool scoreIteration);
  bool GetScoreIteration() const { return fbScoreIteration; }
  int GetDataPassCount() const { return fDataPassCount; }
  void SetLastDataPass();
  bool GetLastDataPass() const;
  void SetWeightAdjType(WeightAdjType type) { fWeightAdjType = type; }
  WeightAdjType GetWeightAdjType() const { return fWeightAdjType; }
  bool IsWeightVarSet() const { return fWeightInd >= 0; }
  bool IsCaseCountSet() const;
  bool IsGlobalCountSet() const;
  bool GetStrongListWise() const;

  // --- Shape of the record ----------------------------------------------------
  int GetNCatVars() const;
  int GetNContVars() const;
  int GetNContVarsNoMatrix() const;
  int GetNFreeVars() const;
  int GetNMatrixSpecs() const;
  const std::vector<int>& GetAdaptInds() const { return fvAdaptInds; }

  // --- Adapters and categories (host variable index / record index) -----------
  KVOCatVarAdapter* GetCatAdapter(int vormInd) const;
  KVOCatVarAdapter* GetCatRecAdapter(int recInd) const;
  KVOContVarAdapter* GetContAdapter(int vormInd) const;
  KVOContVarAdapter* GetContRecAdapter(int recInd) const;
  int GetCatVarSize(int vormInd) const;
  int GetRecordCatVarSize(int recInd) const;
  const std::vector<OBS*>* GetCategoryObs(int vormInd) const;
  const std::vector<OBS*>* GetRecordCatObs(int recInd) const;
  double GetContMinValue(int vormInd) const;
  double GetRecMinValue(int recInd) const;
  double GetContMaxValue(int vormInd) const;
  double GetRecMaxValue(int recInd) const;
  int EncodeCatValue(int vormInd, const OBS* value, bool& newValue, bool add);
  int EncodeRecordCatValue(int recInd, const OBS* value, bool& newValue, bool add);
  const OBS* DecodeCatValueX(int vormInd, int code) const;
  const OBS* DecodeRecordCatValue(int recInd, int code) const;
  // Sets `vormInd` to -1, and on success to the slot's host variable index.
  const OBS* DecodeCatValue(int recInd, int code, int& vormInd) const;
  bool ReorderCategories(int vormInd, bool ascending);
  bool ReorderRecordCats(int recInd, bool ascending);
  const std::vector<KVOCatVarAdapter*>& GetCatAdapters() const;
  const std::vector<KVOContVarAdapter*>& GetContAdapters() const;

  // Puts lists of category codes (one code per listed categorical slot) into
  // the order of the value combinations they stand for. Unchanged on failure.
  bool ReorderEncodedRecordCats(const std::vector<int>& recInds, std::vector<std::vector<int>>& encodedCats);
  bool ReorderEncodedCats(const std::vector<int>& vormInds, std::vector<std::vector<int>>& encodedCats);

  // --- Split files --------------------------------------------------------------
  // Call before the data-pass iterator is built.
  void SetSplitFile(BpProcedure& procedure, bool splitWhenClear, bool splitWhenSet, bool keepSplitInfo);
  bool GetSplitFile() const { return fbSplitFile; }
  bool GetKeepSplitInfo() const { return fbKeepSplitInfo; }
  int GetSplitCount() const { return fSplitCount; }
  const std::vector<OBS*>& GetSplitValues() const;
  void ChangeSplit();
  void AdjustForSplitFile();
  void ResetSplitNoIter();
  void ChangeSplitNoIter();
  int GetCumNCases() const;
  int GetSplitNamesAndLabels(std::vector<std::string>& names, std::vector<std::string>& labels) const;
  int GetSplitValuesAndLabels(std::vector<std::string>& values, std::vector<std::string>& labels) const;
  int GetNSplitData() const { return static_cast<int>(fvAllSplitData.size()); }

  const KVOVarValidSpecs* GetValidSpecs() const { return fpValidSpecs; }
  ProcedureDataSource& GetProcDataSource() const { return *fpProcDS; }

  // Diagnostic dump.
  void Display() const;

 protected:
  virtual void PrepareNewPass();
  virtual void PrepareNewSplit();
  void CreateVarAdapters();
  void ClearVarAdapters();

  KVOVarValidSpecs* fpValidSpecs;
  std::unique_ptr<ProcDSIterator> fpDSIter;
  ProcedureDataSource* fpProcDS;
  KVOInpAdaptMsg fMsg;
  std::vector<int> fvAdaptInds;
  int fWeightInd;
  bool fbOrigWeightFilter;
  double fSysMis;
  bool fbScoreIteration;
  int fDataPassCount;
  BpProcedure* fpProcedure;
  SplitData* fpSplitData;
  std::vector<SplitData> fvAllSplitData;
  WeightAdjType fWeightAdjType;
  bool fbSplitFile;
  bool fbKeepSplitInfo;
  int fSplitCount;

 private:
  // What the per-case steps need of one categorical or continuous slot,
  // taken from the specification list once per pass so that the steps walk a
  // plain array instead of asking the specification for every case. A slot
  // without descriptor allows missing values in both modes.
  struct SlotPlan {
    int fRecInd;
    int fVormInd;
    bool fbProcSysMiss;
    bool fbScoreSysMiss;
    bool fbUserMissValid;
  };
  // The same for one matrix specification.
  struct MatrixPlan {
    int fRecInd;
    int fGroupIndex;
    const KVOMatrixSpecs* fpSpec;
    bool fbUserMissValid;
  };
  // The same for one free slot: the value it receives.
  struct FreePlan {
    int fRecInd;
    double fValue;
  };

  void ApplyWeightFilterRule();
  // Re-reads the plans above from the specification list.
  void RefreshPlans();
  // Binds a group's adapters to the current iterator with the plans' flags.
  void RebindAdapters(SplitData& data);
  // Whether a slot's missing values are allowed in the current mode.
  bool SysMissAllowed(const SlotPlan& plan) const {
    return fbScoreIteration ? plan.fbScoreSysMiss : plan.fbProcSysMiss;
  }
  // Writes a category code into its slot: the code, or the system-missing
  // value for a code of -1 that the slot does not allow; false then.
  static bool StoreCode(double* record, const SlotPlan& plan, int code, bool score, double sysMis) {
    if (code == -1 && !(score ? plan.fbScoreSysMiss : plan.fbProcSysMiss)) {
      record[plan.fRecInd] = sysMis;
      return false;
    }
    record[plan.fRecInd] = static_cast<double>(code);
    return true;
  }
  // Creates the adapters of the current SplitData (steps of CreateVarAdapters).
  void CreateAdaptersOfCurrentGroup();
  // Zeroes the current group's counters.
  void ZeroCounters();
  // The current split group's categorical adapter of a record slot, or null.
  KVOCatVarAdapter* CatAdapterAt(int recInd) const;
  KVOContVarAdapter* ContAdapterAt(int recInd) const;

  std::vector<SlotPlan> fvCatPlan;
  std::vector<SlotPlan> fvContPlan;
  std::vector<MatrixPlan> fvMatrixPlan;
  std::vector<FreePlan> fvFreePlan;
  int fCaseCountInd = -1;
  int fGlobalCountInd = -1;
  // The pass in which the first adapters were made (with an iterator), which
  // collects; -1 while none were made.
  int fCollectPass = -1;
};

#endif  // KVOADAPTER_KVOINPUTADAPTER_H
