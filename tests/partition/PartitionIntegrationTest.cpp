// Partitions the bundled sample data set (CSV + schema, weighted, split by
// country) the way a host procedure does, and checks the files and figures
// the adapter produces against what the records themselves say.
#include <gtest/gtest.h>
#include <vorm/Utility.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kvoadapter/KVOPartitionAdapter.h"
#include "kvoadapter/KVOProcDataSourceIter.h"
#include "kvoadapter/KVOUniformRandom.h"
#include "standin/CsvLoader.h"
#include "standin/HostControl.h"
#include "support/TempDirWatch.h"

namespace {

constexpr double SYSMIS = VORM_SYSMIS;
using Records = std::vector<std::vector<double>>;

Records ReadFile(KVODataFileIter* file, int size) {
  Records records;
  if (file == nullptr || file->NewPass() != 0) return records;
  while (const QorCommon::Record* record = file->Next())
    records.emplace_back(record->GetAll(), record->GetAll() + size);
  return records;
}

class PartitionIntegrationTest : public kvo_test::TempDirCheckedTest {
 protected:
  void SetUp() override {
    standin::SetEchoMessages(false);
    std::string error;
    fData = standin::LoadCsvDataSource(std::string(KVO_SOURCE_DIR) + "/data/sample/sample.csv",
                                       std::string(KVO_SOURCE_DIR) + "/data/sample/sample.schema.json",
                                       standin::CsvOptions(), error);
    ASSERT_NE(fData, nullptr) << error;
    ASSERT_TRUE(fData->SetWeightVariable(fData->FindVarIndex("weight", 0)));
    ASSERT_TRUE(fData->SetSplitVariables({fData->FindVarIndex("country", 0)}));

    for (const char* name : {"gender", "occupation", "education"})
      fSpecs.AddVariable(fData->FindVarIndex(name, 0), true);
    fIncome = fSpecs.AddVariable(fData->FindVarIndex("income", 0), false);
    fAge = fSpecs.AddVariable(fData->FindVarIndex("age", 0), false);
    fPartSlot = fSpecs.AddFreeVariable(true);
    fFoldSlot = fSpecs.AddFreeVariable(true);
    fSpecs.SetWeightVar();
    fSpecs.SetCaseCount();
    fGlobal = fSpecs.SetGlobalCount();
  }

