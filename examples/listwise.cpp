// The two listwise modes on five cases built in memory. A case with a
// missing value in a slot that does not allow one is deleted in both; soft
// listwise deletion (the default) encodes the case's categorical values
// before it judges the case, so a value seen only in deleted cases still
// gets a category; strong listwise deletion judges the case first.
//
//   listwise
#include <kvoadapter/kvoadapter.h>
#include <standin/MemoryDataSource.h>

#include <cstdio>
#include <string>

namespace {

// color: a string; income: a number whose value 99 is user-missing.
struct Data {
  standin::MemoryDataSource fSource;
  int fColor = -1;
  int fIncome = -1;
};

void Fill(Data& data) {
  data.fColor = data.fSource.AddString("color", 8);
  data.fIncome = data.fSource.AddNumeric("income");
  data.fSource.Spec(data.fIncome).fMissingNumbers = {99.0};
  const struct {
    const char* fColor;
    double fIncome;
  } cases[] = {{"red", 10.0}, {"purple", VORM_SYSMIS}, {"green", 20.0}, {"purple", 99.0}, {"red", 30.0}};
  for (const auto& c : cases) {
    data.fSource.AddCase();
    data.fSource.SetString(data.fColor, c.fColor);
    data.fSource.SetNumber(data.fIncome, c.fIncome);
  }
}

void Pass(Data& data, bool strong) {
  // [listwise]
  KVOVarValidSpecs specs(/*procSysMiss=*/false, /*exclUserMiss=*/true, /*scoreSysMiss=*/false);
  specs.SetStrongListWise(strong);  // before the slots are added
  const int colorSlot = specs.AddVariable(data.fColor, /*catVar=*/true);
  specs.AddVariable(data.fIncome, /*catVar=*/false);
  KVOInputAdapter adapter(&specs, data.fSource);
  KVOProcDataSourceIter records(adapter, /*start=*/true);
  std::string codes;
  while (const QorCommon::Record* record = records.Next()) {
    codes += ' ';
    codes += std::to_string(static_cast<int>(record->GetAll()[colorSlot]));
  }
  // [listwise]
  std::string categories;
  for (int code = 0; code < adapter.GetRecordCatVarSize(colorSlot); ++code) {
    std::string value(adapter.DecodeRecordCatValue(colorSlot, code)->str, 8);
    value.erase(value.find_last_not_of(' ') + 1);
    categories += ' ';
    categories += value;
  }
  std::printf("%s listwise: read %d, records %d, deleted %d\n", strong ? "strong" : "soft",
              adapter.GetNCases(), adapter.GetNValidCases(), adapter.GetNInvalidCases());
  std::printf("  color categories:%s\n", categories.c_str());
  std::printf("  color codes of the records:%s\n", codes.c_str());
}

}  // namespace

int main() {
  Data data;
  Fill(data);
  Pass(data, false);
  Pass(data, true);
  return 0;
}
