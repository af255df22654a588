// Random partitions of the sample data (70% training, 30% test) in each
// split group: the first pass hands the component the training cases; the
// second marks every partitioned case, writes it to its partition's file
// and keeps per-partition statistics; then the training file gets five
// cross-validation folds.
//
//   partitions DIR
#include <kvoadapter/kvoadapter.h>
#include <standin/HostControl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sample_data.h"

namespace {

const char* const PARTITION_NAMES[] = {"training", "test"};

// Records per fold of a training file whose fold slot is filled.
std::vector<int> CountFolds(KVODataFileIter& training, int foldSlot, int nFolds) {
  std::vector<int> counts(static_cast<size_t>(nFolds), 0);
  if (training.NewPass() != 0) return counts;
  while (const QorCommon::Record* record = training.Next()) {
    ++counts[static_cast<size_t>(record->GetAll()[foldSlot])];
  }
  return counts;
}

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<standin::MemoryDataSource> data =
      examples::LoadSample(examples::DataDirectory(argc, argv, "DIR"));
  if (!data) return 1;
  data->SetWeightVariable(examples::Find(*data, "weight"));
  data->SetWeightFilter(true);
  data->SetSplitVariables({examples::Find(*data, "country")});
  data->SetSplitRequested(true);
  standin::SetRandomSeed(2000000);  // the host's random stream

  // [partition-layout]
  KVOVarValidSpecs specs(/*procSysMiss=*/false, /*exclUserMiss=*/true, /*scoreSysMiss=*/false);
  specs.AddVariable(examples::Find(*data, "gender"), /*catVar=*/true);
  const int ageSlot = specs.AddVariable(examples::Find(*data, "age"), /*catVar=*/false);
  specs.AddVariable(examples::Find(*data, "income"), /*catVar=*/false);
  const int partitionSlot = specs.AddFreeVariable(/*contVar=*/true);  // 1 training, 0 test, -1 holdout
  const int foldSlot = specs.AddFreeVariable(/*contVar=*/true);
  specs.SetWeightVar();
  specs.SetCaseCount();
  specs.SetGlobalCount();

  KVOUniformRandom random;  // draws from the host's stream
  KVOPartitionAdapter adapter(&specs, *data, {70.0, 30.0}, &random, /*rngResettable=*/false);
  adapter.SetPartIterOptions(/*makeSeparIters=*/true, /*keepStats=*/true, partitionSlot);
  BpProcedure procedure;
  adapter.SetSplitFile(procedure, false, true, true);
  // [partition-layout]

  // [partition-passes]
  KVOProcDataSourceIter records(adapter, /*start=*/true);
  std::vector<int> firstPass;  // training records per group
  do {
    int n = 0;
    while (records.Next() != nullptr) ++n;
    adapter.CompleteSplit();
    firstPass.push_back(n);
  } while (records.GetFailReason() == 1 && records.NewSplit());
  if (records.GetFailReason() == 3 || !adapter.HasValidTempFiles()) return 1;

  if (records.NewPass() != 0) return 1;
  records.SetLastPass();
  KVOStopProcessor stop;  // no time limit: only the user's interruption
  size_t group = 0;
  do {
    while (records.Next() != nullptr) {
    }
    if (records.GetFailReason() == 3 || !adapter.CompleteSplit()) {
      // The exit code reports the failure; a lost message changes nothing.
      std::fprintf(stderr, "a partition file failed: errno %d\n", adapter.GetTempFileErrorNumber());
      return 1;
    }
    std::vector<KVODataFileIter*>& files = adapter.GetPartSeparIters();
    // [partition-passes]
    std::printf("group %zu\n", group + 1);
    std::printf("  first pass: training records %d\n", firstPass[group]);
    std::printf("  second pass: records %d, excluded %d\n", adapter.GetNRecords(),
                adapter.GetExclCaseCount());
    // [partition-stats]
    for (int part = 0; part < adapter.GetNPartitions(); ++part) {
      const size_t p = static_cast<size_t>(part);
      std::printf("  %s: %d records, file holds %lld, mean age %.6f\n", PARTITION_NAMES[part],
                  adapter.GetCaseCounts()[p], static_cast<long long>(files[p]->GetRecordCount()),
                  adapter.GetMeanValues()[p][static_cast<size_t>(ageSlot)]);
    }
    // [partition-stats]
    // [folds]
    const bool everyFold = adapter.GetCrossValidPartition(/*nFolds=*/5, foldSlot, &stop);
    if (!adapter.HasValidTempFiles()) return 1;  // the training file stays unfolded
    std::printf("  folds%s:", everyFold ? "" : " (some empty)");
    for (int count : CountFolds(*adapter.GetPartSeparIters()[0], foldSlot, 5)) std::printf(" %d", count);
    std::printf("\n");
    // [folds]
    ++group;
    // [partition-passes]
  } while (records.NewSplit());
  // [partition-passes]
  return 0;
}
