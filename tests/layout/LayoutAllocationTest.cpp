// The per-case steps of the value adapters allocate nothing once the values
// are known, counted through the global allocation functions.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LayoutTestSupport.h"
#include "kvoadapter/KVOCatVarAdapter.h"
#include "kvoadapter/KVOContVarAdapter.h"
#include "kvoadapter/KVOMatrixSpecAdapter.h"
#include "support/AllocationCounter.h"

namespace {

using specs_test::NewIterator;
using specs_test::SYSMIS;

constexpr int N_CASES = 3000;

TEST(SpecsAllocationTest, EncodingKnownValuesAllocatesNothing) {
  standin::MemoryDataSource data;
  const int num = data.AddNumeric("num", standin::Measure::Nominal);
  const int text = data.AddString("text", 12);
  const int cont = data.AddNumeric("cont");
  data.Spec(num).fMissingNumbers = {99.0};
  data.Spec(cont).fHasMissingRange = true;
  data.Spec(cont).fMissingLow = 1000.0;
  data.Spec(cont).fMissingHigh = 2000.0;
  const char* words[] = {"alpha-centau", "alpha-centa", "beta", "gamma ray", "delta"};
  data.Reserve(N_CASES);
  for (int i = 0; i < N_CASES; ++i) {
    data.AddCase();
    // Every tenth case brings a system-missing or user-missing value.
    data.SetNumber(num, i % 10 == 3 ? SYSMIS : i % 10 == 7 ? 99.0 : static_cast<double>(i % 6));
    data.SetString(text, words[i % 5]);
    data.SetNumber(cont, i % 10 == 5 ? 1500.0 : i * 0.25);
  }

  // Every combination of the number and the word is in the matrix map.
  const std::vector<int> matrixVars{num, text};
  ObsVecMap matrixMap(ObsVecMap::MakeKeySpec(data, matrixVars), 1);
  for (int n = 0; n < 6; ++n) {
    for (int w = 0; w < 5; ++w) {
      const std::vector<OBS> key =
          specs_test::Join({specs_test::NumCells(n), specs_test::StrCells(words[w], 12)});
      matrixMap.Insert(key.data())->num = n * 10 + w;
    }
  }
  const KVOMatrixSpecs matrixSpec(&matrixVars, &matrixMap, nullptr, 1, true);

  // Warm-up: the first pass collects the categories.
  auto first = NewIterator(data);
  KVOCatVarAdapter numAdapter(data, *first, num, false);
  KVOCatVarAdapter textAdapter(data, *first, text, false);
  KVOContVarAdapter contAdapter(*first, cont, false);
  KVOMatrixSpecAdapter matrixAdapter(*first, &matrixSpec, false);
  while (first->NextCase() != 0) {
    numAdapter.Encode();
    textAdapter.Encode();
    contAdapter.GetValue();
    bool bad = false;
    matrixAdapter.Recode(bad);
  }
  ASSERT_EQ(numAdapter.GetSize(), 6);
  ASSERT_EQ(textAdapter.GetSize(), 5);

  // The second pass encodes known values only; count what the per-case
  // steps allocate, leaving out the iterator's own work.
  auto second = NewIterator(data);
  numAdapter.SetCaseValueReader(*second, false);
  textAdapter.SetCaseValueReader(*second, false);
  contAdapter.SetCaseValueReader(*second, false);
  matrixAdapter.SetCaseValueReader(*second, false);
  long allocations = 0;
  int cases = 0, invalid = 0, found = 0;
  double checksum = 0.0;
  while (second->NextCase() != 0) {
    const long before = kvotest::AllocationsSoFar();
    const int code = numAdapter.Encode();
    const int oldCode = numAdapter.EncodeOldVars();
    const int textCode = textAdapter.Encode();
    const int oldTextCode = textAdapter.EncodeOldVars();
    const double value = contAdapter.GetValue();
    bool bad = false;
    const double recoded = matrixAdapter.Recode(bad);
    allocations += kvotest::AllocationsSoFar() - before;
    ++cases;
    if (code < 0) ++invalid;
    if (!bad) ++found;
    checksum +=
        code + oldCode + textCode + oldTextCode + (value == SYSMIS ? 0.0 : value) + (bad ? 0.0 : recoded);
  }
  EXPECT_EQ(cases, N_CASES);
  EXPECT_EQ(invalid, N_CASES / 10 * 2) << "system-missing and user-missing numbers";
  EXPECT_EQ(found, N_CASES - N_CASES / 10 * 2);
  EXPECT_GT(checksum, 0.0);
  EXPECT_EQ(allocations, 0);
}

}  // namespace
