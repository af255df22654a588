#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "SpecsTestSupport.h"
#include "kvoadapter/KVOMatrixSpecAdapter.h"

namespace {

using specs_test::Join;
using specs_test::NewIterator;
using specs_test::NumCells;
using specs_test::StrCells;
using specs_test::SYSMIS;

// A variable that counts how often its user-missing values are consulted:
// a reader that evaluates its validity rule on a non-missing number of a
// variable with declared missing values asks exactly once.
class CountingVariable : public VORM_Variable {
 public:
  explicit CountingVariable(const VORM_Variable& inner) : fInner(inner) {}
  const char* GetName() const override { return fInner.GetName(); }
  const char* GetLabel() const override { return fInner.GetLabel(); }
  short GetType() const override { return fInner.GetType(); }
  VORM_Format GetFormat() const override { return fInner.GetFormat(); }
  const VORM_ValueLabels& GetValueLabels() const override { return fInner.GetValueLabels(); }
  int GetMissingValues(const OBS*& m1, const OBS*& m2, const OBS*& m3) const override {
    return fInner.GetMissingValues(m1, m2, m3);
  }
  bool IsUserMissingValue(const OBS* value) const override {
    ++fCalls;
    return fInner.IsUserMissingValue(value);
  }
  mutable int fCalls = 0;

 private:
  const VORM_Variable& fInner;
};

// A dictionary whose variables count their missing-value lookups.
class CountingDictionary : public VORM_DataSource {
 public:
  explicit CountingDictionary(const VORM_DataSource& inner) : fInner(inner) {
    for (int i = 0; i < inner.GetNumVariables(); ++i) fVariables.emplace_back(*inner.GetVariable(i));
  }
  int GetNumVariables() const override { return fInner.GetNumVariables(); }
  const VORM_Variable* GetVariable(int index) const override {
    return index >= 0 && index < GetNumVariables() ? &fVariables[static_cast<size_t>(index)] : nullptr;
  }
  int FindVarIndex(const char* name, int flags) const override { return fInner.FindVarIndex(name, flags); }
  int GetWeightVarIndex() const override { return fInner.GetWeightVarIndex(); }
  bool IsCategorical(int index) const override { return fInner.IsCategorical(index); }
  int Calls(int index) const { return fVariables[static_cast<size_t>(index)].fCalls; }

 private:
  const VORM_DataSource& fInner;
  std::vector<CountingVariable> fVariables;
};

// An iterator that forwards to another but presents the counting dictionary.
class CountingIterator : public ProcDSIterator {
 public:
  CountingIterator(ProcDSIterator& inner, const CountingDictionary& dictionary)
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
  const CountingDictionary& fDictionary;
};

// Variables: a (numeric, user-missing 9), s (12-byte string), c (3-byte
// string), b (numeric, user-missing 0), d (numeric, user-missing -1).
class KVOMatrixSpecAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fA = fData.AddNumeric("a", standin::Measure::Nominal);
    fS = fData.AddString("s", 12);
    fC = fData.AddString("c", 3);
    fB = fData.AddNumeric("b", standin::Measure::Nominal);
    fD = fData.AddNumeric("d", standin::Measure::Nominal);
    fData.Spec(fA).fMissingNumbers = {9.0};
    fData.Spec(fB).fMissingNumbers = {0.0};
    fData.Spec(fD).fMissingNumbers = {-1.0};
    struct Row {
      double a;
      const char* s;
      const char* c;
      double b, d;
    };
    const Row rows[] = {
        {1, "north-east", "ab", 0, 4},       // 1: found in both maps; b user-missing
        {2, "north-eazz", "ab", 3, 4},       // 2: differs from (2, north-east) in the second cell only
        {SYSMIS, "north-east", "ab", 3, 4},  // 3: a system-missing
        {9, "north-east", "ab", 3, 4},       // 4: a user-missing
        {1, "north-west", "abc", 3, 4},      // 5: found; c not in the second map
    };
    for (const Row& row : rows) {
      fData.AddCase();
      fData.SetNumber(fA, row.a);
      fData.SetString(fS, row.s);
      fData.SetString(fC, row.c);
      fData.SetNumber(fB, row.b);
      fData.SetNumber(fD, row.d);
    }

