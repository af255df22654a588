#include <gtest/gtest.h>
#include <sys/resource.h>
#include <vorm/Utility.h>

#include <cerrno>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kvoadapter/KVOPartitionAdapter.h"
#include "kvoadapter/KVOProcDataSourceIter.h"
#include "kvoadapter/KVOUniformRandom.h"
#include "standin/HostControl.h"
#include "standin/MemoryDataSource.h"
#include "support/HostLog.h"
#include "support/TempDirWatch.h"

namespace {

constexpr double SYSMIS = VORM_SYSMIS;

// Hands out a fixed sequence of draws, then repeats the last one.
class ScriptedRandom : public QorCommon::QorRandom {
 public:
  explicit ScriptedRandom(std::vector<double> draws) : fDraws(std::move(draws)) {}
  double GetRandom() override {
    ++fCalls;
    return fNext < fDraws.size() ? fDraws[fNext++] : fDraws.back();
  }
  int Calls() const { return fCalls; }

 private:
  std::vector<double> fDraws;
  size_t fNext = 0;
  int fCalls = 0;
};

// Reads every record of a file iterator from its first record.
std::vector<std::vector<double>> ReadAll(KVODataFileIter* file, int size) {
  std::vector<std::vector<double>> records;
  if (file == nullptr || file->NewPass() != 0) return records;
  while (const QorCommon::Record* record = file->Next()) {
    records.emplace_back(record->GetAll(), record->GetAll() + size);
  }
  return records;
}

std::vector<double> Column(const std::vector<std::vector<double>>& records, size_t slot) {
  std::vector<double> values;
  for (const auto& record : records) values.push_back(record[slot]);
  return values;
}

// Cases numbered 1..n with x = the case number, an optional partition
// variable and an optional split variable.
// Each test has a temporary directory of its own (the base fixture), so
// that the files it makes can be counted while other test programs run.
class PartitionAdapterTest : public kvo_test::TempDirCheckedTest {
 protected:
  void TearDown() override {
    EXPECT_TRUE(standin::AssertReports().empty()) << standin::AssertReports().front().fCondition;
    TempDirCheckedTest::TearDown();
  }
  int FilesInTempDir() const { return static_cast<int>(fWatch.NewEntries().size()); }

  void MakeData(const std::vector<double>& partValues, const std::vector<double>& groups = {}) {
    fX = fData.AddNumeric("x");
    fPart = fData.AddNumeric("part");
    fGroup = fData.AddNumeric("group");
    for (size_t i = 0; i < partValues.size(); ++i) {
      fData.AddCase();
      fData.SetNumber(fX, static_cast<double>(i + 1));
      fData.SetNumber(fPart, partValues[i]);
      fData.SetNumber(fGroup, groups.empty() ? 1.0 : groups[i]);
    }
    if (!groups.empty()) fData.SetSplitVariables({fGroup});
    fXSlot = fSpecs.AddVariable(fX, false);
    fPartSlot = fSpecs.AddFreeVariable(true);
    fGlobalSlot = fSpecs.SetGlobalCount();
  }

  // Reads the assigning pass and the storing pass, completing each.
  void ReadTwoPasses(KVOProcDataSourceIter& iter, KVOPartitionAdapter& adapter) const {
    ReadPass(iter, static_cast<size_t>(fXSlot));
    adapter.CompleteSplit();
    ASSERT_EQ(iter.NewPass(), 0);
    ReadPass(iter, static_cast<size_t>(fXSlot));
    adapter.CompleteSplit();
  }

  // Reads one pass and returns the x values of the records handed out.
  static std::vector<double> ReadPass(KVOProcDataSourceIter& iter, size_t slot) {
    std::vector<double> xs;
    while (const QorCommon::Record* record = iter.Next()) xs.push_back(record->GetAll()[slot]);
    return xs;
  }

