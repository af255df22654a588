#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "SpecsTestSupport.h"
#include "kvoadapter/KVOCaseValueReader.h"

namespace {

using specs_test::NewIterator;
using specs_test::SYSMIS;

// Variables: numbers with and without user-missing values (discrete and a
// range), short strings of widths 1, 2 and 8, and a 12-byte string with a
// user-missing value.
class KVOCaseValueReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fNum = fData.AddNumeric("num");      // user-missing 9
    fPlain = fData.AddNumeric("plain");  // no missing values
    fRange = fData.AddNumeric("range");  // user-missing 90 thru 99
    fStr1 = fData.AddString("s1", 1);
    fStr2 = fData.AddString("s2", 2);  // user-missing "X"
    fStr8 = fData.AddString("s8", 8);
    fLong = fData.AddString("long", 12);  // user-missing "UNKNOWN"
    fNum2 = fData.AddNumeric("num2");
    fData.Spec(fNum).fMissingNumbers = {9.0};
    fData.Spec(fRange).fHasMissingRange = true;
    fData.Spec(fRange).fMissingLow = 90.0;
    fData.Spec(fRange).fMissingHigh = 99.0;
    fData.Spec(fStr2).fMissingStrings = {"X"};
    fData.Spec(fLong).fMissingStrings = {"UNKNOWN"};

    // Case 1: ordinary values; "plain" left system-missing.
    fData.AddCase();
    fData.SetNumber(fNum, 1.0);
    fData.SetNumber(fRange, 50.0);
    fData.SetString(fStr1, "A");
    fData.SetString(fStr2, "A");
    fData.SetString(fStr8, "abc");
    fData.SetString(fLong, "abcdefghijkl");
    fData.SetNumber(fNum2, 1.0);
    // Case 2: user-missing values everywhere they are declared, and the
    // system-missing value given explicitly.
    fData.AddCase();
    fData.SetNumber(fNum, 9.0);
    fData.SetNumber(fPlain, SYSMIS);
    fData.SetNumber(fRange, 95.5);
    fData.SetString(fStr1, "a");
    fData.SetString(fStr2, "X");
    fData.SetString(fStr8, std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xEF\xFF", 8));
    fData.SetString(fLong, "UNKNOWN");
    fData.SetNumber(fNum2, -0.0);
    // Case 3: system-missing in the declared variables, NaN, bytes above 127.
    fData.AddCase();
    fData.SetNumber(fNum, SYSMIS);
    fData.SetNumber(fPlain, std::numeric_limits<double>::quiet_NaN());
    fData.SetString(fStr1, "\xE9");
    fData.SetString(fStr2, "z");
    fData.SetString(fLong, "abcdefghijkz");
    fData.SetNumber(fNum2, 0.0);
  }

  standin::MemoryDataSource fData;
  int fNum = -1, fPlain = -1, fRange = -1, fStr1 = -1, fStr2 = -1, fStr8 = -1, fLong = -1, fNum2 = -1;
};

TEST_F(KVOCaseValueReaderTest, SystemMissingValueIsMissingWithOrWithoutDeclaredMissingValues) {
  auto it = NewIterator(fData);
  ASSERT_TRUE(specs_test::MoveTo(*it, 2));
  for (bool userMissValid : {false, true}) {
    KVOCaseValueReader plain(*it, fPlain, userMissValid);
    EXPECT_TRUE(plain.IsSysmis());
    EXPECT_TRUE(plain.IsNull());
    EXPECT_FALSE(plain.IsUserMissing());
    EXPECT_FALSE(plain.IsValid());
    EXPECT_EQ(plain.Type(), 0);
  }
  ASSERT_TRUE(specs_test::MoveTo(*it, 1));  // case 3
  for (bool userMissValid : {false, true}) {
    KVOCaseValueReader num(*it, fNum, userMissValid);
    EXPECT_TRUE(num.IsSysmis());
    EXPECT_FALSE(num.IsUserMissing()) << "the system-missing value is not user-missing";
    EXPECT_FALSE(num.IsValid());
    EXPECT_FALSE(num.UpdateValid());
  }
  EXPECT_EQ(KVOCaseValueReader::sysmis(), SYSMIS);
  EXPECT_EQ(KVOCaseValueReader::sysmis(), -std::numeric_limits<double>::max());
}

