// A matrix recode: the combination of gender and area becomes one number
// of the record, looked up in a map the procedure fills. The combination
// (M, rural) is left out of the map on purpose: its cases are deleted, and
// an adapter derived for this procedure counts them instead of issuing one
// message per case.
//
//   matrix DIR
#include <kvoadapter/kvoadapter.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sample_data.h"

namespace {

// The key cells of one combination of values: each string blank padded to
// its cells (VORM_CellCount of its width), in the map's variable order.
std::vector<OBS> Key(const ObsVecMap::KeySpec& types, const std::vector<std::string>& texts) {
  std::vector<OBS> key;
  for (size_t i = 0; i < types.size(); ++i) {
    std::vector<OBS> cells(static_cast<size_t>(VORM_CellCount(types[i])));
    std::memset(cells.data(), ' ', cells.size() * sizeof(OBS));
    std::memcpy(cells.data(), texts[i].data(), std::min(texts[i].size(), cells.size() * sizeof(OBS)));
    key.insert(key.end(), cells.begin(), cells.end());
  }
  return key;
}

// [matrix-hook]
// Counts the cases whose combination has no entry instead of reporting each.
class CountingAdapter : public KVOInputAdapter {
 public:
  using KVOInputAdapter::KVOInputAdapter;
  void HandleBadMatrixSpec(int /*groupIndex*/, const std::vector<int>* /*varList*/) const override {
    ++fNUnknown;
  }
  mutable int fNUnknown = 0;
};
// [matrix-hook]

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<standin::MemoryDataSource> data =
      examples::LoadSample(examples::DataDirectory(argc, argv, "DIR"));
  if (!data) return 1;

  // [matrix]
  // The procedure owns the variable list, the map and the formats; the
  // layout only points at them.
  const std::vector<int> vars = {examples::Find(*data, "gender"), examples::Find(*data, "area")};
  const std::vector<VORM_Format> formats = {data->GetVariable(vars[0])->GetFormat(),
                                            data->GetVariable(vars[1])->GetFormat()};
  ObsVecMap map(ObsVecMap::MakeKeySpec(*data, vars), /*extraCells=*/1);
  const struct {
    const char* fGender;
    const char* fArea;
    double fValue;
  } entries[] = {{"F", "urban", 1.0}, {"F", "rural", 2.0}, {"M", "urban", 3.0}};
  for (const auto& e : entries) {
    map.Insert(Key(map.GetKeySpec(), {e.fGender, e.fArea}).data())->num = e.fValue;
  }

  KVOVarValidSpecs specs(/*procSysMiss=*/false, /*exclUserMiss=*/true, /*scoreSysMiss=*/false);
  const int matrixSlot = specs.AddMatrixSpec(&vars, &map, &formats, /*groupIndex=*/1, /*exclUserMiss=*/true);
  specs.AddVariable(examples::Find(*data, "age"), /*catVar=*/false);
  // [matrix]

  CountingAdapter adapter(&specs, *data);
  KVOProcDataSourceIter records(adapter, true);
  std::map<double, int> counts;
  while (const QorCommon::Record* record = records.Next()) ++counts[record->GetAll()[matrixSlot]];
  if (records.GetFailReason() == 3) return 1;

  std::printf("cases read %d, records %d, deleted %d\n", adapter.GetNCases(), adapter.GetNValidCases(),
              adapter.GetNInvalidCases());
  for (const auto& [value, count] : counts) std::printf("  matrix value %g: %d records\n", value, count);
  std::printf("  combination without entry: %d cases\n", adapter.fNUnknown);
  return 0;
}
