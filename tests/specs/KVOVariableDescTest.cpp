#include <gtest/gtest.h>

#include "SpecsTestSupport.h"
#include "kvoadapter/KVOVariableDesc.h"

namespace {

TEST(KVOVariableDescTest, ConstructorsSetTheFieldsInOrder) {
  const KVOVariableDesc defaults;
  EXPECT_EQ(defaults.GetVORMVarIndex(), -1);
  EXPECT_EQ(defaults.GetRecVarIndex(), -1);
  EXPECT_TRUE(defaults.GetCatVar());
  EXPECT_TRUE(defaults.GetProcSysMiss());
  EXPECT_TRUE(defaults.GetExclUserMiss());
  EXPECT_TRUE(defaults.GetScoreSysMiss());

  KVOVariableDesc desc(4, false, true, false, true);
  EXPECT_EQ(desc.GetVORMVarIndex(), 4);
  EXPECT_EQ(desc.GetRecVarIndex(), -1) << "no slot until one is assigned";
  EXPECT_FALSE(desc.GetCatVar());
  EXPECT_TRUE(desc.GetProcSysMiss());
  EXPECT_FALSE(desc.GetExclUserMiss());
  EXPECT_TRUE(desc.GetScoreSysMiss());

  desc.SetRecVarIndex(2);
  desc.SetProcSysMiss(false);
  desc.SetScoreSysMiss(false);
  KVOVariableDesc copy(desc);
  EXPECT_EQ(copy.GetRecVarIndex(), 2);
  EXPECT_FALSE(copy.GetProcSysMiss());
  EXPECT_FALSE(copy.GetScoreSysMiss());
  copy = defaults;
  EXPECT_EQ(copy.GetVORMVarIndex(), -1);
  EXPECT_EQ(desc.GetVORMVarIndex(), 4);
}

TEST(KVOVariableDescTest, HostDecidesWhetherTheVariableIsCategorical) {
  standin::MemoryDataSource data;
  const int nominal = data.AddNumeric("nominal", standin::Measure::Nominal);
  const int scale = data.AddNumeric("scale", standin::Measure::Scale);

  KVOVariableDesc desc(nominal, false, true, true, true);
  EXPECT_TRUE(desc.GetCatVar(data));
  EXPECT_FALSE(desc.GetCatVar()) << "asking does not store";
  EXPECT_TRUE(desc.SetCatVar(data));
  EXPECT_TRUE(desc.GetCatVar());

  desc.SetVORMVarIndex(scale);
  EXPECT_FALSE(desc.SetCatVar(data));
  EXPECT_FALSE(desc.GetCatVar());
}

}  // namespace
