// The input adapters of a kvo prepare run: the library's plain or
// partitioning adapter with what this procedure adds on top.
//  - Reports of bad matrix combinations are limited to the first few.
//  - Categories can start from given lists (CategorySeeds): each split
//    group's categorical adapters are seeded through the library's encode
//    operation before the group's first case is encoded; with closed lists
//    (saved codes) no case ever adds a category.
//  - Valid values that get no code (not met in the collecting pass, or
//    outside closed lists) are counted per categorical record variable and
//    partition.
//  - Every refused case is given one reason: its weight, the first record
//    variable in record order that is missing, its matrix combination, or
//    the partitioning. Cases the library refuses before any of these hooks
//    (weight, strong listwise deletion) show as gaps in the case numbers,
//    which the procedure's SkippedCases classifies.
// Used by the data pass's thread; borrows the seeds and the classifier.
#ifndef KVO_TOOL_RUNADAPTER_H
#define KVO_TOOL_RUNADAPTER_H

#include <kvoadapter/KVOCatVarAdapter.h>
#include <kvoadapter/KVOInputAdapter.h>
#include <vorm/ProcOutput.h>

#include <cstdint>
#include <string>
#include <vector>

#include "CategoryCodes.h"
#include "Summary.h"

namespace kvo {

// Gives reasons to the cases the library refused before the adapter's
// hooks saw them.
class SkippedCases {
 public:
  virtual ~SkippedCases() = default;
  // The cases numbered above `after` and below `before`, less those that
  // reached the hooks (none do in that range).
  virtual void Classify(int64_t after, int64_t before, RefusalReasons& reasons) const = 0;
};

// Valid values that got no code, per partition (0 training, 1 test, 2
// holdout; only 0 without partitioning) and categorical record variable.
struct UnseenValues {
  std::vector<std::vector<int64_t>> fvByPartition;

  std::vector<int64_t> Total() const {
    std::vector<int64_t> total(fvByPartition.empty() ? 0 : fvByPartition[0].size(), 0);
    for (const std::vector<int64_t>& counts : fvByPartition) {
      for (size_t i = 0; i < counts.size() && i < total.size(); ++i) total[i] += counts[i];
    }
    return total;
  }
};

template <class Adapter>
class RunAdapter : public Adapter {
 public:
  // Bad matrix combinations are reported for every case of the first pass;
  // the first few reports are enough, the rest are counted.
  static constexpr int64_t MATRIX_REPORTS = 5;

  using Adapter::Adapter;

  // `catSlots`: the record slots of the categorical record variables, in
  // the order of the adapters. `missingAllowed`: a categorical value without
  // a code is stored as code -1 instead of rejecting the case. `seeds` may
  // be null (categories in order of appearance).
  void SetCoding(std::vector<int> catSlots, bool missingAllowed, const CategorySeeds* seeds) {
    fvCatSlots = std::move(catSlots);
    fbMissingAllowed = missingAllowed;
    fpSeeds = seeds;
    fUnseen.fvByPartition.assign(PARTITIONS, std::vector<int64_t>(fvCatSlots.size(), 0));
  }

  // `varSlots`: the record slots of the categorical and continuous record
  // variables in record order; `skipped` classifies the cases refused
  // before the hooks.
  void SetReasons(std::vector<int> varSlots, const SkippedCases* skipped) {
    fvVarSlots = std::move(varSlots);
    fpSkipped = skipped;
    fReasons.fvMissing.assign(fvVarSlots.size(), 0);
  }

  // The reasons of the current split group, whose last case has number
  // `lastCase`; resets them for the next group.
  RefusalReasons TakeReasons(int64_t lastCase) {
    if (this->GetDataPassCount() != fReasonPass) {
      fReasonPass = this->GetDataPassCount();
      fLastCase = 0;
    }
    if (fpSkipped != nullptr) fpSkipped->Classify(fLastCase, lastCase + 1, fReasons);
    fLastCase = lastCase;
    RefusalReasons taken = fReasons;
    fReasons = RefusalReasons();
    fReasons.fvMissing.assign(fvVarSlots.size(), 0);
    return taken;
  }

  void HandleBadMatrixSpec(int groupIndex, const std::vector<int>* varList) const override {
    if (++fBadCases <= MATRIX_REPORTS) Adapter::HandleBadMatrixSpec(groupIndex, varList);
  }
  int64_t BadCases() const { return fBadCases; }

  // The split values of a group that the seeds do not have, as "NAME =
  // VALUE, ..." (empty when every group so far was found).
  const std::string& UnknownGroup() const { return fUnknownGroup; }

  // The valid values without a code met since the last call. Resets the
  // counts.
  UnseenValues TakeUnseen() {
    UnseenValues counts;
    counts.fvByPartition.assign(PARTITIONS, std::vector<int64_t>(fvCatSlots.size(), 0));
    std::swap(counts, fUnseen);
    return counts;
  }

