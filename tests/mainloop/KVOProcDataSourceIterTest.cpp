// The data-pass record iterator: the read-ahead over two records, the order
// of the adapter's per-case steps, the fail reasons, passes and stops. (The
// data-pass integration test checks whole passes against a model.)
#include <gtest/gtest.h>
#include <kvoadapter/KVOProcDataSourceIter.h>

#include <string>

#include "MainLoopTestSupport.h"

namespace {

using mainloop_test::AddRow;
using mainloop_test::SYSMIS;

// An adapter that records which hooks ran, what the record held when its
// record hook ran, and can refuse cases in its hooks.
class SpyAdapter : public KVOInputAdapter {
 public:
  using KVOInputAdapter::KVOInputAdapter;

  bool PreprocessCase() override {
    fLog += "C";
    return !fbRefuseCases;
  }
  bool PreprocessRecord(double* record) override {
    fLog += "R";
    fvSeen.assign(record, record + GetRecordSize());
    return !fbRefuseRecords;
  }

  std::string fLog;
  std::vector<double> fvSeen;
  bool fbRefuseCases = false;
  bool fbRefuseRecords = false;
};

// An iterator whose own case hook can refuse cases.
class RefusingIter : public KVOProcDataSourceIter {
 public:
  using KVOProcDataSourceIter::KVOProcDataSourceIter;
  bool fbRefuse = false;
  int fNCalls = 0;

 protected:
  bool PreprocessCase() override {
    ++fNCalls;
    return !fbRefuse;
  }
};

class KVOProcDataSourceIterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    color = ds.AddString("color", 8);
    income = ds.AddNumeric("income");
    w = ds.AddNumeric("w");
    ASSERT_TRUE(ds.SetWeightVariable(w));
    ds.SetWeightFilter(false);
  }

  kvotest::QuietHost quiet;
  standin::MemoryDataSource ds;
  int color = -1, income = -1, w = -1;
};

TEST_F(KVOProcDataSourceIterTest, ThreeValidCasesAreReadOneAhead) {
  AddRow(ds, {std::string("a"), 1.0, 1.0});
  AddRow(ds, {std::string("b"), 2.0, 1.0});
  AddRow(ds, {std::string("a"), 3.0, 1.0});
  KVOVarValidSpecs specs;
  const int ri = specs.AddVariable(income, false);
  KVOInputAdapter adapter(&specs, ds);
  KVOProcDataSourceIter iter(adapter, true);

  EXPECT_EQ(iter.GetProcDS(), adapter.GetDSIterator());
  EXPECT_EQ(adapter.GetNCases(), 1);  // case 1 read at construction
  ASSERT_TRUE(iter.HasMore());
  EXPECT_EQ(iter.GetFailReason(), 0);
  for (int i = 1; i <= 3; ++i) {
    const QorCommon::Record* current = iter.Current();
    ASSERT_NE(current, nullptr);
    const QorCommon::Record* record = iter.Next();
    EXPECT_EQ(record, current);  // Next returns what Current reported
    EXPECT_EQ(record->GetAll()[ri], static_cast<double>(i));
    EXPECT_EQ(adapter.GetNCases(), i < 3 ? i + 1 : 3);
    if (i < 3) {
      // The next record lives in the other record object.
      EXPECT_NE(iter.Current(), record);
      EXPECT_EQ(iter.Current()->GetAll()[ri], static_cast<double>(i + 1));
    }
  }
  EXPECT_FALSE(iter.HasMore());
  EXPECT_EQ(iter.GetFailReason(), 1);
  EXPECT_EQ(iter.Next(), nullptr);
  EXPECT_EQ(iter.Current(), nullptr);
  // The end of the data deletes the pass's host iterator.
  EXPECT_EQ(iter.GetProcDS(), nullptr);
  EXPECT_EQ(adapter.GetDSIterator(), nullptr);
  EXPECT_EQ(adapter.GetNRecords(), 3);
  EXPECT_EQ(adapter.GetNValidCases(), 3);
  EXPECT_EQ(adapter.GetNInvalidCases(), 0);
}