  // Reads both passes group by group and checks, per group: the second
  // pass reproduces the first pass's training cases; every record is in
  // exactly the file of its indicator; the statistics are those of the
  // files' records; the folds cover the training file.
  void RunAndCheck(KVOPartitionAdapter& adapter, int nParts) {
    BpProcedure procedure;
    adapter.SetSplitFile(procedure, true, true, true);
    adapter.SetPartIterOptions(true, true, fPartSlot);
    const int size = adapter.GetRecordSize();
    KVOProcDataSourceIter iter(adapter, true);

    std::vector<std::vector<double>> firstPassTraining;
    do {
      firstPassTraining.emplace_back();
      while (const QorCommon::Record* record = iter.Next())
        firstPassTraining.back().push_back(record->GetAll()[fGlobal]);
      EXPECT_TRUE(adapter.CompleteSplit());
    } while (iter.NewSplit());
    ASSERT_EQ(firstPassTraining.size(), 3u);

    ASSERT_EQ(iter.NewPass(), 0);
    size_t group = 0;
    int totalRecords = 0;
    do {
      Records handedOut;
      while (const QorCommon::Record* record = iter.Next())
        handedOut.emplace_back(record->GetAll(), record->GetAll() + size);
      EXPECT_TRUE(adapter.CompleteSplit());
      totalRecords += static_cast<int>(handedOut.size());
      EXPECT_EQ(adapter.GetNRecords(), static_cast<int>(handedOut.size()));

      std::vector<KVODataFileIter*>& files = adapter.GetPartSeparIters();
      ASSERT_EQ(files.size(), static_cast<size_t>(nParts));
      std::map<double, double> indicatorOf;  // global case number -> indicator
      for (const auto& record : handedOut) indicatorOf[record[fGlobal]] = record[fPartSlot];
      size_t inFiles = 0;
      for (int part = 0; part < nParts; ++part) {
        const Records records = ReadFile(files[static_cast<size_t>(part)], size);
        inFiles += records.size();
        const double indicator = part == 0 ? 1.0 : part == 1 ? 0.0 : -1.0;
        std::vector<double> mins(static_cast<size_t>(size), SYSMIS), maxs(mins),
            sums(static_cast<size_t>(size), 0.0), squares(sums);
        for (const auto& record : records) {
          EXPECT_EQ(record[fPartSlot], indicator);
          ASSERT_EQ(indicatorOf.count(record[fGlobal]), 1u);
          EXPECT_EQ(indicatorOf[record[fGlobal]], indicator);
          for (int slot : {fIncome, fAge}) {
            const double v = record[slot];
            if (v == SYSMIS) continue;
            if (mins[slot] == SYSMIS || v < mins[slot]) mins[slot] = v;
            if (maxs[slot] == SYSMIS || v > maxs[slot]) maxs[slot] = v;
            sums[slot] += v;
            squares[slot] += v * v;
          }
        }
        const size_t p = static_cast<size_t>(part);
        EXPECT_EQ(adapter.GetCaseCounts()[p], static_cast<int>(records.size()));
        if (part == 0) {
          std::vector<double> training;
          for (const auto& record : records) training.push_back(record[fGlobal]);
          EXPECT_EQ(training, firstPassTraining[group]) << "group " << group;
        }
        if (records.empty()) continue;
        for (int slot : {fIncome, fAge}) {
          const size_t s = static_cast<size_t>(slot);
          EXPECT_EQ(adapter.GetMinValues()[p][s], mins[s]);
          EXPECT_EQ(adapter.GetMaxValues()[p][s], maxs[s]);
          EXPECT_NEAR(adapter.GetMeanValues()[p][s], sums[s] / records.size(), 1e-9 * std::fabs(sums[s]));
          EXPECT_NEAR(adapter.GetVariances()[p][s], squares[s] / records.size(), 1e-9 * squares[s]);
        }
        // Categorical slots keep no statistics.
        EXPECT_EQ(adapter.GetMinValues()[p][0], SYSMIS);
      }
      EXPECT_EQ(inFiles, handedOut.size());

      const Records before = ReadFile(files[0], size);
      adapter.GetCrossValidPartition(4, fFoldSlot, nullptr);
      const Records folded = ReadFile(adapter.GetPartSeparIters()[0], size);
      ASSERT_EQ(folded.size(), before.size());
      for (size_t i = 0; i < folded.size(); ++i) {
        EXPECT_EQ(folded[i][fGlobal], before[i][fGlobal]);
        EXPECT_TRUE(folded[i][fFoldSlot] >= 0 && folded[i][fFoldSlot] < 4 &&
                    folded[i][fFoldSlot] == std::floor(folded[i][fFoldSlot]));
      }
      ++group;
    } while (iter.NewSplit());
    EXPECT_EQ(group, 3u);
    EXPECT_GT(totalRecords, 2000);
  }

  std::unique_ptr<standin::MemoryDataSource> fData;
  KVOVarValidSpecs fSpecs;
  int fIncome = -1, fAge = -1, fPartSlot = -1, fFoldSlot = -1, fGlobal = -1;
};

TEST_F(PartitionIntegrationTest, RandomSeventyThirtyWithSplitGroups) {
  standin::SetRandomSeed(2000000);
  KVOUniformRandom random;
  KVOPartitionAdapter adapter(&fSpecs, *fData, {70, 30}, &random, false);
  RunAndCheck(adapter, 2);
}

TEST_F(PartitionIntegrationTest, RandomSixtyThirtyTenWithSplitGroups) {
  standin::SetRandomSeed(12345);
  KVOUniformRandom random;
  KVOPartitionAdapter adapter(&fSpecs, *fData, {60, 30, 10}, &random, false);
  RunAndCheck(adapter, 3);
}

TEST_F(PartitionIntegrationTest, ByVariableWithSplitGroups) {
  // defaulted is 0 or 1: 1 goes to training, 0 to test.
  KVOPartitionAdapter adapter(&fSpecs, *fData, fData->FindVarIndex("defaulted", 0), 2);
  RunAndCheck(adapter, 2);
}

}  // namespace