  bool PreprocessCase() override {
    if (fpSeeds != nullptr && this->GetDataPassCount() == 0 && this->GetSplitCount() != fSeededGroup) {
      SeedGroup();
    }
    NoteSkipped();
    if (fbGroupUnknown) return false;
    const bool ok = Adapter::PreprocessCase();
    if (!ok) ++fReasons.fPartition;
    return ok;
  }

  bool GetContVars(double* record) const override {
    const bool ok = Adapter::GetContVars(record);
    if (!(ok && fbCatOk)) {
      // The first variable in record order that the rules refused.
      for (size_t i = 0; i < fvVarSlots.size(); ++i) {
        if (record[fvVarSlots[i]] == VORM_SYSMIS) {
          ++fReasons.fvMissing[i];
          return ok;
        }
      }
    }
    return ok;
  }

  bool RecodeMatrixSpecs(double* record) const override {
    const bool ok = Adapter::RecodeMatrixSpecs(record);
    if (!ok) ++fReasons.fMatrix;
    return ok;
  }

  bool PreprocessRecord(double* record) override {
    const bool ok = Adapter::PreprocessRecord(record);
    if (!ok) ++fReasons.fPartition;
    return ok;
  }

  bool EncodeCatVars(double* record) const override {
    const bool collecting = this->GetDataPassCount() == 0 && !(fpSeeds != nullptr && fpSeeds->Closed());
    const std::vector<KVOCatVarAdapter*>& adapters = this->GetCatAdapters();
    if (collecting || adapters.size() != fvCatSlots.size()) return fbCatOk = Adapter::EncodeCatVars(record);
    bool ok = true;
    for (size_t i = 0; i < adapters.size(); ++i) {
      const int code = adapters[i]->EncodeOldVars();
      double& slot = record[fvCatSlots[i]];
      if (code >= 0) {
        slot = static_cast<double>(code);
        continue;
      }
      if (adapters[i]->UpdateValid()) ++fUnseen.fvByPartition[CasePartition()][i];
      if (fbMissingAllowed) {
        slot = -1.0;
      } else {
        slot = VORM_SYSMIS;
        ok = false;
      }
    }
    return fbCatOk = ok;
  }

 private:
  static constexpr size_t PARTITIONS = 3;

  // The partition of the case being encoded: the partitioning adapter has
  // chosen it before the case reaches the encoding.
  size_t CasePartition() const {
    if constexpr (requires(const Adapter& adapter) { adapter.GetCasePartition(); }) {
      const int part = this->GetCasePartition();
      return part > 0 && static_cast<size_t>(part) < PARTITIONS ? static_cast<size_t>(part) : 0;
    } else {
      return 0;
    }
  }

  // Classifies the cases between the last one the hooks saw and this one;
  // a new pass starts counting from the first case.
  void NoteSkipped() {
    if (this->GetDataPassCount() != fReasonPass) {
      fReasonPass = this->GetDataPassCount();
      fLastCase = 0;
    }
    const ProcDSIterator* host = this->GetDSIterator();
    if (host == nullptr) return;
    const int64_t current = host->GetCaseNumber();
    if (fpSkipped != nullptr && current > fLastCase + 1) fpSkipped->Classify(fLastCase, current, fReasons);
    fLastCase = current;
  }

  // Seeds the current group's categorical adapters with the group's lists.
  void SeedGroup() {
    fSeededGroup = this->GetSplitCount();
    std::vector<std::string> values, labels;
    if (this->GetSplitFile()) this->GetSplitValuesAndLabels(values, labels);
    const std::vector<SeedKeys>* seeds = fpSeeds->ForGroup(values);
    fbGroupUnknown = seeds == nullptr;
    if (fbGroupUnknown) {
      std::vector<std::string> names, variableLabels;
      this->GetSplitNamesAndLabels(names, variableLabels);
      if (fUnknownGroup.empty()) {
        for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
          fUnknownGroup += (i > 0 ? ", " : "") + names[i] + " = " + values[i];
        }
      }
      return;
    }
    for (const SeedKeys& keys : *seeds) {
      for (size_t code = 0; code < keys.Size(); ++code) {
        bool newValue = false;
        this->EncodeRecordCatValue(keys.fSlot, keys.Key(code), newValue, true);
      }
    }
  }

  std::vector<int> fvCatSlots;
  bool fbMissingAllowed = false;
  const CategorySeeds* fpSeeds = nullptr;
  int fSeededGroup = -1;
  bool fbGroupUnknown = false;
  std::string fUnknownGroup;
  mutable UnseenValues fUnseen;
  mutable int64_t fBadCases = 0;
  std::vector<int> fvVarSlots;
  const SkippedCases* fpSkipped = nullptr;
  mutable RefusalReasons fReasons;
  mutable bool fbCatOk = true;
  int fReasonPass = -1;
  int64_t fLastCase = 0;
};

}  // namespace kvo

#endif  // KVO_TOOL_RUNADAPTER_H
