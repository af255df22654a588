#include <gtest/gtest.h>

#include <vector>

#include "LayoutTestSupport.h"
#include "kvoadapter/KVOVarValidSpecs.h"
#include "standin/HostControl.h"

namespace {

using specs_test::AssertCollector;

void ExpectDesc(const KVOVariableDesc* desc, int vormInd, int recInd, bool catVar, bool procSysMiss,
                bool exclUserMiss, bool scoreSysMiss) {
  ASSERT_NE(desc, nullptr);
  EXPECT_EQ(desc->GetVORMVarIndex(), vormInd);
  EXPECT_EQ(desc->GetRecVarIndex(), recInd);
  EXPECT_EQ(desc->GetCatVar(), catVar);
  EXPECT_EQ(desc->GetProcSysMiss(), procSysMiss);
  EXPECT_EQ(desc->GetExclUserMiss(), exclUserMiss);
  EXPECT_EQ(desc->GetScoreSysMiss(), scoreSysMiss);
}

TEST(KVOVarValidSpecsTest, NewSpecificationHasNoSlots) {
  const KVOVarValidSpecs specs;
  EXPECT_EQ(specs.GetNRecordVars(), 0);
  EXPECT_EQ(specs.GetLastIndex(), 0);
  EXPECT_EQ(specs.GetWeightVarInd(), -1);
  EXPECT_EQ(specs.GetCaseCountInd(), -1);
  EXPECT_EQ(specs.GetGlobalCountInd(), -1);
  EXPECT_FALSE(specs.GetStrongListWise());
  EXPECT_FALSE(specs.GetMultRecode());
  EXPECT_EQ(specs.GetNMatrices(), 0);
  for (int vormInd : {-1, 0, 3, 1000}) EXPECT_EQ(specs.GetRecVarIndex(vormInd), -1);
  EXPECT_TRUE(specs.GetRecordIndices().empty());
  EXPECT_TRUE(specs.GetVORMIndices().empty());
  EXPECT_EQ(specs.GetDecimalCharacter(), '.') << "the stand-in host prints 1.1 as \"1.1\"";
}

TEST(KVOVarValidSpecsTest, SlotsAreNumberedInTheOrderOfAddition) {
  KVOVarValidSpecs specs(false, true, false);
  EXPECT_EQ(specs.AddVariable(7, true), 0);
  EXPECT_EQ(specs.AddVariable(3, false, true, false, true), 1);
  EXPECT_EQ(specs.SetWeightVar(), 2);
  EXPECT_EQ(specs.GetLastIndex(), 2);
  EXPECT_EQ(specs.GetNRecordVars(), 3);

  EXPECT_EQ(specs.GetRecordIndices(), (std::vector<int>{-1, -1, -1, 1, -1, -1, -1, 0}));
  EXPECT_EQ(specs.GetVORMIndices(), (std::vector<int>{7, 3, -1}));
  EXPECT_EQ(specs.GetRecCatVars(), std::vector<int>{0});
  EXPECT_EQ(specs.GetCatVarsX(), std::vector<int>{7});
  EXPECT_EQ(specs.GetRecContVars(), std::vector<int>{1});
  EXPECT_EQ(specs.GetContVarsX(), std::vector<int>{3});
  EXPECT_TRUE(specs.GetFreeIndices().empty());

  // The short form takes the constructor's flags.
  ExpectDesc(specs.GetRecVarDescPtr(0), 7, 0, true, false, true, false);
  ExpectDesc(specs.GetRecVarDescPtr(1), 3, 1, false, true, false, true);
  ExpectDesc(specs.GetRecVarDescPtr(2), -1, 2, false, true, true, true);
  ExpectDesc(specs.GetVORMVarDescPtr(3), 3, 1, false, true, false, true);

  // Both index spaces, and their out-of-range answers.
  EXPECT_EQ(specs.GetRecVarIndex(7), 0);
  EXPECT_EQ(specs.GetRecVarIndex(3), 1);
  EXPECT_EQ(specs.GetRecVarIndex(5), -1);
  EXPECT_EQ(specs.GetRecVarIndex(8), -1);
  EXPECT_EQ(specs.GetVORMVarIndex(0), 7);
  EXPECT_EQ(specs.GetVORMVarIndex(1), 3);
  EXPECT_EQ(specs.GetVORMVarIndex(2), -1);
  EXPECT_EQ(specs.GetVORMVarIndex(3), -1);
  EXPECT_EQ(specs.GetVORMVarIndex(-1), -1);
  EXPECT_EQ(specs.GetRecVarDescPtr(3), nullptr);
  EXPECT_EQ(specs.GetRecVarDescPtr(-1), nullptr);
  EXPECT_EQ(specs.GetVORMVarDescPtr(5), nullptr);
  EXPECT_EQ(specs.GetVORMVarDescPtr(-2), nullptr);
  EXPECT_TRUE(specs.GetRecordCatVar(0));
  EXPECT_FALSE(specs.GetRecordCatVar(1));
  EXPECT_FALSE(specs.GetRecordCatVar(2));
  EXPECT_TRUE(specs.GetRecordCatVar(-1));
  EXPECT_TRUE(specs.GetRecordCatVar(3));
  EXPECT_TRUE(specs.GetVORMCatVar(7));
  EXPECT_FALSE(specs.GetVORMCatVar(3));
  EXPECT_TRUE(specs.GetVORMCatVar(5)) << "a host variable without a slot";
  EXPECT_TRUE(specs.GetVORMCatVar(100));
}

TEST(KVOVarValidSpecsTest, RepeatedVariableKeepsItsSlotAndTakesTheLatestFlags) {
  KVOVarValidSpecs specs;
  AssertCollector asserts;
  EXPECT_EQ(specs.AddVariable(7, true, true, true, true), 0);
  EXPECT_EQ(specs.AddVariable(2, false), 1);
  EXPECT_EQ(specs.AddVariable(7, true, false, false, false), 0);
  EXPECT_EQ(specs.GetLastIndex(), 0);
  EXPECT_EQ(specs.GetNRecordVars(), 2);
  EXPECT_EQ(specs.GetRecCatVars(), std::vector<int>{0});
  EXPECT_EQ(specs.GetCatVarsX(), std::vector<int>{7});
  EXPECT_EQ(specs.GetVORMIndices(), (std::vector<int>{7, 2}));
  ExpectDesc(specs.GetRecVarDescPtr(0), 7, 0, true, false, false, false);
  EXPECT_TRUE(asserts.Reports().empty());

  // Adding it again with the other kind is a broken precondition: reported,
  // and the slot's descriptor is still replaced.
  EXPECT_EQ(specs.AddVariable(7, false), 0);
  ASSERT_EQ(asserts.Reports().size(), 1u);
  EXPECT_EQ(asserts.Reports()[0].fCondition, "fvVarDescs[indexInRec].GetCatVar() == catVar");
  EXPECT_EQ(asserts.Reports()[0].fSource, "KVOVarValidSpecs");
  EXPECT_FALSE(specs.GetRecordCatVar(0));
  EXPECT_EQ(specs.GetNRecordVars(), 2);
  EXPECT_TRUE(specs.GetRecContVars() == std::vector<int>{1});
}

TEST(KVOVarValidSpecsTest, MultipleRecodingGivesEveryAdditionItsOwnSlot) {
  KVOVarValidSpecs specs;
  specs.SetMultRecode(true);
  EXPECT_TRUE(specs.GetMultRecode());
  EXPECT_EQ(specs.AddVariable(7, true), 0);
  EXPECT_EQ(specs.AddVariable(7, true), 1);
  EXPECT_EQ(specs.AddVariable(7, false), 2) << "no kind check when recoding several times";
  EXPECT_EQ(specs.GetRecCatVars(), (std::vector<int>{0, 1}));
  EXPECT_EQ(specs.GetCatVarsX(), (std::vector<int>{7, 7}));
  EXPECT_EQ(specs.GetRecContVars(), std::vector<int>{2});
  EXPECT_EQ(specs.GetRecVarIndex(7), 2) << "the host index maps to the slot made last";
  EXPECT_EQ(specs.GetVORMIndices(), (std::vector<int>{7, 7, 7}));
  EXPECT_EQ(specs.GetNRecordVars(), 3);
}

TEST(KVOVarValidSpecsTest, SpecialAndFreeSlotsAreMadeOnce) {
  KVOVarValidSpecs specs;
  EXPECT_EQ(specs.SetCaseCount(), 0);
  EXPECT_EQ(specs.AddFreeVariable(true), 1);
  EXPECT_EQ(specs.SetCaseCount(), 0);
  EXPECT_EQ(specs.GetLastIndex(), 1) << "returning an existing slot is no addition";
  EXPECT_EQ(specs.AddFreeVariable(false), 2);
  EXPECT_EQ(specs.SetGlobalCount(), 3);
  EXPECT_EQ(specs.SetWeightVar(), 4);
  EXPECT_EQ(specs.SetWeightVar(), 4);
  EXPECT_EQ(specs.SetGlobalCount(), 3);
  EXPECT_EQ(specs.GetNRecordVars(), 5);
  EXPECT_EQ(specs.GetCaseCountInd(), 0);
  EXPECT_EQ(specs.GetGlobalCountInd(), 3);
  EXPECT_EQ(specs.GetWeightVarInd(), 4);
  EXPECT_EQ(specs.GetFreeIndices(), (std::vector<int>{1, 2}));
  EXPECT_EQ(specs.GetVORMIndices(), (std::vector<int>(5, -1)));
  EXPECT_TRUE(specs.GetRecordIndices().empty());
  EXPECT_TRUE(specs.GetRecCatVars().empty());
  EXPECT_TRUE(specs.GetRecContVars().empty());

  ExpectDesc(specs.GetRecVarDescPtr(0), -1, 0, false, true, true, true);
  ExpectDesc(specs.GetRecVarDescPtr(1), -1, 1, false, true, true, true);  // continuous free slot
  ExpectDesc(specs.GetRecVarDescPtr(2), -1, 2, true, true, true, true);   // categorical free slot
  ExpectDesc(specs.GetRecVarDescPtr(3), -1, 3, false, true, true, true);
  ExpectDesc(specs.GetRecVarDescPtr(4), -1, 4, false, true, true, true);
}

TEST(KVOVarValidSpecsTest, MatrixSpecificationsTakeTheNextSlot) {
  standin::MemoryDataSource data;
  const int a = data.AddNumeric("a");
  const int b = data.AddNumeric("b");
  const std::vector<int> vars{a, b};
  ObsVecMap map(ObsVecMap::MakeKeySpec(data, vars), 1);
  const std::vector<VORM_Format> formats{VORM_Format(VORM_Format::F, 8, 0),
                                         VORM_Format(VORM_Format::F, 8, 0)};

  KVOVarValidSpecs specs;
  EXPECT_EQ(specs.AddVariable(a, true), 0);
  EXPECT_EQ(specs.AddMatrixSpec(&vars, &map, &formats, 4, false), 1);
  EXPECT_EQ(specs.AddVariable(b, false), 2);
  EXPECT_EQ(specs.AddMatrixSpec(&vars, &map, &formats, 6, true), 3);
  EXPECT_EQ(specs.GetLastIndex(), 3);
  EXPECT_EQ(specs.GetNMatrices(), 2);
  EXPECT_EQ(specs.GetNRecordVars(), 4);
  EXPECT_EQ(specs.GetVORMIndices(), (std::vector<int>{a, -1, b, -1}));

  const KVOMatrixSpecs* first = specs.GetMatrixSpecsPtr(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetRecVarIndex(), 1);
  EXPECT_EQ(first->GetMatrixVarListPtr(), &vars);
  EXPECT_EQ(first->GetObsVecMapPtr(), &map);
  EXPECT_EQ(first->GetFormatListPtr(), &formats);
  EXPECT_EQ(first->GetGroupIndex(), 4);
  EXPECT_FALSE(first->GetExclUserMiss());
  EXPECT_EQ(specs.GetRecMatrixInd(1), 3);
  EXPECT_EQ(specs.GetMatSpecGroupNum(1), 6);
  ExpectDesc(specs.GetRecVarDescPtr(1), -1, 1, false, true, true, true);
  ExpectDesc(specs.GetRecVarDescPtr(3), -1, 3, false, true, true, true);

  EXPECT_EQ(specs.GetMatrixSpecsPtr(2), nullptr);
  EXPECT_EQ(specs.GetMatrixSpecsPtr(-1), nullptr);
  EXPECT_EQ(specs.GetRecMatrixInd(2), -1);
  EXPECT_EQ(specs.GetRecMatrixInd(-1), -1);
  EXPECT_EQ(specs.GetMatSpecGroupNum(2), 0);
  EXPECT_EQ(specs.GetMatSpecGroupNum(-1), 0);
}

TEST(KVOVarValidSpecsTest, AddingListsOfVariables) {
  KVOVarValidSpecs specs(true, false, true);
  std::vector<int> recInds{99, 98};
  EXPECT_EQ(specs.AddVariables({4, 1, 6}, recInds, std::vector<bool>{true, false, true}), 2);
  EXPECT_EQ(recInds, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(specs.GetRecCatVars(), (std::vector<int>{0, 2}));
  EXPECT_EQ(specs.GetCatVarsX(), (std::vector<int>{4, 6}));
  EXPECT_EQ(specs.GetContVarsX(), std::vector<int>{1});
  ExpectDesc(specs.GetRecVarDescPtr(1), 1, 1, false, true, false, true);

  // The result is the slot of the last addition: here the existing one.
  EXPECT_EQ(specs.AddVariables({9, 1}, recInds, false, false, true, false), 1);
  EXPECT_EQ(recInds, (std::vector<int>{3, 1})) << "1 already has slot 1";
  ExpectDesc(specs.GetRecVarDescPtr(3), 9, 3, false, false, true, false);
  ExpectDesc(specs.GetRecVarDescPtr(1), 1, 1, false, false, true, false);
  EXPECT_EQ(specs.GetContVarsX(), (std::vector<int>{1, 9}));

  EXPECT_EQ(specs.AddVariables({}, recInds, true), 1) << "an empty list adds nothing";
  EXPECT_TRUE(recInds.empty());

  // A flag list of the wrong length is reported; the missing flags count as
  // categorical.
  AssertCollector asserts;
  EXPECT_EQ(specs.AddVariables({10, 11}, recInds, std::vector<bool>{false}, true, true, true), 5);
  EXPECT_EQ(asserts.Conditions(), std::vector<std::string>{"catVarFlags.size() == nVars"});
  EXPECT_EQ(asserts.Reports()[0].fSource, "KVOVarValidSpecs");
  EXPECT_EQ(recInds, (std::vector<int>{4, 5}));
  EXPECT_FALSE(specs.GetRecordCatVar(4));
  EXPECT_TRUE(specs.GetRecordCatVar(5));
}

TEST(KVOVarValidSpecsTest, NegativeHostIndexIsReportedAndMapsNothing) {
  KVOVarValidSpecs specs;
  AssertCollector asserts;
  const int recInd = specs.AddVariable(-3, true);
  EXPECT_EQ(asserts.Conditions(), std::vector<std::string>{"vormInd >= 0"});
  EXPECT_EQ(asserts.Reports()[0].fSource, "KVOVarValidSpecs");
  EXPECT_EQ(recInd, 0);
  EXPECT_TRUE(specs.GetRecordIndices().empty());
  EXPECT_EQ(specs.GetRecVarIndex(-3), -1);
  EXPECT_EQ(specs.AddVariable(2, false), 1) << "later additions go on normally";
}

TEST(KVOVarValidSpecsTest, CopyIsIndependentOfItsSource) {
  standin::MemoryDataSource data;
  const int a = data.AddNumeric("a");
  const std::vector<int> vars{a};
  ObsVecMap map(ObsVecMap::MakeKeySpec(data, vars), 1);
  KVOVarValidSpecs source;
  source.AddVariable(a, true);
  source.AddMatrixSpec(&vars, &map, nullptr, 2, true);

  KVOVarValidSpecs copy(source);
  copy.AddVariable(5, false);
  copy.SetWeightVar();
  EXPECT_EQ(source.GetNRecordVars(), 2);
  EXPECT_EQ(copy.GetNRecordVars(), 4);
  EXPECT_EQ(source.GetWeightVarInd(), -1);
  EXPECT_EQ(source.GetRecVarIndex(5), -1);
  ASSERT_NE(copy.GetMatrixSpecsPtr(0), nullptr);
  EXPECT_NE(copy.GetMatrixSpecsPtr(0), source.GetMatrixSpecsPtr(0));
  EXPECT_EQ(copy.GetMatrixSpecsPtr(0)->GetObsVecMapPtr(), &map);
  EXPECT_EQ(copy.GetMatrixSpecsPtr(0)->GetRecVarIndex(), 1);

  KVOVarValidSpecs assigned;
  assigned = copy;
  EXPECT_EQ(assigned.GetNRecordVars(), 4);
  EXPECT_EQ(assigned.GetVORMIndices(), copy.GetVORMIndices());
}

TEST(KVOVarValidSpecsTest, ValuesAsText) {
  const KVOVarValidSpecs specs;
  EXPECT_EQ(specs.ConvertObsToString(nullptr, VORM_Format(VORM_Format::F, 8, 2), true), "");

  // Numbers print at width 40 with their own type and decimals, whatever
  // width the format states, and are trimmed at both ends.
  OBS number;
  number.num = 1234.75;
  EXPECT_EQ(specs.ConvertObsToString(&number, VORM_Format(VORM_Format::F, 2, 1), false), "1234.8");
  EXPECT_EQ(specs.ConvertObsToString(&number, VORM_Format(VORM_Format::F, 8, 0), true), "1235");
  number.num = -0.25;
  EXPECT_EQ(specs.ConvertObsToString(&number, VORM_Format(VORM_Format::F, 5, 3), true), "-0.250");
  number.num = 150.0;
  EXPECT_EQ(specs.ConvertObsToString(&number, VORM_Format(VORM_Format::E, 3, 2), true), "1.50E+02");
  // A format the host cannot print with gives the empty text.
  EXPECT_EQ(specs.ConvertObsToString(&number, VORM_Format(9, 8, 0), true), "");
  EXPECT_EQ(specs.ConvertObsToString(&number, VORM_Format(VORM_Format::A, 0, 0), false), "");

  // Strings print at the format's width; trimming cuts the trailing blanks
  // only, and only when asked.
  const std::vector<OBS> padded = specs_test::StrCells("  ab", 6);
  EXPECT_EQ(specs.ConvertObsToString(padded.data(), VORM_Format(VORM_Format::A, 6, 0), true), "  ab");
  EXPECT_EQ(specs.ConvertObsToString(padded.data(), VORM_Format(VORM_Format::A, 6, 0), false), "  ab  ");
  const std::vector<OBS> wide = specs_test::StrCells("abcdefghij", 12);
  EXPECT_EQ(specs.ConvertObsToString(wide.data(), VORM_Format(VORM_Format::A, 12, 0), true), "abcdefghij");
  EXPECT_EQ(specs.ConvertObsToString(wide.data(), VORM_Format(VORM_Format::A, 12, 0), false), "abcdefghij  ");
}

TEST(KVOVarValidSpecsTest, DecimalCharacterFollowsTheHost) {
  const KVOVarValidSpecs pointSpecs;
  ASSERT_EQ(pointSpecs.GetDecimalCharacter(), '.');
  EXPECT_EQ(pointSpecs.AdjustDecimalCharacter("1.5.2"), "1.5.2");
  EXPECT_EQ(pointSpecs.AdjustDecimalCharacter(""), "");

  // A host that writes numbers with a decimal comma: the character is read
  // once, at construction, and only the first point of a text changes.
  standin::SetDecimalCharacter(',');
  const KVOVarValidSpecs commaSpecs;
  standin::SetDecimalCharacter('.');
  ASSERT_EQ(commaSpecs.GetDecimalCharacter(), ',');
  EXPECT_EQ(commaSpecs.AdjustDecimalCharacter("1.5.2"), "1,5.2");
  EXPECT_EQ(commaSpecs.AdjustDecimalCharacter("12"), "12");
  EXPECT_EQ(pointSpecs.GetDecimalCharacter(), '.');
}

}  // namespace
