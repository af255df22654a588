#include <gtest/gtest.h>

#include <vector>

#include "SpecsTestSupport.h"
#include "kvoadapter/KVOMatrixSpecs.h"

namespace {

class KVOMatrixSpecsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fA = fData.AddNumeric("a");
    fB = fData.AddString("b", 3);
    fVars = {fA, fB};
    fMap = std::make_unique<ObsVecMap>(ObsVecMap::MakeKeySpec(fData, fVars), 1);
    fFormats = {VORM_Format(VORM_Format::F, 8, 0), VORM_Format(VORM_Format::A, 3, 0)};
  }

  standin::MemoryDataSource fData;
  int fA = -1, fB = -1;
  std::vector<int> fVars;
  std::unique_ptr<ObsVecMap> fMap;
  std::vector<VORM_Format> fFormats;
};

TEST_F(KVOMatrixSpecsTest, NewSpecificationsHaveNoSlot) {
  const KVOMatrixSpecs empty;
  EXPECT_EQ(empty.GetMatrixVarListPtr(), nullptr);
  EXPECT_EQ(empty.GetObsVecMapPtr(), nullptr);
  EXPECT_EQ(empty.GetFormatListPtr(), nullptr);
  EXPECT_EQ(empty.GetGroupIndex(), 0);
  EXPECT_TRUE(empty.GetExclUserMiss());
  EXPECT_EQ(empty.GetRecVarIndex(), -1);

  const KVOMatrixSpecs spec(&fVars, fMap.get(), &fFormats, 3, false);
  EXPECT_EQ(spec.GetMatrixVarListPtr(), &fVars);
  EXPECT_EQ(spec.GetObsVecMapPtr(), fMap.get());
  EXPECT_EQ(spec.GetFormatListPtr(), &fFormats);
  EXPECT_EQ(spec.GetGroupIndex(), 3);
  EXPECT_FALSE(spec.GetExclUserMiss());
  EXPECT_EQ(spec.GetRecVarIndex(), -1);
}

TEST_F(KVOMatrixSpecsTest, SettersStoreAddressesNotCopies) {
  KVOMatrixSpecs spec;
  std::vector<int> vars{fA};
  spec.SetMatrixVarList(vars);
  spec.SetObsVecMap(*fMap);
  spec.SetFormatList(fFormats);
  spec.SetRecVarIndex(5);
  spec.SetGroupIndex(2);
  spec.SetExclUserMiss(false);
  vars.push_back(fB);
  ASSERT_EQ(spec.GetMatrixVarListPtr(), &vars);
  EXPECT_EQ(spec.GetMatrixVarListPtr()->size(), 2u) << "later changes are seen";
  EXPECT_EQ(spec.GetObsVecMapPtr(), fMap.get());
  EXPECT_EQ(spec.GetFormatListPtr(), &fFormats);
  EXPECT_EQ(spec.GetRecVarIndex(), 5);
  EXPECT_EQ(spec.GetGroupIndex(), 2);
  EXPECT_FALSE(spec.GetExclUserMiss());

  // Copies refer to the same list, map and formats.
  const KVOMatrixSpecs copy(spec);
  EXPECT_EQ(copy.GetMatrixVarListPtr(), &vars);
  EXPECT_EQ(copy.GetObsVecMapPtr(), fMap.get());
  EXPECT_EQ(copy.GetRecVarIndex(), 5);
  KVOMatrixSpecs assigned;
  assigned = spec;
  EXPECT_EQ(assigned.GetFormatListPtr(), &fFormats);
  EXPECT_EQ(assigned.GetGroupIndex(), 2);
  EXPECT_FALSE(assigned.GetExclUserMiss());
}

}  // namespace
