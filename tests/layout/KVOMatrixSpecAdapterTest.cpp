#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "LayoutTestSupport.h"
#include "kvoadapter/KVOMatrixSpecAdapter.h"
#include "support/ForwardingDataSource.h"

namespace {

using specs_test::Join;
using specs_test::NewIterator;
using specs_test::NumCells;
using specs_test::StrCells;
using specs_test::SYSMIS;

// A variable that counts how often its user-missing values are consulted:
// a reader asks its host once per value of a string variable with declared
// missing values (numbers it judges from the values it read when made).
class CountingVariable : public kvotest::ForwardingVariable {
 public:
  using ForwardingVariable::ForwardingVariable;
  bool IsUserMissingValue(const OBS* value) const override {
    ++fCalls;
    return fTarget.IsUserMissingValue(value);
  }
  mutable int fCalls = 0;
};

// An iterator that forwards to another but presents the counting dictionary.
class CountingIterator : public ProcDSIterator {
 public:
  CountingIterator(ProcDSIterator& inner, const VORM_DataSource& dictionary)
      : fInner(inner), fDictionary(dictionary) {}
  int NextCase() override { return fInner.NextCase(); }
  int64_t GetCaseNumber() const override { return fInner.GetCaseNumber(); }
  const double& GetNumericValue(int index) const override { return fInner.GetNumericValue(index); }
  const char* GetStringValue(int index) const override { return fInner.GetStringValue(index); }
  const OBS* GetValueCells(int index) const override { return fInner.GetValueCells(index); }
  const VORM_DataSource& GetDataSource() const override { return fDictionary; }
  bool SplitGroupEnd() const override { return fInner.SplitGroupEnd(); }
  double Weight() const override { return fInner.Weight(); }

 private:
  ProcDSIterator& fInner;
  const VORM_DataSource& fDictionary;
};

// The matrix adapter's rules beyond a plain pass (the layout integration
// test looks up two matrices, with user-missing values excluded and counted as
// data, over a survey): the validity test stops at the first invalid
// variable, broken specifications, and copies.
//
// Variables: a (numeric, user-missing 9), s (12-byte string), b (numeric,
// user-missing 0), d (numeric, user-missing -1).
class KVOMatrixSpecAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fA = fData.AddNumeric("a", standin::Measure::Nominal);
    fS = fData.AddString("s", 12);
    fB = fData.AddNumeric("b", standin::Measure::Nominal);
    fD = fData.AddNumeric("d", standin::Measure::Nominal);
    fData.Spec(fA).fMissingNumbers = {9.0};
    fData.Spec(fB).fMissingNumbers = {0.0};
    fData.Spec(fD).fMissingNumbers = {-1.0};
    const struct {
      double a;
      const char* s;
      double b, d;
    } rows[] = {
        {1, "north-east", 0, 4},       // 1: found; b user-missing
        {2, "north-eazz", 3, 4},       // 2: not found
        {SYSMIS, "north-east", 3, 4},  // 3: a system-missing
        {9, "north-east", 3, 4},       // 4: a user-missing
        {1, "north-west", 3, 4},       // 5: found
    };
    for (const auto& row : rows) {
      fData.AddCase();
      fData.SetNumber(fA, row.a);
      fData.SetString(fS, row.s);
      fData.SetNumber(fB, row.b);
      fData.SetNumber(fD, row.d);
    }
    // (a, s) -> value: a key of 1 + 2 cells.
    fVarsAS = {fA, fS};
    fMapAS = std::make_unique<ObsVecMap>(ObsVecMap::MakeKeySpec(fData, fVarsAS), 1);
    fMapAS->Insert(Join({NumCells(1), StrCells("north-east", 12)}).data())->num = 10;
    fMapAS->Insert(Join({NumCells(1), StrCells("north-west", 12)}).data())->num = 30;
    fSpecAS = KVOMatrixSpecs(&fVarsAS, fMapAS.get(), nullptr, 1, true);
  }

  standin::MemoryDataSource fData;
  int fA = -1, fS = -1, fB = -1, fD = -1;
  std::vector<int> fVarsAS;
  std::unique_ptr<ObsVecMap> fMapAS;
  KVOMatrixSpecs fSpecAS;
};