  standin::MemoryDataSource fData;
  KVOVarValidSpecs fSpecs;
  int fX = -1, fPart = -1, fGroup = -1;
  int fXSlot = -1, fPartSlot = -1, fGlobalSlot = -1;
  kvotest::QuietHost fQuiet;
};

TEST_F(PartitionAdapterTest, EndPointsUseHundredthsAndTheLastPartitionOwnsTheRest) {
  MakeData({1});
  ScriptedRandom random({0.5});
  KVOPartitionAdapter fiftyFifty(&fSpecs, fData, {50, 50}, &random, false);
  EXPECT_EQ(fiftyFifty.GetPartEndPoints(), (std::vector<double>{0.0, 0.5}));
  EXPECT_TRUE(fiftyFifty.GetRandomPartition());

  KVOPartitionAdapter seventyThirty(&fSpecs, fData, {70, 30}, &random, false);
  EXPECT_EQ(seventyThirty.GetPartEndPoints()[1], 70 * 0.01);
  EXPECT_GT(seventyThirty.GetPartEndPoints()[1], 0.7);

  KVOPartitionAdapter allTraining(&fSpecs, fData, {100, 0}, &random, false);
  EXPECT_FALSE(allTraining.GetRandomPartition());
  KVOPartitionAdapter allSecond(&fSpecs, fData, {0, 100}, &random, false);
  EXPECT_FALSE(allSecond.GetRandomPartition());
}

TEST_F(PartitionAdapterTest, RandomDrawsPickPartitionsAtTheBoundaries) {
  struct Case {
    std::vector<double> pcts;
    double draw;
    double indicator;
  };
  // Training 1.0, test 0.0, holdout -1.0.
  const std::vector<Case> cases = {{{50, 50}, 0.5, 0.0},     {{50, 50}, 0.4999, 1.0},
                                   {{70, 30}, 0.7, 1.0},     {{60, 30, 10}, 0.95, -1.0},
                                   {{50, 30, 0}, 0.9, -1.0}, {{60, 40, 0}, 0.1, 1.0}};
  MakeData({1});
  for (const Case& c : cases) {
    ScriptedRandom random({c.draw});
    KVOPartitionAdapter adapter(&fSpecs, fData, c.pcts, &random, false);
    adapter.SetPartIterOptions(false, false, fPartSlot);
    KVOProcDataSourceIter iter(adapter, true);
    ReadPass(iter, fXSlot);
    ASSERT_EQ(iter.NewPass(), 0);
    const QorCommon::Record* record = iter.Next();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->GetAll()[fPartSlot], c.indicator) << "draw " << c.draw;
    adapter.CompleteSplit();
  }
}