    // (a, s) -> value: a key of 1 + 2 cells.
    fVarsAS = {fA, fS};
    fMapAS = std::make_unique<ObsVecMap>(ObsVecMap::MakeKeySpec(fData, fVarsAS), 1);
    Add(*fMapAS, Join({NumCells(1), StrCells("north-east", 12)}), 10);
    Add(*fMapAS, Join({NumCells(2), StrCells("north-east", 12)}), 20);
    Add(*fMapAS, Join({NumCells(1), StrCells("north-west", 12)}), 30);
    Add(*fMapAS, Join({NumCells(9), StrCells("north-east", 12)}), 90);
    fSpecAS = KVOMatrixSpecs(&fVarsAS, fMapAS.get(), nullptr, 1, true);

    // (c, a) -> value: a key of 1 + 1 cells.
    fVarsCA = {fC, fA};
    fMapCA = std::make_unique<ObsVecMap>(ObsVecMap::MakeKeySpec(fData, fVarsCA), 1);
    Add(*fMapCA, Join({StrCells("ab", 3), NumCells(1)}), 7);
    Add(*fMapCA, Join({StrCells("ab", 3), NumCells(2)}), 8);
    fSpecCA = KVOMatrixSpecs(&fVarsCA, fMapCA.get(), nullptr, 2, true);
  }

  static void Add(ObsVecMap& map, const std::vector<OBS>& key, double value) {
    OBS* cell = map.Insert(key.data());
    ASSERT_NE(cell, nullptr);
    cell->num = value;
  }

  struct Result {
    double value;
    bool bad;
    bool operator==(const Result&) const = default;
  };
  static std::vector<Result> RecodeAll(ProcDSIterator& it, KVOMatrixSpecAdapter& adapter) {
    std::vector<Result> results;
    while (it.NextCase() != 0) {
      bool bad = false;
      const double value = adapter.Recode(bad);
      results.push_back({value, bad});
    }
    return results;
  }

  standin::MemoryDataSource fData;
  int fA = -1, fS = -1, fC = -1, fB = -1, fD = -1;
  std::vector<int> fVarsAS, fVarsCA;
  std::unique_ptr<ObsVecMap> fMapAS, fMapCA;
  KVOMatrixSpecs fSpecAS, fSpecCA;
};

TEST_F(KVOMatrixSpecAdapterTest, CombinationsAreLookedUpWithEveryCellOfTheirValues) {
  auto it = NewIterator(fData);
  KVOMatrixSpecAdapter adapter(*it, &fSpecAS, false);
  EXPECT_EQ(adapter.GetMatrixSpecPtr(), &fSpecAS);
  const std::vector<Result> results = RecodeAll(*it, adapter);
  ASSERT_EQ(results.size(), 5u);
  EXPECT_EQ(results[0], (Result{10, false}));
  EXPECT_EQ(results[1], (Result{SYSMIS, true})) << "the string's second cell decides";
  EXPECT_EQ(results[2], (Result{SYSMIS, true})) << "system-missing a";
  EXPECT_EQ(results[3], (Result{SYSMIS, true})) << "user-missing a is excluded";
  EXPECT_EQ(results[4], (Result{30, false}));

  // A short string takes exactly one cell of the key.
  auto second = NewIterator(fData);
  KVOMatrixSpecAdapter shortKey(*second, &fSpecCA, false);
  const std::vector<Result> shortResults = RecodeAll(*second, shortKey);
  ASSERT_EQ(shortResults.size(), 5u);
  EXPECT_EQ(shortResults[0], (Result{7, false}));
  EXPECT_EQ(shortResults[1], (Result{8, false}));
  EXPECT_EQ(shortResults[2], (Result{SYSMIS, true}));
  EXPECT_EQ(shortResults[3], (Result{SYSMIS, true}));
  EXPECT_EQ(shortResults[4], (Result{SYSMIS, true})) << "\"abc\" is not in the map";
}

