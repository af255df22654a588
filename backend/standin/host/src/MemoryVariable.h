// One variable of a MemoryDataSource: its declaration as given, and the
// forms the host calls read (missing-value cells, label maps). Read by any
// number of threads once built; rebuilt only by its data source between
// procedures. Owns its declaration and its derived tables.
#ifndef STANDIN_MEMORYVARIABLE_H
#define STANDIN_MEMORYVARIABLE_H

#include <vorm/Dictionary.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "standin/MemoryDataSource.h"

namespace standin {

class MemoryVariable final : public VORM_Variable, public VORM_ValueLabels {
 public:
  // Why a declaration is not valid (the reason alone: callers name the
  // variable), or the empty string when it is. Fills in the default format
  // when none is given.
  static std::string Check(VariableSpec& spec);

  // REQUIRES: Check(spec) returned the empty string.
  explicit MemoryVariable(const VariableSpec& spec);
  MemoryVariable(const MemoryVariable&) = delete;
  MemoryVariable& operator=(const MemoryVariable&) = delete;

  // Rebuilds the derived tables from a checked declaration.
  // REQUIRES: Check(spec) returned the empty string.
  void Apply(const VariableSpec& spec);

  // The declaration that tests may edit through MemoryDataSource::Spec, and
  // the last one applied.
  VariableSpec& EditableSpec() { return fEditable; }
  const VariableSpec& AppliedSpec() const { return fApplied; }
  // Reverts the editable declaration to the applied one.
  void Revert() { fEditable = fApplied; }

  int Cells() const { return VORM_CellCount(fApplied.fType); }
  bool IsCategorical() const { return fApplied.fMeasure != Measure::Scale; }

  // VORM_Variable
  const char* GetName() const override { return fApplied.fName.c_str(); }
  const char* GetLabel() const override {
    return fApplied.fLabel.empty() ? nullptr : fApplied.fLabel.c_str();
  }
  short GetType() const override { return fApplied.fType; }
  VORM_Format GetFormat() const override { return fApplied.fFormat; }
  const VORM_ValueLabels& GetValueLabels() const override { return *this; }
  int GetMissingValues(const OBS*& m1, const OBS*& m2, const OBS*& m3) const override;
  bool IsUserMissingValue(const OBS* value) const override;

  // VORM_ValueLabels
  const char* Find(const OBS* value) const override;

 private:
  VariableSpec fEditable;
  VariableSpec fApplied;
  // GetMissingValues code and its cells: three values of Cells() cells each
  // (blank padded for strings; low, high, value for ranges).
  int fMissingCode = VORM_MISSING_NONE;
  std::vector<OBS> fMissingCells;
  // The same values for a numeric variable as numbers: a number other than
  // the system-missing value is user-missing exactly when it equals one of
  // fMissingNumbers or lies in [fMissingLow, fMissingHigh]. Unused places
  // hold NaN, which equals nothing and bounds no range.
  double fMissingNumbers[3];
  double fMissingLow;
  double fMissingHigh;
  std::map<double, std::string> fNumericLabels;
  std::map<std::string, std::string, std::less<>> fStringLabels;  // keys padded to the width
};

}  // namespace standin

#endif  // STANDIN_MEMORYVARIABLE_H
