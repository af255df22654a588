// Temporary record files: the records of one pass written to a file one by
// one, then sorted by age and income into a second file through the host's
// record sort, read back, and exported as text.
//
//   sorting DIR TEXT    (TEXT: where the sorted records go as text)
#include <kvoadapter/kvoadapter.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sample_data.h"

int main(int argc, char** argv) {
  std::unique_ptr<standin::MemoryDataSource> data =
      examples::LoadSample(examples::DataDirectory(argc, argv, "DIR TEXT"));
  if (!data || argc < 3) return 2;
  data->SetWeightVariable(examples::Find(*data, "weight"));
  data->SetWeightFilter(true);

  KVOVarValidSpecs specs(/*procSysMiss=*/false, /*exclUserMiss=*/true, /*scoreSysMiss=*/false);
  specs.AddVariable(examples::Find(*data, "gender"), /*catVar=*/true);
  const int ageSlot = specs.AddVariable(examples::Find(*data, "age"), /*catVar=*/false);
  const int incomeSlot = specs.AddVariable(examples::Find(*data, "income"), /*catVar=*/false);
  specs.SetWeightVar();
  specs.SetGlobalCount();
  KVOInputAdapter adapter(&specs, *data);

  // [write-file]
  KVODataFileIter file(adapter);  // records of the adapter's record size
  if (!file.HasValidTempFile()) {
    std::fprintf(stderr, "cannot create a temporary file: %s\n", std::strerror(file.GetErrorNumber()));
    return 1;
  }
  KVOProcDataSourceIter records(adapter, /*start=*/true);
  while (const QorCommon::Record* record = records.Next()) {
    if (!file.AddNewRecord(record->GetAll())) break;  // the file failed: stop writing
  }
  if (records.GetFailReason() == 3 || !file.CompleteDataFile()) {
    std::fprintf(stderr, "cannot write the records: %s\n", std::strerror(file.GetErrorNumber()));
    return 1;
  }
  // [write-file]

  // [sort-file]
  KVODataFileIter sorted(adapter, /*sortKeys=*/{ageSlot, incomeSlot}, /*sortParam=*/-1);
  if (!sorted.HasValidTempFile() || file.NewPass() != 0 || !sorted.FillDataFile(file) ||
      sorted.GetRecordCount() != file.GetRecordCount()) {
    std::fprintf(stderr, "cannot sort the records: %s\n", std::strerror(sorted.GetErrorNumber()));
    return 1;
  }
  // [sort-file]

  std::printf("records %lld, sorted %lld\n", static_cast<long long>(file.GetRecordCount()),
              static_cast<long long>(sorted.GetRecordCount()));
  // [read-file]
  if (sorted.NewPass() != 0) return 1;  // 1: no record, 3: unreadable
  for (int i = 0; i < 3 && sorted.HasMore(); ++i) {
    const double* values = sorted.Next()->GetAll();
    std::printf("  age %g, income %g\n", values[ageSlot], values[incomeSlot]);
  }
  if (sorted.GetFailReason() == 3) return 1;
  // [read-file]
  // [text-file]
  if (!sorted.GetTextFile(argv[2])) {
    std::fprintf(stderr, "%s: cannot write the text: %s\n", argv[2], std::strerror(errno));
    return 1;
  }
  // [text-file]
  std::printf("text: %s\n", argv[2]);
  return 0;
}
