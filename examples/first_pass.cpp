// A first data pass over the sample data: the record layout, the input
// adapter and the data-pass iterator, weighted and split by country. Prints
// the record layout, then per split group the counts of the pass, the codes
// the education categories got and the range of age.
//
//   first_pass DIR      (DIR holds sample.csv and sample.schema.json)
#include <kvoadapter/kvoadapter.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sample_data.h"

namespace {

// What a slot of the record holds, for the layout table.
std::string SlotText(const KVOVarValidSpecs& specs, const VORM_DataSource& data, int slot) {
  const int host = specs.GetVORMVarIndex(slot);
  if (host >= 0) {
    return std::string(data.GetVariable(host)->GetName()) +
           (specs.GetRecordCatVar(slot) ? " (categorical)" : " (continuous)");
  }
  if (slot == specs.GetWeightVarInd()) return "weight";
  if (slot == specs.GetCaseCountInd()) return "case counter of the split group";
  if (slot == specs.GetGlobalCountInd()) return "case number";
  return "free";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = examples::DataDirectory(argc, argv, "DIR");
  std::unique_ptr<standin::MemoryDataSource> data = examples::LoadSample(dir);
  if (!data) return 1;

  // [host-setup]
  // The host's side: the weight variable, the weight filter (cases with a
  // missing, zero or negative weight are never read) and the split
  // variable, by which the file is sorted.
  data->SetWeightVariable(examples::Find(*data, "weight"));
  data->SetWeightFilter(true);
  data->SetSplitVariables({examples::Find(*data, "country")});
  data->SetSplitRequested(true);
  // [host-setup]

  // [layout]
  // No slot allows a missing value, in procedure passes or in score passes:
  // a case missing one is deleted. User-missing values count as missing.
  KVOVarValidSpecs specs(/*procSysMiss=*/false, /*exclUserMiss=*/true, /*scoreSysMiss=*/false);
  for (const char* name : {"gender", "occupation", "education"}) {
    specs.AddVariable(examples::Find(*data, name), /*catVar=*/true);
  }
  const int ageSlot = specs.AddVariable(examples::Find(*data, "age"), /*catVar=*/false);
  specs.AddVariable(examples::Find(*data, "income"), /*catVar=*/false);
  const int weightSlot = specs.SetWeightVar();
  specs.SetCaseCount();
  specs.SetGlobalCount();
  const int educationSlot = specs.GetRecVarIndex(examples::Find(*data, "education"));
  // [layout]

  std::printf("record: %d slots\n", specs.GetNRecordVars());
  for (int slot = 0; slot < specs.GetNRecordVars(); ++slot) {
    std::printf("  slot %d: %s\n", slot, SlotText(specs, *data, slot).c_str());
  }

  // [first-pass]
  KVOInputAdapter adapter(&specs, *data);
  adapter.SetWeightAdjType(WeightRound);
  // One split group after the other; each keeps its own categories.
  BpProcedure procedure;
  adapter.SetSplitFile(procedure, /*splitWhenClear=*/false, /*splitWhenSet=*/true, /*keepSplitInfo=*/true);
  KVOProcDataSourceIter records(adapter, /*start=*/true);
  do {
    int n = 0;
    double weights = 0.0;
    while (const QorCommon::Record* record = records.Next()) {
      ++n;
      weights += record->GetAll()[weightSlot];
    }
    if (records.GetFailReason() == 3) {
      // The exit code reports the failure; a lost message changes nothing.
      std::fprintf(stderr, "the host could not read the cases\n");
      return 1;
    }
    std::vector<std::string> values, labels;
    adapter.GetSplitValuesAndLabels(values, labels);
    std::printf("group %d: country %s (%s)\n", adapter.GetSplitCount(), values[0].c_str(), labels[0].c_str());
    std::printf("  cases read %d, valid %d, invalid %d\n", adapter.GetNCases(), adapter.GetNValidCases(),
                adapter.GetNInvalidCases());
    std::printf("  weighted read %g, valid %g, invalid %g\n", adapter.GetWeightNCases(),
                adapter.GetWeightNValidCases(), adapter.GetWeightNInvalidCases());
    std::printf("  records %d, their weights %g\n", n, weights);
    // [first-pass]
    // [categories]
    std::printf("  education codes:");
    for (int code = 0; code < adapter.GetRecordCatVarSize(educationSlot); ++code) {
      const OBS* value = adapter.DecodeRecordCatValue(educationSlot, code);
      std::printf(" %d=%g", code, value->num);
    }
    std::printf("\n  age range %g to %g\n", adapter.GetRecMinValue(ageSlot), adapter.GetRecMaxValue(ageSlot));
    // [categories]
    // [first-pass]
  } while (records.NewSplit());
  // [first-pass]
  return 0;
}