TEST_F(KVOProcDataSourceIterTest, StepsRunInTheirBindingOrderAndTheLocalCounterComesLast) {
  AddRow(ds, {std::string("a"), SYSMIS, 1.0});  // rejected by GetContVars
  AddRow(ds, {std::string("b"), 5.0, 0.2});     // rejected by the weight
  AddRow(ds, {std::string("c"), 7.0, 2.4});
  KVOVarValidSpecs specs;
  const int rc = specs.AddVariable(color, true);
  const int ri = specs.AddVariable(income, false, false, true, false);
  const int rf = specs.AddFreeVariable(true);
  const int rw = specs.SetWeightVar();
  const int rg = specs.SetGlobalCount();
  const int rl = specs.SetCaseCount();
  SpyAdapter adapter(&specs, ds);
  KVOProcDataSourceIter iter(adapter, true);

  // The case hook saw the cases past the weight test; the record hook the
  // one valid case.
  EXPECT_EQ(adapter.fLog, "CCR");
  ASSERT_EQ(adapter.fvSeen.size(), 6u);
  // "a" took code 0 although its case was rejected later (soft deletion);
  // "b" never reached the encoder.
  EXPECT_EQ(adapter.fvSeen[static_cast<size_t>(rc)], 1.0);
  EXPECT_EQ(adapter.fvSeen[static_cast<size_t>(ri)], 7.0);
  EXPECT_EQ(adapter.fvSeen[static_cast<size_t>(rf)], SYSMIS);
  EXPECT_EQ(adapter.fvSeen[static_cast<size_t>(rw)], 2.0);
  EXPECT_EQ(adapter.fvSeen[static_cast<size_t>(rg)], 3.0);
  EXPECT_EQ(adapter.fvSeen[static_cast<size_t>(rl)], 0.0);  // not written yet: the record was zero-filled
  const double* record = iter.Next()->GetAll();
  EXPECT_EQ(record[rl], 2.0);  // two rejected cases came first
  EXPECT_EQ(adapter.GetNCases(), 3);
  EXPECT_EQ(adapter.GetNInvalidCases(), 2);
  EXPECT_EQ(adapter.GetWeightNCases(), 1.0 + 0.0 + 2.0);
  EXPECT_EQ(adapter.GetWeightNInvalidCases(), 1.0);
  EXPECT_EQ(adapter.GetWeightNValidCases(), 2.0);

  // Refusals by either hook reject a case outside scoring.
  KVOInputAdapter plainAdapter(&specs, ds);
  RefusingIter refusing(plainAdapter, false);
  refusing.fbRefuse = true;
  EXPECT_EQ(refusing.NewPass(), 1);
  EXPECT_EQ(refusing.fNCalls, 2);  // the cases past the weight test
  EXPECT_EQ(plainAdapter.GetNInvalidCases(), 3);
}

TEST_F(KVOProcDataSourceIterTest, ScoringPassDeliversCasesTheHooksAndWeightRefuse) {
  AddRow(ds, {std::string("a"), 1.0, SYSMIS});
  AddRow(ds, {std::string("b"), 2.0, 1.0});
  KVOVarValidSpecs specs;
  const int rc = specs.AddVariable(color, true);
  const int ri = specs.AddVariable(income, false);
  specs.SetWeightVar();
  SpyAdapter adapter(&specs, ds);
  adapter.fbRefuseRecords = true;
  adapter.fbRefuseCases = true;
  KVOProcDataSourceIter iter(adapter, false);
  EXPECT_EQ(iter.GetFailReason(), 1);

  // Outside scoring nothing gets through: case 1 fails its weight, case 2
  // the adapter's case hook; neither reaches the encoders.
  EXPECT_EQ(iter.NewPass(false), 1);
  EXPECT_EQ(adapter.GetNInvalidCases(), 2);
  EXPECT_EQ(adapter.fLog, "C");

  ASSERT_EQ(iter.NewPass(true), 0);
  EXPECT_TRUE(adapter.GetScoreIteration());
  const double* record = iter.Next()->GetAll();
  EXPECT_EQ(record[ri], 1.0);
  // A later pass adds no categories, and the first met none.
  EXPECT_EQ(record[rc], -1.0);
  ASSERT_TRUE(iter.HasMore());
  EXPECT_EQ(iter.Next()->GetAll()[ri], 2.0);
  EXPECT_EQ(adapter.GetNValidCases(), 2);
  EXPECT_EQ(adapter.GetNInvalidCases(), 0);
  EXPECT_EQ(adapter.GetWeightNValidCases(), 0.0 + 1.0);  // the unusable weight counts 0
  EXPECT_EQ(iter.StopPass(), 1);
  EXPECT_FALSE(adapter.GetScoreIteration());
}

