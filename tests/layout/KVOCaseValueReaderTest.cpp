#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "LayoutTestSupport.h"
#include "kvoadapter/KVOCaseValueReader.h"

namespace {

using specs_test::NewIterator;
using specs_test::SYSMIS;

// Variables: numbers with and without user-missing values (one and three
// discrete values, a range, a range plus one value), short strings of
// widths 1, 2 and 8, and a 12-byte string with a user-missing value.
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
    fThree = fData.AddNumeric("three");        // user-missing 7, 8, 9
    fRangeOne = fData.AddNumeric("rangeone");  // user-missing 1 thru 3, and 99
    fData.Spec(fNum).fMissingNumbers = {9.0};
    fData.Spec(fThree).fMissingNumbers = {7.0, 8.0, 9.0};
    fData.Spec(fRangeOne).fMissingNumbers = {99.0};
    fData.Spec(fRangeOne).fHasMissingRange = true;
    fData.Spec(fRangeOne).fMissingLow = 1.0;
    fData.Spec(fRangeOne).fMissingHigh = 3.0;
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
    fData.SetNumber(fThree, 5.0);
    fData.SetNumber(fRangeOne, 50.0);
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
    fData.SetNumber(fThree, 8.0);
    fData.SetNumber(fRangeOne, 99.0);
    // Case 3: system-missing in the declared variables, NaN, bytes above 127.
    fData.AddCase();
    fData.SetNumber(fNum, SYSMIS);
    fData.SetNumber(fPlain, std::numeric_limits<double>::quiet_NaN());
    fData.SetString(fStr1, "\xE9");
    fData.SetString(fStr2, "z");
    fData.SetString(fLong, "abcdefghijkz");
    fData.SetNumber(fNum2, 0.0);
    fData.SetNumber(fRangeOne, 2.0);
  }

  // Public: the tests name the variables through member pointers.
 public:
  standin::MemoryDataSource fData;
  int fNum = -1, fPlain = -1, fRange = -1, fStr1 = -1, fStr2 = -1, fStr8 = -1, fLong = -1, fNum2 = -1;
  int fThree = -1, fRangeOne = -1;
};

// Each reader's judgement of one value under both rules (user-missing
// values excluded, then counted as valid).
TEST_F(KVOCaseValueReaderTest, JudgesSystemMissingUserMissingAndValidValues) {
  const struct {
    int fCase;
    int KVOCaseValueReaderTest::*fVar;
    bool fbSysmis, fbNull, fbUserMissing, fbValidExcluded, fbValidIncluded;
  } cases[] = {
      // The system-missing value, with and without declared missing values.
      {2, &KVOCaseValueReaderTest::fPlain, true, true, false, false, false},
      {3, &KVOCaseValueReaderTest::fNum, true, true, false, false, false},
      // Declared user-missing values, discrete and in a range; ordinary values.
      {2, &KVOCaseValueReaderTest::fNum, false, false, true, false, true},
      {2, &KVOCaseValueReaderTest::fRange, false, false, true, false, true},
      {1, &KVOCaseValueReaderTest::fNum, false, false, false, true, true},
      {1, &KVOCaseValueReaderTest::fRange, false, false, false, true, true},
      {2, &KVOCaseValueReaderTest::fThree, false, false, true, false, true},
      {1, &KVOCaseValueReaderTest::fThree, false, false, false, true, true},
      {2, &KVOCaseValueReaderTest::fRangeOne, false, false, true, false, true},
      {3, &KVOCaseValueReaderTest::fRangeOne, false, false, true, false, true},
      {1, &KVOCaseValueReaderTest::fRangeOne, false, false, false, true, true},
      {3, &KVOCaseValueReaderTest::fThree, true, true, false, false, false},
      // Strings are never null: user-missing ones are valid when counted as data.
      {2, &KVOCaseValueReaderTest::fStr2, false, false, true, false, true},
      {2, &KVOCaseValueReaderTest::fLong, false, false, true, false, true},
      // Eight bytes that spell the system-missing value: IsSysmis reads the
      // first cell as a number, but the string stays valid.
      {2, &KVOCaseValueReaderTest::fStr8, true, false, false, true, true},
  };
  for (const auto& c : cases) {
    auto it = NewIterator(fData);
    ASSERT_TRUE(specs_test::MoveTo(*it, c.fCase));
    for (bool userMissValid : {false, true}) {
      const KVOCaseValueReader reader(*it, this->*c.fVar, userMissValid);
      SCOPED_TRACE(std::string(reader.Variable().GetName()) + " in case " + std::to_string(c.fCase) +
                   (userMissValid ? ", user-missing valid" : ""));
      EXPECT_EQ(reader.IsSysmis(), c.fbSysmis);
      EXPECT_EQ(reader.IsNull(), c.fbNull);
      EXPECT_EQ(reader.IsUserMissing(), c.fbUserMissing);
      EXPECT_EQ(reader.IsValid(), userMissValid ? c.fbValidIncluded : c.fbValidExcluded);
    }
  }
  EXPECT_EQ(KVOCaseValueReader::sysmis(), SYSMIS);
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

// Pairs of values (user-missing values valid) and how they compare both ways.
TEST_F(KVOCaseValueReaderTest, ComparesByTypeWidthUnsignedBytesAndIeeeRules) {
  using F = KVOCaseValueReaderTest;
  const struct {
    const char* fWhat;
    int fCaseA;
    int F::*fVarA;
    int fCaseB;
    int F::*fVarB;
    bool fbEqual, fbLess, fbGreater;
  } cases[] = {
      {"\"A\" and \"A \": widths differ, blanks count", 1, &F::fStr1, 1, &F::fStr2, false, true, false},
      {"\"A\" and itself", 1, &F::fStr1, 1, &F::fStr1, true, false, false},
      {"12 bytes differing in the second cell", 1, &F::fLong, 3, &F::fLong, false, true, false},
      {"12 bytes and themselves", 1, &F::fLong, 1, &F::fLong, true, false, false},
      {"\"A\" and \"a\": letter case counts", 1, &F::fStr1, 2, &F::fStr1, false, true, false},
      {"\"a\" and 0xE9: unsigned bytes", 2, &F::fStr1, 3, &F::fStr1, false, true, false},
      {"-0 and 0", 2, &F::fNum2, 3, &F::fNum2, true, false, false},
      {"NaN and itself", 3, &F::fPlain, 3, &F::fPlain, false, false, false},
      {"NaN and 0", 3, &F::fPlain, 3, &F::fNum2, false, false, false},
      {"system-missing and 9", 3, &F::fNum, 2, &F::fNum, false, true, false},
      {"a number and a string", 2, &F::fNum, 2, &F::fStr2, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fWhat);
    auto itA = NewIterator(fData);
    auto itB = NewIterator(fData);
    ASSERT_TRUE(specs_test::MoveTo(*itA, c.fCaseA));
    ASSERT_TRUE(specs_test::MoveTo(*itB, c.fCaseB));
    const KVOCaseValueReader a(*itA, this->*c.fVarA, true);
    const KVOCaseValueReader b(*itB, this->*c.fVarB, false);
    EXPECT_EQ(a == b, c.fbEqual);
    EXPECT_EQ(b == a, c.fbEqual);
    EXPECT_EQ(a < b, c.fbLess);
    EXPECT_EQ(a.less(b), c.fbLess);
    EXPECT_EQ(b < a, c.fbGreater);
  }
}

}  // namespace
