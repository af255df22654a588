// The specification list: slot numbering, both index spaces, repeated and
// multiply recoded variables, special slots, matrices, lists of variables,
// broken preconditions, copies and values as text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LayoutTestSupport.h"
#include "kvoadapter/KVOVarValidSpecs.h"
#include "standin/HostControl.h"
#include "support/DataSourceBuilder.h"
#include "support/ForwardingDataSource.h"

namespace {

using kvotest::AssertsFrom;

// A descriptor's fields: host index, slot, categorical, the three missing-value flags.
struct Desc {
  int fVorm, fRec;
  bool fbCat, fbProcSysMiss, fbExclUserMiss, fbScoreSysMiss;
  bool operator==(const Desc&) const = default;
};
Desc Fields(const KVOVariableDesc* desc) {
  if (desc == nullptr) return {-99, -99, false, false, false, false};
  return {desc->GetVORMVarIndex(), desc->GetRecVarIndex(),  desc->GetCatVar(),
          desc->GetProcSysMiss(),  desc->GetExclUserMiss(), desc->GetScoreSysMiss()};
}
std::ostream& operator<<(std::ostream& out, const Desc& d) {
  return out << "{" << d.fVorm << ", " << d.fRec << ", " << d.fbCat << d.fbProcSysMiss << d.fbExclUserMiss
             << d.fbScoreSysMiss << "}";
}

class KVOVarValidSpecsTest : public ::testing::Test {
 protected:
  kvotest::QuietHost fQuiet;
};

TEST_F(KVOVarValidSpecsTest, SlotsAreNumberedInTheOrderOfAdditionInBothIndexSpaces) {
  KVOVarValidSpecs specs(false, true, false);
  EXPECT_EQ(specs.GetWeightVarInd(), -1);
  EXPECT_EQ(specs.GetRecVarIndex(0), -1);
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

  // The short form takes the constructor's flags.
  EXPECT_EQ(Fields(specs.GetRecVarDescPtr(0)), (Desc{7, 0, true, false, true, false}));
  EXPECT_EQ(Fields(specs.GetRecVarDescPtr(1)), (Desc{3, 1, false, true, false, true}));
  EXPECT_EQ(Fields(specs.GetRecVarDescPtr(2)), (Desc{-1, 2, false, true, true, true}));
  EXPECT_EQ(Fields(specs.GetVORMVarDescPtr(3)), (Desc{3, 1, false, true, false, true}));

  // Out-of-range answers of both index spaces.
  for (int bad : {-1, 5, 8}) EXPECT_EQ(specs.GetRecVarIndex(bad), -1) << bad;
  for (int bad : {-1, 2, 3}) EXPECT_EQ(specs.GetVORMVarIndex(bad), -1) << bad;
  EXPECT_EQ(specs.GetRecVarDescPtr(3), nullptr);
  EXPECT_EQ(specs.GetRecVarDescPtr(-1), nullptr);
  EXPECT_EQ(specs.GetVORMVarDescPtr(5), nullptr);
  EXPECT_EQ(specs.GetVORMVarDescPtr(-2), nullptr);
  EXPECT_FALSE(specs.GetRecordCatVar(1));
  EXPECT_FALSE(specs.GetRecordCatVar(2));
  EXPECT_TRUE(specs.GetRecordCatVar(3)) << "no slot counts as categorical";
  EXPECT_FALSE(specs.GetVORMCatVar(3));
  EXPECT_TRUE(specs.GetVORMCatVar(5)) << "a host variable without a slot";
}

TEST_F(KVOVarValidSpecsTest, RepeatedVariableKeepsItsSlotUnlessRecodedSeveralTimes) {
  KVOVarValidSpecs specs;
  EXPECT_EQ(specs.AddVariable(7, true, true, true, true), 0);
  EXPECT_EQ(specs.AddVariable(2, false), 1);
  EXPECT_EQ(specs.AddVariable(7, true, false, false, false), 0);
  EXPECT_EQ(specs.GetLastIndex(), 0);
  EXPECT_EQ(specs.GetNRecordVars(), 2);
  EXPECT_EQ(specs.GetCatVarsX(), std::vector<int>{7});
  EXPECT_EQ(Fields(specs.GetRecVarDescPtr(0)), (Desc{7, 0, true, false, false, false})) << "the latest flags";
  EXPECT_TRUE(AssertsFrom("KVOVarValidSpecs").empty());
  // Adding it again with the other kind is a broken precondition: reported,
  // and the slot's descriptor is still replaced.
  EXPECT_EQ(specs.AddVariable(7, false), 0);
  EXPECT_EQ(AssertsFrom("KVOVarValidSpecs"),
            std::vector<std::string>{"fvVarDescs[indexInRec].GetCatVar() == catVar"});
  EXPECT_FALSE(specs.GetRecordCatVar(0));
  EXPECT_EQ(specs.GetRecContVars(), std::vector<int>{1});

  KVOVarValidSpecs multiple;
  multiple.SetMultRecode(true);
  EXPECT_EQ(multiple.AddVariable(7, true), 0);
  EXPECT_EQ(multiple.AddVariable(7, true), 1);
  EXPECT_EQ(multiple.AddVariable(7, false), 2) << "no kind check when recoding several times";
  EXPECT_EQ(multiple.GetRecCatVars(), (std::vector<int>{0, 1}));
  EXPECT_EQ(multiple.GetRecContVars(), std::vector<int>{2});
  EXPECT_EQ(multiple.GetRecVarIndex(7), 2) << "the host index maps to the slot made last";
}

TEST_F(KVOVarValidSpecsTest, SpecialFreeAndMatrixSlots) {
  standin::MemoryDataSource data;
  const int a = data.AddNumeric("a");
  const std::vector<int> vars{a};
  ObsVecMap map(ObsVecMap::MakeKeySpec(data, vars), 1);
  const std::vector<VORM_Format> formats{VORM_Format(VORM_Format::F, 8, 0)};

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
  EXPECT_EQ(specs.AddMatrixSpec(&vars, &map, &formats, 6, false), 5);
  EXPECT_EQ(specs.GetCaseCountInd(), 0);
  EXPECT_EQ(specs.GetGlobalCountInd(), 3);
  EXPECT_EQ(specs.GetWeightVarInd(), 4);
  EXPECT_EQ(specs.GetFreeIndices(), (std::vector<int>{1, 2}));
  EXPECT_EQ(specs.GetVORMIndices(), (std::vector<int>(6, -1)));
  EXPECT_TRUE(specs.GetRecordIndices().empty());
  EXPECT_EQ(Fields(specs.GetRecVarDescPtr(1)),
            (Desc{-1, 1, false, true, true, true}));  // continuous free slot
  EXPECT_EQ(Fields(specs.GetRecVarDescPtr(2)),
            (Desc{-1, 2, true, true, true, true}));  // categorical free slot
  EXPECT_EQ(Fields(specs.GetRecVarDescPtr(5)), (Desc{-1, 5, false, true, true, true}));

  const KVOMatrixSpecs* matrix = specs.GetMatrixSpecsPtr(0);
  ASSERT_NE(matrix, nullptr);
  EXPECT_EQ(matrix->GetRecVarIndex(), 5);
  EXPECT_EQ(matrix->GetMatrixVarListPtr(), &vars);
  EXPECT_EQ(matrix->GetObsVecMapPtr(), &map);
  EXPECT_EQ(matrix->GetFormatListPtr(), &formats);
  EXPECT_FALSE(matrix->GetExclUserMiss());
  EXPECT_EQ(specs.GetRecMatrixInd(0), 5);
  EXPECT_EQ(specs.GetMatSpecGroupNum(0), 6);
  for (int bad : {-1, 1}) {
    EXPECT_EQ(specs.GetMatrixSpecsPtr(bad), nullptr);
    EXPECT_EQ(specs.GetRecMatrixInd(bad), -1);
    EXPECT_EQ(specs.GetMatSpecGroupNum(bad), 0);
  }
}

TEST_F(KVOVarValidSpecsTest, AddingListsOfVariables) {
  KVOVarValidSpecs specs(true, false, true);
  std::vector<int> recInds{99, 98};
  EXPECT_EQ(specs.AddVariables({4, 1, 6}, recInds, std::vector<bool>{true, false, true}), 2);
  EXPECT_EQ(recInds, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(specs.GetCatVarsX(), (std::vector<int>{4, 6}));
  EXPECT_EQ(Fields(specs.GetRecVarDescPtr(1)), (Desc{1, 1, false, true, false, true}));

  // The result is the slot of the last addition: here the existing one.
  EXPECT_EQ(specs.AddVariables({9, 1}, recInds, false, false, true, false), 1);
  EXPECT_EQ(recInds, (std::vector<int>{3, 1})) << "1 already has slot 1";
  EXPECT_EQ(Fields(specs.GetRecVarDescPtr(1)), (Desc{1, 1, false, false, true, false}));
  EXPECT_EQ(specs.AddVariables({}, recInds, true), 1) << "an empty list adds nothing";
  EXPECT_TRUE(recInds.empty());

  // A flag list of the wrong length is reported; the missing flags count as categorical.
  EXPECT_EQ(specs.AddVariables({10, 11}, recInds, std::vector<bool>{false}, true, true, true), 5);
  EXPECT_EQ(AssertsFrom("KVOVarValidSpecs"), std::vector<std::string>{"catVarFlags.size() == nVars"});
  EXPECT_EQ(recInds, (std::vector<int>{4, 5}));
  EXPECT_FALSE(specs.GetRecordCatVar(4));
  EXPECT_TRUE(specs.GetRecordCatVar(5));
}

TEST_F(KVOVarValidSpecsTest, NegativeHostIndexIsReportedAndMapsNothing) {
  KVOVarValidSpecs specs;
  EXPECT_EQ(specs.AddVariable(-3, true), 0);
  EXPECT_EQ(AssertsFrom("KVOVarValidSpecs"), std::vector<std::string>{"vormInd >= 0"});
  EXPECT_TRUE(specs.GetRecordIndices().empty());
  EXPECT_EQ(specs.AddVariable(2, false), 1) << "later additions go on normally";
}

TEST_F(KVOVarValidSpecsTest, CopyIsIndependentOfItsSource) {
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
  KVOVarValidSpecs assigned;
  assigned = copy;
  EXPECT_EQ(assigned.GetVORMIndices(), copy.GetVORMIndices());
}

TEST_F(KVOVarValidSpecsTest, ValuesAsText) {
  const KVOVarValidSpecs specs;
  EXPECT_EQ(specs.ConvertObsToString(nullptr, VORM_Format(VORM_Format::F, 8, 2), true), "");
  // Numbers print at width 40 with their own type and decimals, whatever
  // width the format states, and are trimmed at both ends; a format the host
  // cannot print with gives the empty text.
  const struct {
    double fValue;
    VORM_Format fFormat;
    const char* fText;
  } numbers[] = {
      {1234.75, VORM_Format(VORM_Format::F, 2, 1), "1234.8"},
      {1234.75, VORM_Format(VORM_Format::F, 8, 0), "1235"},
      {-0.25, VORM_Format(VORM_Format::F, 5, 3), "-0.250"},
      {150.0, VORM_Format(VORM_Format::E, 3, 2), "1.50E+02"},
      {150.0, VORM_Format(9, 8, 0), ""},
      {150.0, VORM_Format(VORM_Format::A, 0, 0), ""},
  };
  for (const auto& n : numbers) {
    EXPECT_EQ(specs.ConvertObsToString(kvotest::NumCells(n.fValue).data(), n.fFormat, true), n.fText)
        << n.fValue;
  }
  // Strings print at the format's width; trimming cuts the trailing blanks
  // only, and only when asked.
  const std::vector<OBS> padded = kvotest::StrCells("  ab", 6);
  EXPECT_EQ(specs.ConvertObsToString(padded.data(), VORM_Format(VORM_Format::A, 6, 0), true), "  ab");
  EXPECT_EQ(specs.ConvertObsToString(padded.data(), VORM_Format(VORM_Format::A, 6, 0), false), "  ab  ");
  const std::vector<OBS> wide = kvotest::StrCells("abcdefghij", 12);
  EXPECT_EQ(specs.ConvertObsToString(wide.data(), VORM_Format(VORM_Format::A, 12, 0), true), "abcdefghij");

  // With the variable, a string format never reads more bytes than the value
  // holds: the 3-byte value "abc" is followed here by other bytes, which an
  // A20 or AHEX20 would show. A number is one cell.
  auto data = kvotest::DataSourceBuilder().Add(kvotest::Str("s", 3)).Add(kvotest::Num("n")).Build();
  const std::vector<OBS> followed = kvotest::StrCells("abcdefghijklmnopqrstuvwx", 24);
  const std::vector<OBS> number = kvotest::NumCells(1234.75);
  const struct {
    int fVariable;
    VORM_Format fFormat;
    const OBS* fValue;
    bool fbTrim;
    std::string fText;
  } viaVariable[] = {
      {0, VORM_Format(VORM_Format::A, 20, 0), followed.data(), true, "abc"},
      {0, VORM_Format(VORM_Format::A, 20, 0), padded.data(), false, "  a"},
      {0, VORM_Format(VORM_Format::A, 2, 0), followed.data(), true, "ab"},  // narrower: as given
      {0, VORM_Format(VORM_Format::AHEX, 20, 0), followed.data(), true, "616263"},
      {1, VORM_Format(VORM_Format::A, 20, 0), followed.data(), true, "abcdefgh"},
      {1, VORM_Format(VORM_Format::F, 8, 2), number.data(), true, "1234.75"},
      {1, VORM_Format(VORM_Format::F, 8, 2), nullptr, true, ""},
  };
  for (const auto& c : viaVariable) {
    SCOPED_TRACE(c.fText);
    const kvotest::FormatVariable variable(*data->GetVariable(c.fVariable), c.fFormat);
    EXPECT_EQ(specs.ConvertObsToString(c.fValue, variable, c.fbTrim), c.fText);
  }
  // The stand-in host prints 1.1 as "1.1": the point is kept.
  ASSERT_EQ(specs.GetDecimalCharacter(), '.');
  EXPECT_EQ(specs.AdjustDecimalCharacter("1.5.2"), "1.5.2");
  // A host that writes numbers with a decimal comma: the character is read
  // once, at construction, and only the first point of a text changes.
  standin::SetDecimalCharacter(',');
  const KVOVarValidSpecs commaSpecs;
  standin::SetDecimalCharacter('.');
  ASSERT_EQ(commaSpecs.GetDecimalCharacter(), ',');
  EXPECT_EQ(commaSpecs.AdjustDecimalCharacter("1.5.2"), "1,5.2");
  EXPECT_EQ(commaSpecs.AdjustDecimalCharacter("12"), "12");
}

TEST_F(KVOVarValidSpecsTest, HostDecidesWhetherADescribedVariableIsCategorical) {
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