TEST_F(KVOProcDataSourceIterTest, FatalHostErrorAtAValidCaseLetsThePassGoOn) {
  // The host fails at case 3, which is valid: the iterator only asks the
  // host when it rejects a case, so the pass goes on.
  AddRow(ds, {std::string("a"), 1.0, 1.0});
  AddRow(ds, {std::string("b"), SYSMIS, 1.0});
  AddRow(ds, {std::string("c"), 3.0, 1.0});
  AddRow(ds, {std::string("d"), 4.0, 1.0});
  ds.SetFatalErrorAtCase(3);
  KVOVarValidSpecs specs;
  specs.AddVariable(income, false, false, true, false);
  KVOInputAdapter adapter(&specs, ds);
  KVOProcDataSourceIter iter(adapter, true);
  EXPECT_EQ(iter.Next()->GetAll()[0], 1.0);
  EXPECT_EQ(iter.Next()->GetAll()[0], 3.0);
  EXPECT_TRUE(ds.FatalError());
  EXPECT_EQ(iter.GetFailReason(), 0);
  EXPECT_EQ(iter.Next()->GetAll()[0], 4.0);
  EXPECT_EQ(adapter.GetNInvalidCases(), 1);
}

TEST_F(KVOProcDataSourceIterTest, NewPassReusesTheFirstIteratorOnlyWhileUnused) {
  AddRow(ds, {std::string("a"), 1.0, 1.0});
  AddRow(ds, {std::string("b"), 2.0, 1.0});
  KVOVarValidSpecs specs;
  specs.AddVariable(income, false);
  KVOInputAdapter adapter(&specs, ds);
  KVOProcDataSourceIter iter(adapter, false);
  EXPECT_EQ(iter.GetFailReason(), 1);
  EXPECT_EQ(iter.Next(), nullptr);
  EXPECT_EQ(iter.GetProcDS(), nullptr);
  const int created = ds.IteratorsCreated();
  ProcDSIterator* first = adapter.GetDSIterator();

  ASSERT_EQ(iter.NewPass(), 0);
  EXPECT_EQ(iter.GetProcDS(), first);
  EXPECT_EQ(adapter.GetDataPassCount(), 0);
  EXPECT_EQ(ds.IteratorsCreated(), created);
  EXPECT_EQ(iter.Next()->GetAll()[0], 1.0);

  ASSERT_EQ(iter.NewPass(), 0);
  EXPECT_EQ(adapter.GetDataPassCount(), 1);
  EXPECT_EQ(ds.IteratorsCreated(), created + 1);
  EXPECT_EQ(adapter.GetNCases(), 1);
  EXPECT_EQ(iter.Next()->GetAll()[0], 1.0);
  EXPECT_EQ(iter.Next()->GetAll()[0], 2.0);
  EXPECT_EQ(iter.Next(), nullptr);

  // The last pass is declared through the iterator.
  EXPECT_FALSE(iter.GetLastPass());
  iter.SetLastPass();
  EXPECT_TRUE(iter.GetLastPass());
  EXPECT_TRUE(ds.IsLastPass());
}

TEST_F(KVOProcDataSourceIterTest, StopPassEndsAReadyPassAndNoIteratorMeansReasonThree) {
  AddRow(ds, {std::string("a"), 1.0, 1.0});
  AddRow(ds, {std::string("b"), 2.0, 1.0});
  KVOVarValidSpecs specs;
  specs.AddVariable(income, false);
  KVOInputAdapter adapter(&specs, ds);
  {
    KVOProcDataSourceIter iter(adapter, true);
    ASSERT_TRUE(iter.HasMore());
    EXPECT_EQ(iter.StopPass(), 1);
    EXPECT_EQ(iter.StopPass(), 1);
    EXPECT_FALSE(iter.HasMore());
    EXPECT_EQ(adapter.GetDSIterator(), nullptr);
    ASSERT_EQ(iter.NewPass(), 0);  // a stopped pass can be restarted
    EXPECT_NE(adapter.GetDSIterator(), nullptr);
  }
  // The destructor deletes the pass's host iterator.
  EXPECT_EQ(adapter.GetDSIterator(), nullptr);

  ds.SetRefuseIterators(true);
  KVOInputAdapter refused(&specs, ds);
  KVOProcDataSourceIter started(refused, true);
  EXPECT_EQ(started.GetFailReason(), 3);
  EXPECT_EQ(started.Next(), nullptr);
  KVOProcDataSourceIter later(refused, false);
  EXPECT_EQ(later.NewPass(), 3);
  EXPECT_FALSE(later.NewSplit());
}

}  // namespace
