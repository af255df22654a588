// The user-facing messages of case input, issued through the host's
// procedure output. Each message is built, issued and dropped in its call.
#include "kvoadapter/KVOInpAdaptMsg.h"

#include <vorm/ProcOutput.h>

#include <string>

#include "kvoadapter/KVOCaseValueReader.h"

namespace {

const char* const MATRIX_SPEC_NOT_FOUND =
    "No specification for matrix in subcommand group ^1 [%1 = %2:, ^1 = ^2:]2...";
const char* const NO_VALID_CASES = "There are no valid cases...";
const char* const NO_VALID_CASES_FOR_SELECT = "There are no valid cases for selection...";
const char* const NO_VALID_CASES_SPLIT = "Split [%1 = %2:,^1 = ^2:]1 there are no valid cases...";

constexpr BpErrorShow SHOW = static_cast<BpErrorShow>(2);
constexpr BpErrorLevel LEVEL = static_cast<BpErrorLevel>(3);
constexpr BpErrorLevel SPLIT_LEVEL = static_cast<BpErrorLevel>(2);
constexpr BpVariable::Show VARIABLE_SHOW = static_cast<BpVariable::Show>(2);
constexpr BpDataValue::Preference VALUE_PREFERENCE = static_cast<BpDataValue::Preference>(2);

}  // namespace

// Item 1 is the group number; item 2 a sublist of (variable, value) pairs,
// one per matrix variable in list order, the values from the current case.
void KVOInpAdaptMsg::MatrixSpecNotFound(int groupIndex, const std::vector<int>* varList,
                                        ProcDSIterator& iterator) const {
  BpComposite message(MATRIX_SPEC_NOT_FOUND, true);
  message.Add(BpNumber(static_cast<double>(groupIndex), BpProcedure::Count()));
  message.Sublist();
  if (varList != nullptr) {
    for (int vormInd : *varList) {
      // The reader only locates the variable's value in the current case.
      KVOCaseValueReader reader(iterator, vormInd, false);
      const VORM_Variable* variable = fpDataSource->GetVariable(vormInd);
      if (variable == nullptr) variable = &reader.Variable();
      message.Add(BpVariable(*variable, VARIABLE_SHOW));
      message.Add(BpDataValue(*variable, &reader.Value(), VALUE_PREFERENCE));
    }
  }
  message.EndSublist();
  message.Finish();
  BpError(message, SHOW, LEVEL);
}

void KVOInpAdaptMsg::NoValidCases() const { BpError(BpString(NO_VALID_CASES, true), SHOW, LEVEL); }

void KVOInpAdaptMsg::NoValidCasesForSelect() const {
  BpError(BpString(NO_VALID_CASES_FOR_SELECT, true), SHOW, LEVEL);
}

// Item 1 is the host's list of the current split group's variables and values.
void KVOInpAdaptMsg::NoValidCasesSplit() const {
  BpComposite message(NO_VALID_CASES_SPLIT, true);
  message.Sublist();
  message.SplitList();
  message.EndSublist();
  message.Finish();
  BpError(message, SHOW, SPLIT_LEVEL);
}
