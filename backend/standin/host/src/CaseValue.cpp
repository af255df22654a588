#include <vorm/CaseIterator.h>

#include <limits>

#include "MemoryVariable.h"

namespace {

// Stands in for a variable index out of range: numeric, no labels, no
// missing values, and a value that is always system-missing.
class AbsentVariable : public VORM_Variable, public VORM_ValueLabels {
 public:
  const char* GetName() const override { return ""; }
  const char* GetLabel() const override { return nullptr; }
  short GetType() const override { return 0; }
  VORM_Format GetFormat() const override { return VORM_Format(VORM_Format::F, 8, 2); }
  const VORM_ValueLabels& GetValueLabels() const override { return *this; }
  int GetMissingValues(const OBS*& m1, const OBS*& m2, const OBS*& m3) const override {
    m1 = m2 = m3 = nullptr;
    return VORM_MISSING_NONE;
  }
  bool IsUserMissingValue(const OBS*) const override { return false; }
  const char* Find(const OBS*) const override { return nullptr; }
};

const AbsentVariable ABSENT_VARIABLE;
constexpr double NO_NUMBER = std::numeric_limits<double>::quiet_NaN();
const OBS ABSENT_VALUE = VORM_SystemMissing();

}  // namespace

CaseValue::CaseValue(VORM_InputCaseIterator& iterator, unsigned int index)
    : fpCells(&ABSENT_VALUE),
      fpVariable(&ABSENT_VARIABLE),
      fType(0),
      fTest(TEST_ONE_NUMBER),
      fMissing{VORM_SYSMIS, NO_NUMBER, NO_NUMBER},
      fMissingLow(NO_NUMBER),
      fMissingHigh(NO_NUMBER) {
  const VORM_Variable* variable = iterator.GetDataSource().GetVariable(static_cast<int>(index));
  const OBS* cells = iterator.GetValueCells(static_cast<int>(index));
  if (variable == nullptr || cells == nullptr) return;
  fpCells = cells;
  fpVariable = variable;
  fType = variable->GetType();
  const OBS *m1, *m2, *m3;
  const int code = variable->GetMissingValues(m1, m2, m3);
  if (code == VORM_MISSING_NONE) {
    // Numbers: only the system-missing value (already in fMissing[0]).
    if (fType != 0) fTest = TEST_NONE_STRING;
    return;
  }
  // Our own variables give their numeric test as numbers; a variable of
  // another kind (a test's wrapper, say) is asked cell by cell.
  const auto* own = dynamic_cast<const standin::MemoryVariable*>(variable);
  if (own == nullptr || !own->GetNumericMissingTest(fMissing, fMissingLow, fMissingHigh)) {
    fTest = TEST_ASK;
    return;
  }
  const bool oneNumber =
      fMissing[1] != fMissing[1] && fMissing[2] != fMissing[2] && fMissingLow != fMissingLow;
  fTest = oneNumber ? TEST_ONE_NUMBER : TEST_NUMBERS;
}