TEST_F(PartitionAdapterTest, SecondPassReplaysTheFirstPassAssignmentsAndWritesFiles) {
  MakeData({0, 0, 0, 0, 0, 0});
  // 70/30: 0.7 still falls in training (its end point is 0.7000000000000001).
  // The second pass draws too, but the flag file decides.
  ScriptedRandom random({0.1, 0.8, 0.5, 0.95, 0.3, 0.7, 0.99});
  KVOPartitionAdapter adapter(&fSpecs, fData, {70, 30}, &random, false);
  adapter.SetPartIterOptions(true, true, fPartSlot);
  KVOProcDataSourceIter iter(adapter, true);

  EXPECT_EQ(ReadPass(iter, fXSlot), (std::vector<double>{1, 3, 5, 6}));
  EXPECT_EQ(random.Calls(), 6);
  EXPECT_TRUE(adapter.CompleteSplit());

  ASSERT_EQ(iter.NewPass(), 0);
  EXPECT_EQ(ReadPass(iter, fXSlot), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(random.Calls(), 12);
  EXPECT_TRUE(adapter.CompleteSplit());
  EXPECT_EQ(adapter.GetExclCaseCount(), 0);
  EXPECT_TRUE(adapter.HasValidTempFiles());

  const int size = adapter.GetRecordSize();
  auto mixed = ReadAll(adapter.GetPartMixedIter(), size);
  EXPECT_EQ(Column(mixed, fPartSlot), (std::vector<double>{1, 0, 1, 0, 1, 1}));
  std::vector<KVODataFileIter*>& separ = adapter.GetPartSeparIters();
  ASSERT_EQ(separ.size(), 2u);
  auto training = ReadAll(separ[0], size);
  auto test = ReadAll(separ[1], size);
  EXPECT_EQ(Column(training, fXSlot), (std::vector<double>{1, 3, 5, 6}));
  EXPECT_EQ(Column(test, fXSlot), (std::vector<double>{2, 4}));
  EXPECT_EQ(Column(test, fGlobalSlot), (std::vector<double>{2, 4}));

  EXPECT_EQ(adapter.GetCaseCounts(), (std::vector<int>{4, 2}));
  const size_t x = static_cast<size_t>(fXSlot);
  EXPECT_EQ(adapter.GetMinValues()[0][x], 1.0);
  EXPECT_EQ(adapter.GetMaxValues()[0][x], 6.0);
  EXPECT_DOUBLE_EQ(adapter.GetMeanValues()[0][x], 15.0 / 4);
  EXPECT_DOUBLE_EQ(adapter.GetVariances()[0][x], (1.0 + 9 + 25 + 36) / 4);
  EXPECT_DOUBLE_EQ(adapter.GetMeanValues()[1][x], 3.0);
  // The partition indicator slot is continuous: its statistics are kept too.
  EXPECT_DOUBLE_EQ(adapter.GetMeanValues()[0][static_cast<size_t>(fPartSlot)], 1.0);
}

TEST_F(PartitionAdapterTest, ResettableSourceDrawsAgainInsteadOfRecording) {
  MakeData({0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  standin::SetRandomSeed(424242);
  std::vector<double> expectedTraining;
  std::vector<double> expectedIndicators;
  for (int i = 1; i <= 10; ++i) {
    const bool training = URAND(0) < 60 * 0.01;
    if (training) expectedTraining.push_back(i);
    expectedIndicators.push_back(training ? 1.0 : 0.0);
  }

  KVOUniformRandom random;
  KVOPartitionAdapter adapter(&fSpecs, fData, {60, 40}, &random, true);
  adapter.SetPartIterOptions(false, false, fPartSlot);
  standin::SetRandomSeed(424242);
  KVOProcDataSourceIter iter(adapter, true);
  EXPECT_EQ(ReadPass(iter, fXSlot), expectedTraining);
  adapter.CompleteSplit();

  standin::SetRandomSeed(424242);
  ASSERT_EQ(iter.NewPass(), 0);
  std::vector<double> indicators;
  while (const QorCommon::Record* record = iter.Next()) indicators.push_back(record->GetAll()[fPartSlot]);
  EXPECT_EQ(indicators, expectedIndicators);
  adapter.CompleteSplit();
}

TEST_F(PartitionAdapterTest, PartitionVariableAssignsByValueAndDropsMissing) {
  MakeData({3, 0, -2, SYSMIS, 1});
  for (int nParts : {2, 3}) {
    KVOPartitionAdapter adapter(&fSpecs, fData, fPart, nParts);
    adapter.SetPartIterOptions(true, true, fPartSlot);
    KVOProcDataSourceIter iter(adapter, true);
    EXPECT_EQ(ReadPass(iter, fXSlot), (std::vector<double>{1, 5}));
    adapter.CompleteSplit();
    ASSERT_EQ(iter.NewPass(), 0);
    std::vector<double> indicators;
    while (const QorCommon::Record* record = iter.Next()) indicators.push_back(record->GetAll()[fPartSlot]);
    adapter.CompleteSplit();
    if (nParts == 2) {
      EXPECT_EQ(indicators, (std::vector<double>{1, 0, 0, 1}));
      EXPECT_EQ(adapter.GetCaseCounts(), (std::vector<int>{2, 2}));
    } else {
      EXPECT_EQ(indicators, (std::vector<double>{1, 0, -1, 1}));
      EXPECT_EQ(adapter.GetCaseCounts(), (std::vector<int>{2, 1, 1}));
    }
    // The case with a missing partition value counts as read and rejected.
    EXPECT_EQ(adapter.GetNInvalidCases(), 1);
    EXPECT_EQ(adapter.GetPartSeparIters().size(), static_cast<size_t>(nParts));
  }
}

TEST_F(PartitionAdapterTest, TestFileOfAPartitionVariableIsDroppedOnlyWhenNoRecordWasWritten) {
  // With statistics on or off: emptiness is judged by the records written.
  for (bool keepStats : {true, false}) {
    SCOPED_TRACE(keepStats ? "statistics" : "no statistics");
    standin::MemoryDataSource data;
    KVOVarValidSpecs specs;
    const int x = data.AddNumeric("x");
    const int part = data.AddNumeric("part");
    for (double value : {1.0, 0.0, 2.0}) {
      data.AddCase();
      data.SetNumber(x, value);
      data.SetNumber(part, value);
    }
    specs.AddVariable(x, false);
    KVOPartitionAdapter adapter(&specs, data, part, 3);
    adapter.SetPartIterOptions(true, keepStats, -1);
    KVOProcDataSourceIter iter(adapter, true);
    ReadPass(iter, 0);
    adapter.CompleteSplit();
    ASSERT_EQ(iter.NewPass(), 0);
    ReadPass(iter, 0);
    EXPECT_TRUE(adapter.CompleteSplit());
    const std::vector<KVODataFileIter*>& separ = adapter.GetPartSeparIters();
    ASSERT_EQ(separ.size(), 3u);
    EXPECT_EQ(ReadAll(separ[0], 1).size(), 2u);
    ASSERT_NE(separ[1], nullptr) << "the test file holds a record";
    EXPECT_EQ(ReadAll(separ[1], 1), (std::vector<std::vector<double>>{{0.0}}));
    EXPECT_EQ(separ[2], nullptr) << "no holdout record: dropped";
  }
}

// A flag file or partition file that cannot be created, written or read
// back fails the split once (no report per case) and never moves a case
// into another partition.
TEST_F(PartitionAdapterTest, FileFailuresFailTheSplitWithoutMislabellingCases) {
  enum class Fault { kFlagFileCreate, kPartitionFileWrite, kFlagFileRead };
  for (Fault fault : {Fault::kFlagFileCreate, Fault::kPartitionFileWrite, Fault::kFlagFileRead}) {
    SCOPED_TRACE(static_cast<int>(fault));
    standin::MemoryDataSource data;
    KVOVarValidSpecs specs;
    const int x = data.AddNumeric("x");
    for (int i = 1; i <= 200; ++i) {
      data.AddCase();
      data.SetNumber(x, i);
    }
    specs.AddVariable(x, false);
    const int partSlot = specs.AddFreeVariable(true);
    KVOUniformRandom random;
    std::unique_ptr<KVOPartitionAdapter> adapter;
    {
      std::optional<kvo_test::ScopedTempDirectory> missing;
      if (fault == Fault::kFlagFileCreate) missing.emplace(standin::TempDirectory() + "/no-such-directory");
      adapter =
          std::make_unique<KVOPartitionAdapter>(&specs, data, std::vector<double>{50, 50}, &random, false);
    }
    adapter->SetPartIterOptions(true, true, partSlot);
    KVOProcDataSourceIter iter(*adapter, true);
    const size_t firstPass = ReadPass(iter, 0).size();
    const bool firstCompleted = adapter->CompleteSplit();
    if (fault == Fault::kFlagFileCreate) {
      EXPECT_EQ(firstPass, 0u) << "no draw can be recorded: no case is used";
      EXPECT_FALSE(firstCompleted);
      EXPECT_EQ(adapter->GetTempFileErrorNumber(), ENOENT);
    } else {
      EXPECT_GT(firstPass, 50u);
      EXPECT_TRUE(firstCompleted);
    }
    if (fault == Fault::kPartitionFileWrite) standin::FailFileWritesAfter(0, ENOSPC);
    if (fault == Fault::kFlagFileRead) standin::FailFileReadsAfter(16 * 20, EIO);  // 20 flag records
    EXPECT_EQ(iter.NewPass() == 0, fault != Fault::kFlagFileCreate);
    const std::vector<double> indicators = ReadPass(iter, static_cast<size_t>(partSlot));
    const bool completed = adapter->CompleteSplit();
    standin::ClearFileFaults();
    EXPECT_FALSE(completed);
    EXPECT_FALSE(adapter->HasValidTempFiles());
    if (fault == Fault::kPartitionFileWrite) {
      EXPECT_EQ(adapter->GetTempFileErrorNumber(), ENOSPC);
    }
    if (fault == Fault::kFlagFileRead) {
      EXPECT_EQ(adapter->GetTempFileErrorNumber(), EIO);
      // Only the cases whose flags were read got a partition; the test share
      // stayed about half of them, not every case after the failure.
      EXPECT_LE(indicators.size(), 21u);
    }
    EXPECT_TRUE(standin::AssertReports().empty()) << standin::AssertReports().size() << " assertion reports";
  }
}

TEST_F(PartitionAdapterTest, KeptFilesOfManySplitGroupsHoldNoDescriptors) {
  constexpr int GROUPS = 300;  // three files each: far more than the descriptor limit below
  std::vector<double> parts, groups;
  for (int g = 1; g <= GROUPS; ++g) {
    parts.insert(parts.end(), {1, 0});
    groups.insert(groups.end(), {static_cast<double>(g), static_cast<double>(g)});
  }
  MakeData(parts, groups);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = 128;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  {
    BpProcedure procedure;
    KVOPartitionAdapter adapter(&fSpecs, fData, fPart, 2);
    adapter.SetSplitFile(procedure, true, true, true);
    adapter.SetKeepPartIters(true);
    adapter.SetPartIterOptions(true, false, fPartSlot);
    KVOProcDataSourceIter iter(adapter, true);
    do {
      ReadPass(iter, fXSlot);
      adapter.CompleteSplit();
    } while (iter.NewSplit());
    ASSERT_EQ(iter.NewPass(), 0);
    std::vector<KVODataFileIter*> firstGroup;
    int completed = 0;
    do {
      ReadPass(iter, fXSlot);
      completed += adapter.CompleteSplit() ? 1 : 0;
      if (firstGroup.empty()) firstGroup = adapter.GetPartSeparIters();
    } while (iter.NewSplit());
    EXPECT_EQ(completed, GROUPS);
    EXPECT_TRUE(adapter.HasValidTempFiles());
    EXPECT_EQ(FilesInTempDir(), 3 * GROUPS);
    // A kept file of an earlier group is reopened on use.
    ASSERT_EQ(firstGroup.size(), 2u);
    EXPECT_FALSE(firstGroup[1]->IsDataFileOpen());
    ASSERT_TRUE(firstGroup[1]->OpenDataFile());
    EXPECT_EQ(Column(ReadAll(firstGroup[1], adapter.GetRecordSize()), static_cast<size_t>(fXSlot)),
              (std::vector<double>{2}));
  }
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(FilesInTempDir(), 0) << "every kept file goes with the adapter";
}

TEST_F(PartitionAdapterTest, ZeroPercentPartitionGetsNoFileAndEmptyRandomFileStays) {
  MakeData({0, 0, 0});
  ScriptedRandom random({0.1, 0.2, 0.3});
  KVOPartitionAdapter adapter(&fSpecs, fData, {60, 40, 0}, &random, false);
  adapter.SetPartIterOptions(true, false, -1);
  KVOProcDataSourceIter iter(adapter, true);
  ReadTwoPasses(iter, adapter);
  std::vector<KVODataFileIter*>& separ = adapter.GetPartSeparIters();
  ASSERT_EQ(separ.size(), 3u);
  ASSERT_NE(separ[0], nullptr);
  ASSERT_NE(separ[1], nullptr);
  EXPECT_EQ(separ[2], nullptr);
  EXPECT_EQ(ReadAll(separ[0], adapter.GetRecordSize()).size(), 3u);
  // The test partition drew no case: its file completed as a failure.
  EXPECT_EQ(separ[1]->GetFailReason(), 3);
  EXPECT_FALSE(separ[1]->HasMore());
}

TEST_F(PartitionAdapterTest, DependentCheckRejectsMissingDependentsExceptInTheLastPartition) {
  fX = fData.AddNumeric("x");
  fPart = fData.AddNumeric("part");
  const int y = fData.AddNumeric("y", standin::Measure::Nominal);
  const std::vector<std::pair<double, double>> rows = {{1, 1}, {1, SYSMIS}, {0, SYSMIS}, {0, 1}};
  for (size_t i = 0; i < rows.size(); ++i) {
    fData.AddCase();
    fData.SetNumber(fX, static_cast<double>(i + 1));
    fData.SetNumber(fPart, rows[i].first);
    fData.SetNumber(y, rows[i].second);
  }
  // y is categorical and its missing values are processed (code -1).
  const int ySlot = fSpecs.AddVariable(y, true, true, true, true);
  fXSlot = fSpecs.AddVariable(fX, false);
  fPartSlot = fSpecs.AddFreeVariable(true);

  KVOPartitionAdapter adapter(&fSpecs, fData, fPart, 2);
  adapter.SetDependVariable(y);
  adapter.SetPartIterOptions(true, true, fPartSlot);
  KVOProcDataSourceIter iter(adapter, true);
  ReadPass(iter, fXSlot);
  adapter.CompleteSplit();
  ASSERT_EQ(iter.NewPass(), 0);
  // Case 2 (training, y missing) is rejected; case 3 is in the last partition.
  EXPECT_EQ(ReadPass(iter, fXSlot), (std::vector<double>{1, 3, 4}));
  EXPECT_EQ(adapter.GetExclCaseCount(), 1);
  adapter.CompleteSplit();
  auto test = ReadAll(adapter.GetPartSeparIters()[1], adapter.GetRecordSize());
  EXPECT_EQ(Column(test, static_cast<size_t>(ySlot)), (std::vector<double>{-1.0, 0.0}));
}

TEST_F(PartitionAdapterTest, CrossValidationFoldsRewriteTheTrainingFile) {
  MakeData({1, 1, 1});
  const int foldSlot = fSpecs.AddFreeVariable(true);
  KVOPartitionAdapter adapter(&fSpecs, fData, fPart, 2);
  adapter.SetPartIterOptions(true, true, fPartSlot);
  KVOProcDataSourceIter iter(adapter, true);
  ReadTwoPasses(iter, adapter);

  // Without a random source of its own the adapter draws from the host's
  // stream: five folds over three records leave at least two folds empty,
  // yet the rewritten file is installed.
  standin::SetRandomSeed(7);
  std::vector<double> expected;
  for (int i = 0; i < 3; ++i) expected.push_back(std::floor(5 * URAND(0)));
  standin::SetRandomSeed(7);
  EXPECT_FALSE(adapter.GetCrossValidPartition(5, foldSlot, nullptr));
  auto training = ReadAll(adapter.GetPartSeparIters()[0], adapter.GetRecordSize());
  EXPECT_EQ(Column(training, static_cast<size_t>(fXSlot)), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(Column(training, static_cast<size_t>(foldSlot)), expected);

  standin::SetRandomSeed(7);
  EXPECT_TRUE(adapter.GetCrossValidPartition(1, foldSlot, nullptr));
  training = ReadAll(adapter.GetPartSeparIters()[0], adapter.GetRecordSize());
  EXPECT_EQ(Column(training, static_cast<size_t>(foldSlot)), (std::vector<double>{0, 0, 0}));
}

TEST_F(PartitionAdapterTest, SplitGroupsGetTheirOwnFilesAndStatistics) {
  MakeData({1, 0, 1, 1, 0}, {1, 1, 1, 2, 2});
  for (bool keep : {false, true}) {
    BpProcedure procedure;
    KVOPartitionAdapter adapter(&fSpecs, fData, fPart, 2);
    adapter.SetSplitFile(procedure, true, true, true);
    adapter.SetKeepPartIters(keep);
    adapter.SetPartIterOptions(true, true, fPartSlot);
    KVOProcDataSourceIter iter(adapter, true);
    do {
      ReadPass(iter, fXSlot);
      adapter.CompleteSplit();
    } while (iter.NewSplit());

    const int filesBefore = FilesInTempDir();
    ASSERT_EQ(iter.NewPass(), 0);
    EXPECT_EQ(ReadPass(iter, fXSlot), (std::vector<double>{1, 2, 3}));
    adapter.CompleteSplit();
    EXPECT_EQ(adapter.GetCaseCounts(), (std::vector<int>{2, 1}));
    EXPECT_DOUBLE_EQ(adapter.GetMeanValues()[0][static_cast<size_t>(fXSlot)], 2.0);
    // Group 1: a mixed file and two separate files.
    EXPECT_EQ(FilesInTempDir(), filesBefore + 3);

    ASSERT_TRUE(iter.NewSplit());
    EXPECT_EQ(ReadPass(iter, fXSlot), (std::vector<double>{4, 5}));
    adapter.CompleteSplit();
    EXPECT_EQ(adapter.GetCaseCounts(), (std::vector<int>{1, 1}));
    EXPECT_DOUBLE_EQ(adapter.GetMeanValues()[0][static_cast<size_t>(fXSlot)], 4.0);
    EXPECT_EQ(FilesInTempDir(), filesBefore + (keep ? 6 : 3));
    EXPECT_FALSE(iter.NewSplit());
  }
}

}  // namespace