TEST_F(KVOCaseValueReaderTest, UserMissingNumbersAreDataOnlyWhenUserMissingCountsAsValid) {
  auto it = NewIterator(fData);
  ASSERT_TRUE(specs_test::MoveTo(*it, 2));
  KVOCaseValueReader excluded(*it, fNum, false);
  KVOCaseValueReader included(*it, fNum, true);
  EXPECT_TRUE(excluded.IsUserMissing());
  EXPECT_FALSE(excluded.IsSysmis());
  EXPECT_FALSE(excluded.IsValid());
  EXPECT_TRUE(included.IsValid());
  EXPECT_EQ(included.Value().num, 9.0);

  // A value inside a declared range is user-missing as well.
  KVOCaseValueReader rangeExcluded(*it, fRange, false);
  KVOCaseValueReader rangeIncluded(*it, fRange, true);
  EXPECT_TRUE(rangeExcluded.IsUserMissing());
  EXPECT_FALSE(rangeExcluded.IsValid());
  EXPECT_TRUE(rangeIncluded.IsValid());

  // Case 1: ordinary values are valid under both rules.
  auto first = NewIterator(fData);
  ASSERT_TRUE(specs_test::MoveTo(*first, 1));
  for (bool userMissValid : {false, true}) {
    KVOCaseValueReader num(*first, fNum, userMissValid);
    KVOCaseValueReader range(*first, fRange, userMissValid);
    EXPECT_FALSE(num.IsUserMissing());
    EXPECT_TRUE(num.IsValid());
    EXPECT_TRUE(range.IsValid());
  }
}

TEST_F(KVOCaseValueReaderTest, StringsAreNeverNullAndValidWhenUserMissingCountsAsData) {
  auto it = NewIterator(fData);
  ASSERT_TRUE(specs_test::MoveTo(*it, 2));
  KVOCaseValueReader s2Excluded(*it, fStr2, false);
  KVOCaseValueReader s2Included(*it, fStr2, true);
  EXPECT_EQ(s2Excluded.Type(), 2);
  EXPECT_TRUE(s2Excluded.IsUserMissing());
  EXPECT_FALSE(s2Excluded.IsValid());
  EXPECT_TRUE(s2Included.IsValid());
  EXPECT_FALSE(s2Included.IsNull());

  KVOCaseValueReader longExcluded(*it, fLong, false);
  KVOCaseValueReader longIncluded(*it, fLong, true);
  EXPECT_TRUE(longExcluded.IsUserMissing());
  EXPECT_FALSE(longExcluded.IsValid());
  EXPECT_TRUE(longIncluded.IsValid());

  // Eight bytes that spell the system-missing value: IsSysmis compares the
  // first cell only, but a string is never null and stays valid.
  for (bool userMissValid : {false, true}) {
    KVOCaseValueReader s8(*it, fStr8, userMissValid);
    EXPECT_TRUE(s8.IsSysmis());
    EXPECT_FALSE(s8.IsNull());
    EXPECT_FALSE(s8.IsUserMissing());
    EXPECT_TRUE(s8.IsValid());
  }
}

TEST_F(KVOCaseValueReaderTest, StoredValidityBelongsToTheCaseOfTheLastUpdate) {
  auto it = NewIterator(fData);
  ASSERT_TRUE(specs_test::MoveTo(*it, 1));
  KVOCaseValueReader num(*it, fNum, false);
  EXPECT_FALSE(num.IsUpdateValid()) << "false after construction";
  EXPECT_TRUE(num.UpdateValid());
  EXPECT_TRUE(num.IsUpdateValid());
  ASSERT_TRUE(specs_test::MoveTo(*it, 1));  // case 2: user-missing 9
  EXPECT_EQ(num.Value().num, 9.0) << "the reader follows the iterator";
  EXPECT_TRUE(num.IsUpdateValid()) << "still the answer for case 1";
  EXPECT_FALSE(num.IsValid());
  EXPECT_TRUE(num.IsUpdateValid()) << "IsValid does not store";
  EXPECT_FALSE(num.UpdateValid());
  EXPECT_FALSE(num.IsUpdateValid());

  // A copy reads the same variable of the same iterator and keeps the
  // stored answer; assignment copies it too.
  KVOCaseValueReader copy(num);
  EXPECT_FALSE(copy.IsUpdateValid());
  EXPECT_EQ(copy.Value().num, 9.0);
  KVOCaseValueReader other(*it, fLong, true);
  other = copy;
  EXPECT_EQ(other.Type(), 0);
  EXPECT_EQ(&other.Value(), &num.Value());
  other = other;
  EXPECT_EQ(&other.Value(), &num.Value());
}

