// Describes a record's variables to a modeling component after the first
// pass: names, labels, roles, the categories the pass found with their
// value labels, ranges and user-missing values, every text in UTF-8.
//
//   metadata DIR
#include <kvoadapter/kvoadapter.h>
#include <qor/VarList.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sample_data.h"

namespace {

using QorXML::IQorVariable;
using Entry = QorXML::QorVarList::Entry;

void Print(const Entry& entry, int index) {
  const char* kinds[] = {"categorical", "continuous", "weight"};
  std::printf("%d %s: \"%s\", %s, role %d\n", index, entry.fName.c_str(), entry.fLabel.c_str(),
              kinds[entry.fKind], entry.fRole);
  if (entry.fKind == Entry::Categorical) {
    std::printf("  values:");
    for (double value : entry.fNumericValues) std::printf(" %g", value);
    for (const std::string& value : entry.fStringValues) std::printf(" %s", value.c_str());
    std::printf("\n  labels:");
    for (const std::string& label : entry.fValueLabels) std::printf(" \"%s\"", label.c_str());
    std::printf("\n");
  } else if (entry.fKind == Entry::Continuous) {
    std::printf("  range %g to %g\n", entry.fMin, entry.fMax);
  }
  for (const auto& [value, label] : entry.fMissingNumbers)
    std::printf("  missing %g \"%s\"\n", value, label.c_str());
  if (entry.fHasMissingRange)
    std::printf("  missing range %g to %g\n", entry.fMissingLow, entry.fMissingHigh);
}

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<standin::MemoryDataSource> data =
      examples::LoadSample(examples::DataDirectory(argc, argv, "DIR"));
  if (!data) return 1;
  data->SetWeightVariable(examples::Find(*data, "weight"));
  data->SetWeightFilter(true);

  KVOVarValidSpecs specs(/*procSysMiss=*/false, /*exclUserMiss=*/true, /*scoreSysMiss=*/false);
  std::vector<int> inputs;  // record slots 0 to 4; the target is slot 5
  for (const char* name : {"gender", "occupation", "education"}) {
    inputs.push_back(specs.AddVariable(examples::Find(*data, name), /*catVar=*/true));
  }
  for (const char* name : {"age", "income"}) {
    inputs.push_back(specs.AddVariable(examples::Find(*data, name), /*catVar=*/false));
  }
  const int target = specs.AddVariable(examples::Find(*data, "defaulted"), /*catVar=*/true);
  const int weightSlot = specs.SetWeightVar();

  KVOInputAdapter adapter(&specs, *data);
  KVOProcDataSourceIter records(adapter, true);
  while (records.Next() != nullptr) {
  }
  if (records.GetFailReason() == 3) return 1;

  // [metadata]
  // Entries in record order from slot 0: each one's index in the list is
  // its record slot.
  QorXML::QorVarList list;
  KVOVarListMetaData builder(list, &specs, *data, &adapter, /*withValueInfo=*/true);
  const std::vector<bool> categorical = {true, true, true, false, false};
  int added = builder.AddRecVariableList(&inputs, categorical, IQorVariable::RoleInput);
  added += builder.AddRecVariable(target, true, IQorVariable::RoleTarget, nullptr, "") ? 1 : 0;
  if (added != 6 ||
      !builder.AddRecWeightVar(weightSlot, IQorVariable::RoleFrequency, IQorVariable::WRoundNearest, "")) {
    // The exit code reports the failure; a lost message changes nothing.
    std::fprintf(stderr, "the component refused a variable\n");
    return 1;
  }
  // [metadata]

  for (int i = 0; i < list.Size(); ++i) Print(*list.GetEntry(i), i);
  return 0;
}