TEST_F(KVOMatrixSpecAdapterTest, ValidityStopsAtTheFirstInvalidVariable) {
  // The string s is read twice, second and fourth, with a user-missing
  // value no case holds: its calls count the readers evaluated.
  fData.Spec(fS).fMissingStrings = {"unknown"};
  CountingVariable s(*fData.GetVariable(fS));
  kvotest::ForwardingDataSource dictionary(fData);
  dictionary.Replace(fS, s);
  auto inner = NewIterator(fData);
  CountingIterator it(*inner, dictionary);
  const std::vector<int> vars{fA, fS, fB, fS};
  ObsVecMap map(ObsVecMap::MakeKeySpec(fData, vars), 1);
  const KVOMatrixSpecs spec(&vars, &map, nullptr, 3, true);
  KVOMatrixSpecAdapter adapter(it, &spec, false);

  ASSERT_NE(it.NextCase(), 0);  // a = 1, s valid, b = 0 (user-missing)
  EXPECT_FALSE(adapter.UpdateValid());
  EXPECT_EQ(s.fCalls, 1) << "the fourth reader was not evaluated";
  bool bad = false;
  EXPECT_EQ(adapter.Recode(bad), SYSMIS);
  EXPECT_TRUE(bad);
  EXPECT_EQ(s.fCalls, 2);

  ASSERT_NE(it.NextCase(), 0);  // all valid; the combination is not in the map
  EXPECT_TRUE(adapter.UpdateValid());
  EXPECT_EQ(s.fCalls, 4);
  EXPECT_EQ(adapter.Recode(bad), SYSMIS);
  EXPECT_TRUE(bad);
  EXPECT_EQ(s.fCalls, 6);

  ASSERT_NE(it.NextCase(), 0);  // a system-missing: nothing after it is read
  EXPECT_FALSE(adapter.UpdateValid());
  EXPECT_EQ(adapter.Recode(bad), SYSMIS);
  EXPECT_EQ(s.fCalls, 6);

  // A specification without variables is always valid.
  const std::vector<int> none;
  ObsVecMap emptyMap(ObsVecMap::MakeKeySpec(fData, none), 1);
  const KVOMatrixSpecs emptySpec(&none, &emptyMap, nullptr, 4, true);
  KVOMatrixSpecAdapter empty(it, &emptySpec, false);
  EXPECT_TRUE(empty.UpdateValid());
}

TEST_F(KVOMatrixSpecAdapterTest, BrokenSpecificationsAreReportedAndRecodeNothing) {
  auto it = NewIterator(fData);
  ASSERT_NE(it->NextCase(), 0);
  kvotest::QuietHost quiet;
  KVOMatrixSpecAdapter noSpec(*it, nullptr, false);
  EXPECT_EQ(kvotest::AssertsFrom("KVOMatrixSpecAdapter"), std::vector<std::string>{"pMatrixSpec != 0"});
  bool bad = false;
  EXPECT_EQ(noSpec.Recode(bad), SYSMIS);
  EXPECT_TRUE(bad);
  EXPECT_TRUE(noSpec.UpdateValid());

  // The map keys a different number of variables than the list holds.
  const std::vector<int> onlyA{fA};
  ObsVecMap mapA(ObsVecMap::MakeKeySpec(fData, onlyA), 1);
  const KVOMatrixSpecs wrongKey(&fVarsAS, &mapA, nullptr, 1, true);
  KVOMatrixSpecAdapter adapter(*it, &wrongKey, false);
  EXPECT_EQ(kvotest::AssertsFrom("KVOMatrixSpecAdapter"),
            (std::vector<std::string>{"pMatrixSpec != 0", "keySpecs.size() == fNCatVars"}));
  bad = false;
  EXPECT_EQ(adapter.Recode(bad), SYSMIS);
  EXPECT_TRUE(bad);

  // A specification without a list or a map.
  const KVOMatrixSpecs hollow;
  KVOMatrixSpecAdapter hollowAdapter(*it, &hollow, false);
  EXPECT_EQ(kvotest::AssertsFrom("KVOMatrixSpecAdapter").size(), 3u);
  EXPECT_EQ(hollowAdapter.Recode(bad), SYSMIS);
  EXPECT_TRUE(bad);
}

TEST_F(KVOMatrixSpecAdapterTest, CopiesOwnTheirReaders) {
  auto it = NewIterator(fData);
  auto source = std::make_unique<KVOMatrixSpecAdapter>(*it, &fSpecAS, false);
  ASSERT_NE(it->NextCase(), 0);
  bool bad = true;
  {
    KVOMatrixSpecAdapter copy(*source);
    EXPECT_EQ(copy.GetMatrixSpecPtr(), &fSpecAS);
    EXPECT_EQ(copy.Recode(bad), 10.0);
    EXPECT_FALSE(bad);
  }
  EXPECT_EQ(source->Recode(bad), 10.0) << "the source's readers survive the copy";

  KVOMatrixSpecAdapter survivor(*source);
  source.reset();
  ASSERT_TRUE(specs_test::MoveTo(*it, 4));  // case 5
  EXPECT_EQ(survivor.Recode(bad), 30.0);
  EXPECT_FALSE(bad);
}

}  // namespace
