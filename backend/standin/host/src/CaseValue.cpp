#include <vorm/CaseIterator.h>

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
const OBS ABSENT_VALUE = VORM_SystemMissing();

}  // namespace

CaseValue::CaseValue(VORM_InputCaseIterator& iterator, unsigned int index)
    : fpCells(&ABSENT_VALUE), fpVariable(&ABSENT_VARIABLE), fType(0) {
  const VORM_Variable* variable = iterator.GetDataSource().GetVariable(static_cast<int>(index));
  const OBS* cells = iterator.GetValueCells(static_cast<int>(index));
  if (variable == nullptr || cells == nullptr) return;
  fpCells = cells;
  fpVariable = variable;
  fType = variable->GetType();
}

bool CaseValue::IsMissing() const { return IsNull() || fpVariable->IsUserMissingValue(fpCells); }

bool CaseValue::IsNull() const { return fType == 0 && fpCells->num == VORM_SYSMIS; }