TEST_F(KVOCaseValueReaderTest, StringsCompareByWidthAndUnsignedBytes) {
  auto it = NewIterator(fData);
  ASSERT_TRUE(specs_test::MoveTo(*it, 1));
  KVOCaseValueReader s1(*it, fStr1, true);  // "A"
  KVOCaseValueReader s2(*it, fStr2, true);  // "A "
  KVOCaseValueReader s1Again(*it, fStr1, false);
  EXPECT_FALSE(s1 == s2) << "different widths are never equal, blanks count";
  EXPECT_TRUE(s1 < s2) << "the shorter value comes first";
  EXPECT_FALSE(s2 < s1);
  EXPECT_TRUE(s1.less(s2));
  EXPECT_TRUE(s1 == s1Again);
  EXPECT_FALSE(s1 < s1Again);

  // Twelve-byte values that differ only in their second cell.
  auto third = NewIterator(fData);
  ASSERT_TRUE(specs_test::MoveTo(*third, 3));
  KVOCaseValueReader long1(*it, fLong, true);     // "abcdefghijkl"
  KVOCaseValueReader long3(*third, fLong, true);  // "abcdefghijkz"
  EXPECT_FALSE(long1 == long3);
  EXPECT_TRUE(long1 < long3);
  EXPECT_FALSE(long3 < long1);
  KVOCaseValueReader long1Again(*it, fLong, false);
  EXPECT_TRUE(long1 == long1Again);

  // Letter case counts, and bytes compare as unsigned values: "A" < "a",
  // and 0xE9 orders after every ASCII letter.
  auto second = NewIterator(fData);
  ASSERT_TRUE(specs_test::MoveTo(*second, 2));
  KVOCaseValueReader lowerA(*second, fStr1, true);  // "a"
  KVOCaseValueReader high(*third, fStr1, true);     // "\xE9"
  EXPECT_FALSE(s1 == lowerA);
  EXPECT_TRUE(s1 < lowerA);
  EXPECT_TRUE(lowerA < high);
  EXPECT_FALSE(high < lowerA);
}

TEST_F(KVOCaseValueReaderTest, NumbersCompareUnderIeeeRulesAndNeverWithStrings) {
  auto second = NewIterator(fData);
  auto third = NewIterator(fData);
  ASSERT_TRUE(specs_test::MoveTo(*second, 2));
  ASSERT_TRUE(specs_test::MoveTo(*third, 3));
  KVOCaseValueReader negZero(*second, fNum2, true);  // -0.0
  KVOCaseValueReader zero(*third, fNum2, true);      // 0.0
  EXPECT_TRUE(negZero == zero);
  EXPECT_FALSE(negZero < zero);
  EXPECT_FALSE(zero < negZero);

  KVOCaseValueReader nan(*third, fPlain, true);
  EXPECT_FALSE(nan == nan);
  EXPECT_FALSE(nan < zero);
  EXPECT_FALSE(zero < nan);

  KVOCaseValueReader nine(*second, fNum, true);   // 9
  KVOCaseValueReader sysmis(*third, fNum, true);  // system-missing
  EXPECT_TRUE(sysmis < nine);
  EXPECT_FALSE(nine < sysmis);
  EXPECT_FALSE(nine == sysmis);

  // A number and a string are neither equal nor ordered.
  KVOCaseValueReader text(*second, fStr2, true);
  EXPECT_FALSE(nine == text);
  EXPECT_FALSE(text == nine);
  EXPECT_FALSE(nine < text);
  EXPECT_FALSE(text < nine);
  EXPECT_FALSE(nine.less(text));
}

}  // namespace
