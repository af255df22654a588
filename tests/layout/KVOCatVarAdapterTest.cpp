// The categorical adapter's rules beyond a plain pass (the layout
// integration test reads codes, user-missing values as data, long strings and
// renumbering over a survey): replays, given values, codes after a
// renumbering, and copies.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "LayoutTestSupport.h"
#include "kvoadapter/KVOCatVarAdapter.h"

namespace {

using specs_test::Bytes;
using specs_test::NewIterator;
using specs_test::NumCells;
using specs_test::SYSMIS;

// A numeric variable with the user-missing value 99 and a 12-byte string
// variable, over eight cases.
class KVOCatVarAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fNum = fData.AddNumeric("n", standin::Measure::Nominal);
    fLong = fData.AddString("l", 12);
    fData.Spec(fNum).fMissingNumbers = {99.0};
    const double numbers[] = {5, 2, 5, 9, SYSMIS, 99, 2, 7};
    const char* strings[] = {"apple pie AB", "apple pie AC", "apple pie AB", "banana",
                             "apple pie AC", "banana",       "cherry",       "apple pie AB"};
    for (int i = 0; i < 8; ++i) {
      fData.AddCase();
      fData.SetNumber(fNum, numbers[i]);
      fData.SetString(fLong, strings[i]);
    }
  }

  standin::MemoryDataSource fData;
  int fNum = -1, fLong = -1;
};

TEST_F(KVOCatVarAdapterTest, InvalidValuesAddNothingAndDecodeAnswersOnlyKnownCodes) {
  auto it = NewIterator(fData);
  KVOCatVarAdapter adapter(fData, *it, fNum, false);
  EXPECT_EQ(adapter.Decode(0), nullptr) << "no categories yet";
  ASSERT_TRUE(specs_test::MoveTo(*it, 5));  // 5 2 5 9 sysmis
  EXPECT_EQ(adapter.Encode(), -1);
  EXPECT_FALSE(adapter.UpdateValid());
  EXPECT_EQ(adapter.GetSize(), 0);
  bool newValue = false;
  EXPECT_EQ(adapter.Encode(NumCells(5.0).data(), newValue, true), 0);
  EXPECT_EQ(adapter.Decode(0), (*adapter.GetCategories())[0]);
  EXPECT_EQ(adapter.Decode(-1), nullptr);
  EXPECT_EQ(adapter.Decode(1), nullptr);
}

TEST_F(KVOCatVarAdapterTest, ReplayNeverAddsAndRebindingKeepsCategories) {
  auto first = NewIterator(fData);
  KVOCatVarAdapter adapter(fData, *first, fNum, false);
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(first->NextCase(), 0);
    adapter.Encode();  // 5, 2, 5, 9
  }
  ASSERT_EQ(adapter.GetSize(), 3);

  auto second = NewIterator(fData);
  adapter.SetCaseValueReader(*second, false);
  std::vector<int> codes;
  while (second->NextCase() != 0) codes.push_back(adapter.EncodeOldVars());
  EXPECT_EQ(codes, (std::vector<int>{0, 1, 0, 2, -1, -1, 1, -1}));
  EXPECT_EQ(adapter.GetSize(), 3) << "the unseen 7 was not added";

  // Rebinding with user-missing values counted as valid: 99 is valid now
  // but still unknown to a replay.
  auto third = NewIterator(fData);
  adapter.SetCaseValueReader(*third, true);
  ASSERT_TRUE(specs_test::MoveTo(*third, 6));
  EXPECT_TRUE(adapter.UpdateValid());
  EXPECT_EQ(adapter.EncodeOldVars(), -1);
  EXPECT_EQ(adapter.Encode(), 3);
}

TEST_F(KVOCatVarAdapterTest, GivenValuesAreEncodedWithoutTheValidityRule) {
  auto it = NewIterator(fData);
  KVOCatVarAdapter adapter(fData, *it, fNum, false);
  bool newValue = true;
  const std::vector<OBS> two = NumCells(2.0);
  EXPECT_EQ(adapter.Encode(two.data(), newValue, false), -1);
  EXPECT_TRUE(newValue);
  EXPECT_EQ(adapter.GetSize(), 0);
  EXPECT_EQ(adapter.Encode(two.data(), newValue, true), 0);
  EXPECT_TRUE(newValue);
  newValue = true;
  EXPECT_EQ(adapter.Encode(two.data(), newValue, false), 0);
  EXPECT_FALSE(newValue) << "a known value";

  // Values the case rule would refuse are accepted when given.
  const std::vector<OBS> missing = NumCells(SYSMIS);
  const std::vector<OBS> userMissing = NumCells(99.0);
  EXPECT_EQ(adapter.Encode(userMissing.data(), newValue, true), 1);
  EXPECT_EQ(adapter.Encode(missing.data(), newValue, true), 2);
  EXPECT_EQ(adapter.GetSize(), 3);

  // Given and read values share the categories.
  ASSERT_TRUE(specs_test::MoveTo(*it, 2));  // 2
  EXPECT_EQ(adapter.EncodeOldVars(), 0);

  kvotest::QuietHost quiet;
  EXPECT_EQ(adapter.Encode(nullptr, newValue, true), -1);
  EXPECT_EQ(kvotest::AssertsFrom("KVOCatVarAdapter"), std::vector<std::string>{"key != 0"});
  EXPECT_FALSE(newValue);
}

