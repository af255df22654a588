#include <gtest/gtest.h>
#include <vorm/Utility.h>

#include <string>

#include "standin/HostControl.h"

namespace {

// Converters for one host encoding; the host encoding goes back to UTF-8
// after each test.
class CodePageTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (void* c : fConverters) VORMMBConverterDelete_A(c);
    standin::SetHostEncoding("UTF-8");
  }
  void* Make(const std::string& encoding) {
    standin::SetHostEncoding(encoding);
    void* converter = VORMMBConverterNew_A(nullptr);
    if (converter) fConverters.push_back(converter);
    return converter;
  }
  std::vector<void*> fConverters;
};

TEST_F(CodePageTest, Latin1RoundTripsEveryPrintableByte) {
  void* c = Make("ISO-8859-1");
  ASSERT_NE(c, nullptr);
  std::string u8;
  ASSERT_EQ(VORMMBGenericToU8(c, u8, "Caf\xE9 \xC4pfel"), 0);
  EXPECT_EQ(u8, "Caf\xC3\xA9 \xC3\x84pfel");

  std::string all;
  for (int b = 0x20; b <= 0xFF; ++b) all += static_cast<char>(b);
  std::string back;
  ASSERT_EQ(VORMMBGenericToU8(c, u8, all), 0);
  EXPECT_EQ(u8.size(), 0x60u + 2 * 0x80u);  // ASCII one byte each, the upper half two
  ASSERT_EQ(VORMMBU8ToGeneric(c, back, u8), 0);
  EXPECT_EQ(back, all);

  // The euro sign has no Latin-1 byte.
  EXPECT_NE(VORMMBU8ToGeneric(c, back, "\xE2\x82\xAC"), 0);
  // Broken UTF-8 is refused on the way in.
  EXPECT_NE(VORMMBU8ToGeneric(c, back, "a\xC3"), 0);
  EXPECT_NE(VORMMBU8ToGeneric(c, back, "\xFF\xFE"), 0);
}

TEST_F(CodePageTest, Cp1252MapsItsUpperRangeAndRefusesUndefinedBytes) {
  void* c = Make("CP1252");
  ASSERT_NE(c, nullptr);
  std::string u8, back;
  ASSERT_EQ(VORMMBGenericToU8(c, u8, "\x80 \x93hi\x94 \xE9"), 0);
  EXPECT_EQ(u8, "\xE2\x82\xAC \xE2\x80\x9Chi\xE2\x80\x9D \xC3\xA9");
  ASSERT_EQ(VORMMBU8ToGeneric(c, back, u8), 0);
  EXPECT_EQ(back, "\x80 \x93hi\x94 \xE9");
  // 0x81 is not a CP1252 character.
  EXPECT_NE(VORMMBGenericToU8(c, u8, "ab\x81"), 0);
  // A character outside the code page cannot go back.
  EXPECT_NE(VORMMBU8ToGeneric(c, back, "\xE4\xB8\xAD"), 0);
  // The code page's other name makes the same converter.
  void* alias = Make("Windows-1252");
  ASSERT_NE(alias, nullptr);
  ASSERT_EQ(VORMMBGenericToU8(alias, u8, "\x80"), 0);
  EXPECT_EQ(u8, "\xE2\x82\xAC");
  // A converter is reusable after a failure.
  ASSERT_EQ(VORMMBGenericToU8(c, u8, "\x80"), 0);
  EXPECT_EQ(u8, "\xE2\x82\xAC");
  ASSERT_EQ(VORMMBGenericToU8(c, u8, ""), 0);
  EXPECT_EQ(u8, "");
}

TEST_F(CodePageTest, Utf8HostPassesValidTextAndRefusesInvalidSequences) {
  void* c = Make("UTF-8");
  ASSERT_NE(c, nullptr);
  std::string out;
  ASSERT_EQ(VORMMBGenericToU8(c, out, "\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80"), 0);
  EXPECT_EQ(out, "\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80");
  ASSERT_EQ(VORMMBU8ToGeneric(c, out, "plain"), 0);
  EXPECT_EQ(out, "plain");
  for (const char* bad :
       {"\xC3\x28", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "abc\xE2\x82", "\x80"}) {
    EXPECT_NE(VORMMBGenericToU8(c, out, bad), 0) << bad;
    EXPECT_NE(VORMMBU8ToGeneric(c, out, bad), 0) << bad;
  }
}

TEST_F(CodePageTest, ConverterKeepsTheEncodingItWasMadeWith) {
  void* latin1 = Make("ISO-8859-1");
  ASSERT_NE(latin1, nullptr);
  standin::SetHostEncoding("UTF-8");
  EXPECT_EQ(standin::HostEncoding(), "UTF-8");
  std::string out;
  ASSERT_EQ(VORMMBGenericToU8(latin1, out, "\xE9"), 0);
  EXPECT_EQ(out, "\xC3\xA9");
}

TEST_F(CodePageTest, NullOrUnknownConverterFails) {
  std::string out;
  EXPECT_NE(VORMMBGenericToU8(nullptr, out, "a"), 0);
  EXPECT_NE(VORMMBU8ToGeneric(nullptr, out, "a"), 0);
  EXPECT_EQ(Make("NO-SUCH-ENCODING-42"), nullptr);
  VORMMBConverterDelete_A(nullptr);  // harmless
}

}  // namespace
