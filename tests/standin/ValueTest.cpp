#include <gtest/gtest.h>
#include <qor/Record.h>
#include <qor/Value.h>

namespace {

using QorCommon::QorMV;
using QorCommon::QorStatus;
using QorCommon::Value;
using QorCommon::ValueRecord;

TEST(ValueTest, HoldsANumberOrAText) {
  Value none;
  EXPECT_FALSE(none.IsString());
  EXPECT_TRUE(QorMV::IsMissing(none.GetNumber()));

  Value number(2.5);
  EXPECT_FALSE(number.IsString());
  EXPECT_EQ(number.GetNumber(), 2.5);
  double& cell = number;  // writable through the conversion
  cell = 7.0;
  EXPECT_EQ(number.GetNumber(), 7.0);

  Value text("abc");
  EXPECT_TRUE(text.IsString());
  EXPECT_EQ(text.GetString(), "abc");
  EXPECT_TRUE(QorMV::IsMissing(text.GetNumber()));
  EXPECT_EQ(Value(static_cast<const char*>(nullptr)).GetString(), "");

  text = 4.0;
  EXPECT_FALSE(text.IsString());
  EXPECT_EQ(text.GetString(), "");
  EXPECT_EQ(text.GetNumber(), 4.0);
  number = std::string("xyz");
  EXPECT_TRUE(number.IsString());
  EXPECT_EQ(number.GetString(), "xyz");
  EXPECT_TRUE(QorMV::IsMissing(number.GetNumber()));
}

TEST(ValueTest, RecordKeepsNamedValuesInOrder) {
  ValueRecord record(2);
  EXPECT_EQ(record.Size(), 0);
  record.AddValue("age", Value(31.0));
  record.AddValue("city", Value(""));
  ASSERT_EQ(record.Size(), 2);
  EXPECT_EQ(record.GetName(0), "age");
  EXPECT_EQ(record.GetName(1), "city");
  EXPECT_EQ(record[0].GetNumber(), 31.0);
  EXPECT_TRUE(record[1].IsString());
  record[1] = std::string("Bern");
  record[0] = 32.0;
  const ValueRecord& view = record;
  EXPECT_EQ(view[1].GetString(), "Bern");
  EXPECT_EQ(static_cast<double>(record[0]), 32.0);
  record.Clear();
  EXPECT_EQ(record.Size(), 0);
}

TEST(ValueTest, StatusIsAnErrorOnlyWhenMadeOne) {
  EXPECT_FALSE(QorStatus().IsError());
  EXPECT_EQ(QorStatus().GetMessage(), "");
  const QorStatus error = QorStatus::Error("no such input");
  EXPECT_TRUE(error.IsError());
  EXPECT_EQ(error.GetMessage(), "no such input");
}

}  // namespace