TEST_F(KVOCatVarAdapterTest, RenumberingFollowsTheMapsSortOrder) {
  auto it = NewIterator(fData);
  KVOCatVarAdapter adapter(fData, *it, fNum, false);
  for (double value : {5.0, 2.0, 9.0}) {
    bool newValue = false;
    adapter.Encode(NumCells(value).data(), newValue, true);
  }
  ASSERT_EQ(adapter.GetSize(), 3);

  EXPECT_TRUE(adapter.ReorderCategoryMap(fData, false));
  EXPECT_EQ(adapter.Decode(0)->num, 9.0);
  EXPECT_EQ(adapter.Decode(2)->num, 2.0);
  ASSERT_TRUE(specs_test::MoveTo(*it, 1));  // 5
  EXPECT_EQ(adapter.EncodeOldVars(), 1) << "the codes live in the new map";
  ASSERT_TRUE(specs_test::MoveTo(*it, 1));  // 2
  EXPECT_EQ(adapter.Encode(), 2);
  // New values after a renumbering continue the codes.
  bool newValue = false;
  EXPECT_EQ(adapter.Encode(NumCells(1.0).data(), newValue, true), 3);
}

// Far more values than the adapter keeps answers for, met twice in a
// different order, then replayed after a renumbering: every answer is the
// map's. Both zeros are one category.
TEST(KVOCatVarAdapterManyValuesTest, KeptAnswersAreTheMapsAnswers) {
  standin::MemoryDataSource data;
  const int v = data.AddNumeric("v", standin::Measure::Nominal);
  const int n = 300;
  auto valueOf = [](int i) { return i == 0 ? 0.0 : i * 0.25; };
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < n; ++i) {
      data.AddCase();
      data.SetNumber(v, valueOf(round == 0 ? i : (i * 7) % n));
    }
  }
  data.AddCase();
  data.SetNumber(v, -0.0);

  auto first = NewIterator(data);
  KVOCatVarAdapter adapter(data, *first, v, false);
  for (int c = 0; c < 2 * n; ++c) {
    ASSERT_NE(first->NextCase(), 0);
    const int i = c < n ? c : ((c - n) * 7) % n;
    ASSERT_EQ(adapter.Encode(), i) << "case " << c;
  }
  ASSERT_NE(first->NextCase(), 0);
  EXPECT_EQ(adapter.Encode(), 0) << "-0 is the category of 0";
  ASSERT_EQ(adapter.GetSize(), n);

  // Descending: value i takes code n - 1 - i.
  ASSERT_TRUE(adapter.ReorderCategoryMap(data, false));
  auto second = NewIterator(data);
  adapter.SetCaseValueReader(*second, false);
  for (int c = 0; c < 2 * n; ++c) {
    ASSERT_NE(second->NextCase(), 0);
    const int i = c < n ? c : ((c - n) * 7) % n;
    ASSERT_EQ(adapter.EncodeOldVars(), n - 1 - i) << "case " << c;
  }
}

TEST_F(KVOCatVarAdapterTest, CopiesOwnTheirMapAndReader) {
  auto it = NewIterator(fData);
  auto source = std::make_unique<KVOCatVarAdapter>(fData, *it, fLong, false);
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(it->NextCase(), 0);
    source->Encode();
  }
  ASSERT_EQ(source->GetSize(), 3);

  // A copy destroyed first leaves the source intact.
  {
    KVOCatVarAdapter copy(*source);
    ASSERT_EQ(copy.GetSize(), 3);
    for (int code = 0; code < 3; ++code) {
      EXPECT_NE(copy.Decode(code), source->Decode(code)) << "the copy's keys are its own";
      EXPECT_EQ(Bytes(copy.Decode(code), 12), Bytes(source->Decode(code), 12));
    }
    EXPECT_EQ(copy.GetVarIndex(), fLong);
    EXPECT_EQ(copy.Encode(), 2) << "the copy reads the same case: banana";
    bool newValue = false;
    EXPECT_EQ(copy.Encode(specs_test::StrCells("kiwi", 12).data(), newValue, true), 3);
    EXPECT_EQ(copy.GetSize(), 4);
    EXPECT_EQ(source->GetSize(), 3) << "additions to the copy stay there";
  }
  EXPECT_EQ(Bytes(source->Decode(1), 12), "apple pie AC");
  EXPECT_EQ(source->Encode(), 2);

  // A copy outlives its source.
  KVOCatVarAdapter survivor(*source);
  source.reset();
  EXPECT_EQ(Bytes(survivor.Decode(0), 12), "apple pie AB");
  ASSERT_NE(it->NextCase(), 0);  // "apple pie AC"
  EXPECT_EQ(survivor.Encode(), 1);
  EXPECT_TRUE(survivor.ReorderCategoryMap(fData, true));
  EXPECT_EQ(Bytes(survivor.Decode(2), 12), "banana      ");
}

}  // namespace
