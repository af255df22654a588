#include <gtest/gtest.h>
#include <vorm/Format.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

OBS Number(double value) {
  OBS obs;
  obs.num = value;
  return obs;
}

// Formats with a sentinel after the terminating NUL to catch overruns;
// returns the text, or "<n>" for a non-zero result.
std::string Show(const OBS* value, VORM_Format format) {
  std::vector<char> buffer(static_cast<size_t>(format.Width()) + 2, '#');
  const int result = ToString(value, format, buffer.data());
  EXPECT_EQ(buffer.back(), '#') << "wrote past width + 1";
  if (result != 0) return "<" + std::to_string(result) + ">";
  EXPECT_EQ(std::strlen(buffer.data()), static_cast<size_t>(format.Width()));
  return buffer.data();
}

std::string F(double value, int width, int decimals) {
  OBS obs = Number(value);
  return Show(&obs, VORM_Format(VORM_Format::F, width, decimals));
}

std::string E(double value, int width, int decimals) {
  OBS obs = Number(value);
  return Show(&obs, VORM_Format(VORM_Format::E, width, decimals));
}

TEST(FormatTest, FormatsFixedNumbersRightAlignedAndRounded) {
  EXPECT_EQ(F(1.1, 3, 1), "1.1");  // the decimal character sits second
  EXPECT_EQ(F(3.14159, 8, 2), "    3.14");
  EXPECT_EQ(F(-2.5, 8, 2), "   -2.50");
  EXPECT_EQ(F(1234.5678, 8, 2), " 1234.57");
  EXPECT_EQ(F(2.6, 5, 0), "    3");
  EXPECT_EQ(F(7, 1, 0), "7");
  EXPECT_EQ(F(-0.001, 5, 2), " 0.00");  // a rounded zero has no sign
  EXPECT_EQ(F(VORM_SYSMIS, 8, 2), "       .");
  EXPECT_EQ(F(VORM_SYSMIS, 1, 0), ".");
  EXPECT_EQ(F(std::numeric_limits<double>::quiet_NaN(), 5, 0), "  NaN");
  EXPECT_EQ(F(-std::numeric_limits<double>::infinity(), 2, 0), "**");
}

TEST(FormatTest, ShrinksFixedNumbersThatDoNotFit) {
  EXPECT_EQ(F(0.5, 4, 2), "0.50");
  EXPECT_EQ(F(0.5, 3, 2), ".50");  // leading zero dropped
  EXPECT_EQ(F(-0.25, 4, 2), "-.25");
  EXPECT_EQ(F(12345.678, 6, 2), " 12346");  // fewer decimals
  EXPECT_EQ(F(12345.678, 7, 2), "12345.7");
  EXPECT_EQ(F(1e20, 8, 2), "1.00E+20");  // too wide for fixed: E form
  EXPECT_EQ(F(123456, 4, 0), "****");    // fits neither
}

TEST(FormatTest, FormatsScientificNumbers) {
  EXPECT_EQ(E(150, 8, 2), "1.50E+02");
  EXPECT_EQ(E(12346, 10, 3), " 1.235E+04");
  EXPECT_EQ(E(-0.000125, 10, 2), " -1.25E-04");
  EXPECT_EQ(E(150, 6, 2), " 2E+02");  // decimals shrink to fit
  EXPECT_EQ(E(150, 3, 2), "***");
  EXPECT_EQ(E(VORM_SYSMIS, 4, 1), "   .");
}

TEST(FormatTest, FormatsStringsAndHex) {
  OBS cells[2];
  std::memcpy(cells, "abcdefghijklmnop", 16);
  EXPECT_EQ(Show(cells, VORM_Format(VORM_Format::A, 5, 0)), "abcde");
  EXPECT_EQ(Show(cells, VORM_Format(VORM_Format::A, 12, 0)), "abcdefghijkl");
  OBS shortText[2] = {};
  std::memcpy(shortText, "ab", 3);  // NUL ends the value
  EXPECT_EQ(Show(shortText, VORM_Format(VORM_Format::A, 10, 0)), "ab        ");
  EXPECT_EQ(Show(cells, VORM_Format(VORM_Format::AHEX, 4, 0)), "6162");
  OBS high;
  std::memcpy(high.str, "\xFF\x0A", 2);
  EXPECT_EQ(Show(&high, VORM_Format(VORM_Format::AHEX, 4, 0)), "FF0A");
}

TEST(FormatTest, RejectsFormatsItCannotShow) {
  OBS one = Number(1);
  char buffer[64];
  EXPECT_NE(ToString(nullptr, VORM_Format(VORM_Format::F, 8, 2), buffer), 0);
  EXPECT_NE(ToString(&one, VORM_Format(VORM_Format::F, 8, 2), nullptr), 0);
  EXPECT_EQ(Show(&one, VORM_Format(VORM_Format::AHEX, 3, 0)).front(), '<');  // odd hex width
  EXPECT_EQ(Show(&one, VORM_Format(9, 8, 0)).front(), '<');                  // unknown type
  EXPECT_EQ(Show(&one, VORM_Format(VORM_Format::F, 0, 0)).front(), '<');
}

TEST(FormatTest, TrimsBlanksAtBothEnds) {
  char text[] = "  a b  ";
  char* trimmed = VORMMBstrtrim_A(text);
  EXPECT_STREQ(trimmed, "a b");
  EXPECT_EQ(trimmed, text + 2);  // a pointer into the buffer
  EXPECT_EQ(text[5], '\0');
  char blanks[] = "   ";
  EXPECT_STREQ(VORMMBstrtrim_A(blanks), "");
  char empty[] = "";
  EXPECT_EQ(VORMMBstrtrim_A(empty), empty);
  char tab[] = "\tx ";
  EXPECT_STREQ(VORMMBstrtrim_A(tab), "\tx");  // only blanks are trimmed
  EXPECT_EQ(VORMMBstrtrim_A(nullptr), nullptr);
}

}  // namespace
