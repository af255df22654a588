// An outside host procedure: builds a small data set in the stand-in host,
// reads every case through the library's case value reader and counts what
// it sees.
#include <kvoadapter/kvoadapter.h>
#include <standin/MemoryDataSource.h>

#include <cstdio>
#include <memory>

int main() {
  standin::MemoryDataSource data;
  standin::VariableSpec income;
  income.fName = "income";
  income.fMissingNumbers = {99.0};
  const int index = data.AddVariable(income);
  for (double value : {10.0, 99.0, VORM_SYSMIS, 20.0}) {
    data.AddCase();
    data.SetNumber(index, value);
  }

  std::unique_ptr<VORM_InputCaseIterator> iterator(data.NewCaseIterator(0));
  KVOCaseValueReader reader(*iterator, index, false);
  int valid = 0, userMissing = 0, systemMissing = 0;
  while (iterator->NextCase() != 0) {
    if (reader.UpdateValid()) ++valid;
    if (reader.IsUserMissing()) ++userMissing;
    if (reader.IsSysmis()) ++systemMissing;
  }
  std::printf("valid=%d user-missing=%d system-missing=%d\n", valid, userMissing, systemMissing);
  return 0;
}