TEST_F(KVOMatrixSpecAdapterTest, UserMissingCountedAsDataIsLookedUpLikeAnyValue) {
  auto it = NewIterator(fData);
  KVOMatrixSpecAdapter adapter(*it, &fSpecAS, true);
  const std::vector<Result> results = RecodeAll(*it, adapter);
  ASSERT_EQ(results.size(), 5u);
  EXPECT_EQ(results[2], (Result{SYSMIS, true})) << "system-missing stays invalid";
  EXPECT_EQ(results[3], (Result{90, false}));

  // Rebinding to a new pass with user-missing values excluded again.
  auto next = NewIterator(fData);
  adapter.SetCaseValueReader(*next, false);
  ASSERT_TRUE(specs_test::MoveTo(*next, 4));
  bool bad = false;
  EXPECT_EQ(adapter.Recode(bad), SYSMIS);
  EXPECT_TRUE(bad);
  EXPECT_FALSE(adapter.UpdateValid());
  ASSERT_TRUE(specs_test::MoveTo(*next, 1));
  EXPECT_EQ(adapter.Recode(bad), 30.0);
  EXPECT_FALSE(bad);
}

TEST_F(KVOMatrixSpecAdapterTest, ValidityStopsAtTheFirstInvalidVariable) {
  CountingDictionary dictionary(fData);
  auto inner = NewIterator(fData);
  CountingIterator it(*inner, dictionary);
  const std::vector<int> vars{fA, fB, fD};
  ObsVecMap map(ObsVecMap::MakeKeySpec(fData, vars), 1);
  const KVOMatrixSpecs spec(&vars, &map, nullptr, 3, true);
  KVOMatrixSpecAdapter adapter(it, &spec, false);

  ASSERT_NE(it.NextCase(), 0);  // a = 1, b = 0 (user-missing), d = 4
  EXPECT_FALSE(adapter.UpdateValid());
  EXPECT_EQ(dictionary.Calls(fB), 1);
  EXPECT_EQ(dictionary.Calls(fD), 0) << "the third reader was not evaluated";
  bool bad = false;
  EXPECT_EQ(adapter.Recode(bad), SYSMIS);
  EXPECT_TRUE(bad);
  EXPECT_EQ(dictionary.Calls(fD), 0);

  ASSERT_NE(it.NextCase(), 0);  // all valid; the combination is not in the map
  EXPECT_TRUE(adapter.UpdateValid());
  EXPECT_EQ(dictionary.Calls(fD), 1);
  EXPECT_EQ(adapter.Recode(bad), SYSMIS);
  EXPECT_TRUE(bad);
  EXPECT_EQ(dictionary.Calls(fD), 2);

  ASSERT_NE(it.NextCase(), 0);  // a system-missing: nothing after it is read
  const int bCalls = dictionary.Calls(fB);
  EXPECT_EQ(adapter.Recode(bad), SYSMIS);
  EXPECT_EQ(dictionary.Calls(fB), bCalls);

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
  specs_test::AssertCollector asserts;
  KVOMatrixSpecAdapter noSpec(*it, nullptr, false);
  EXPECT_EQ(asserts.Conditions(), std::vector<std::string>{"pMatrixSpec != 0"});
  EXPECT_EQ(asserts.Reports()[0].fSource, "KVOMatrixSpecAdapter");
  bool bad = false;
  EXPECT_EQ(noSpec.Recode(bad), SYSMIS);
  EXPECT_TRUE(bad);
  EXPECT_TRUE(noSpec.UpdateValid());

  // The map keys a different number of variables than the list holds.
  const std::vector<int> onlyA{fA};
  ObsVecMap mapA(ObsVecMap::MakeKeySpec(fData, onlyA), 1);
  const KVOMatrixSpecs wrongKey(&fVarsAS, &mapA, nullptr, 1, true);
  KVOMatrixSpecAdapter adapter(*it, &wrongKey, false);
  ASSERT_EQ(asserts.Reports().size(), 2u);
  EXPECT_EQ(asserts.Reports()[1].fCondition, "keySpecs.size() == fNCatVars");
  EXPECT_EQ(asserts.Reports()[1].fSource, "KVOMatrixSpecAdapter");
  bad = false;
  EXPECT_EQ(adapter.Recode(bad), SYSMIS);
  EXPECT_TRUE(bad);

  // A specification without a list or a map.
  const KVOMatrixSpecs hollow;
  KVOMatrixSpecAdapter hollowAdapter(*it, &hollow, false);
  EXPECT_EQ(asserts.Reports().size(), 3u);
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
