// Fuzz target: the host's value formatting (ToString) over any format and
// any value, and VORMMBstrtrim_A on what it writes.
//
// Input: a format selector, the width (16 bits), the decimals, a value
// selector, then the value's bytes. The value gets exactly the cells its
// format reads and the output buffer exactly width + 1 bytes, so a read or
// write past either shows under AddressSanitizer.
//
// Properties: a refused format writes nothing; otherwise exactly `width`
// characters and a NUL. A string format shows the value's bytes (A: up to a
// NUL, blank padded; AHEX: hex digit pairs). A number shows "." for the
// system-missing value, fills the field with '*', or reads back within half
// a unit of the last digit it shows, right-aligned.
#include <vorm/Format.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "FuzzSupport.h"

namespace {

constexpr double INTERESTING[] = {0.0,
                                  -0.0,
                                  0.5,
                                  -0.5,
                                  1.0,
                                  -1.0,
                                  9.995,
                                  0.05,
                                  123456789.0,
                                  1e15,
                                  -1e15,
                                  1e300,
                                  -1e300,
                                  5e-324,
                                  VORM_SYSMIS,
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN()};

// The value as text read back; false when `text` is not a plain number.
// Read in long double: a value rounded up beyond the largest double (such
// as 1.797693134862316E+308) still reads as a number.
bool ReadNumber(const std::string& text, long double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtold(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

// The number of digits after the point in a fixed-point text.
int DecimalsShown(const std::string& text) {
  const size_t point = text.find('.');
  return point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
}

void CheckNumber(double value, int width, const std::string& shown) {
  FUZZ_CHECK(shown.back() != ' ');  // right-aligned
  const size_t first = shown.find_first_not_of(' ');
  FUZZ_CHECK(first != std::string::npos);
  const std::string text = shown.substr(first);
  if (value == VORM_SYSMIS) {
    FUZZ_CHECK(text == ".");
    return;
  }
  if (std::isnan(value) || std::isinf(value)) {
    FUZZ_CHECK(text == "NaN" || text == "Inf" || text == "-Inf" || text == std::string(width, '*'));
    return;
  }
  if (text == std::string(static_cast<size_t>(width), '*')) return;
  FUZZ_CHECK(text.find_first_not_of("0123456789.-+E") == std::string::npos);
  long double back = 0.0L;
  FUZZ_CHECK(ReadNumber(text, back));
  const long double error = std::fabs(back - static_cast<long double>(value));
  const long double slack = std::fabs(static_cast<long double>(value)) * 1e-15L;
  const size_t e = text.find('E');
  if (e == std::string::npos) {
    // Rounded to the decimals shown: within half a unit of the last digit.
    const long double unit = std::pow(10.0L, -DecimalsShown(text));
    FUZZ_CHECK(error <= 0.5L * unit * (1 + 1e-9L) + slack);
  } else {
    // Mantissa rounded to its decimals, scaled by the exponent shown.
    const int exponent = std::atoi(text.c_str() + e + 1);
    const long double unit = std::pow(10.0L, exponent - DecimalsShown(text.substr(0, e)));
    FUZZ_CHECK(error <= 0.5L * unit * (1 + 1e-9L) + slack);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvo_fuzz::FuzzBytes in(data, size);
  const uint8_t selector = in.Byte();
  static constexpr int TYPES[] = {VORM_Format::F, VORM_Format::E, VORM_Format::A, VORM_Format::AHEX};
  const int type = selector % 5 < 4 ? TYPES[selector % 5] : in.Byte();
  // Mostly widths that a format really has; now and then any 16 bits.
  const uint16_t rawWidth = in.U16();
  const int width = (selector & 0x80) != 0 ? rawWidth : rawWidth % 300;
  const int decimals = in.Byte();
  const VORM_Format format(type, width, decimals);

  // The value: exactly the cells the format reads.
  const bool isString = format.IsString();
  const size_t valueBytes = type == VORM_Format::A      ? static_cast<size_t>(width)
                            : type == VORM_Format::AHEX ? static_cast<size_t>(width) / 2
                                                        : sizeof(double);
  std::vector<OBS> value((valueBytes + 7) / 8 + (valueBytes == 0 ? 1 : 0));
  const uint8_t valueSelector = in.Byte();
  const size_t nInteresting = sizeof INTERESTING / sizeof INTERESTING[0];
  if (!isString && valueSelector < 2 * nInteresting) {
    value[0].num = INTERESTING[valueSelector % nInteresting];
  } else {
    const std::string_view bytes = in.Bytes(value.size() * sizeof(OBS));
    std::memcpy(value.data(), bytes.data(), bytes.size());
  }

  std::vector<char> buffer(static_cast<size_t>(width) + 1, '\x7f');
  const int result = ToString(value.data(), format, buffer.data());
  // The host shows any number in a numeric format 1 to 255 wide.
  if ((type == VORM_Format::F || type == VORM_Format::E) && width >= 1 && width <= 255)
    FUZZ_CHECK(result == 0);
  if (result != 0) {
    for (char c : buffer) FUZZ_CHECK(c == '\x7f');  // nothing written
    return 0;
  }
  FUZZ_CHECK(width >= 1);
  FUZZ_CHECK(buffer[static_cast<size_t>(width)] == '\0');
  FUZZ_CHECK(std::strlen(buffer.data()) == static_cast<size_t>(width));
  const std::string shown(buffer.data(), static_cast<size_t>(width));

  const char* bytes = reinterpret_cast<const char*>(value.data());
  if (type == VORM_Format::A) {
    const size_t length = strnlen(bytes, static_cast<size_t>(width));
    FUZZ_CHECK(shown == std::string(bytes, length) + std::string(static_cast<size_t>(width) - length, ' '));
  } else if (type == VORM_Format::AHEX) {
    FUZZ_CHECK(width % 2 == 0);
    static const char DIGITS[] = "0123456789ABCDEF";
    for (int i = 0; i < width / 2; ++i) {
      const unsigned char b = static_cast<unsigned char>(bytes[i]);
      FUZZ_CHECK(shown[2 * i] == DIGITS[b >> 4] && shown[2 * i + 1] == DIGITS[b & 0x0F]);
    }
  } else {
    FUZZ_CHECK(type == VORM_Format::F || type == VORM_Format::E);
    CheckNumber(value[0].num, width, shown);
  }

  // Trimming leaves the text between the first and last non-blank.
  const char* trimmed = VORMMBstrtrim_A(buffer.data());
  const size_t first = shown.find_first_not_of(' ');
  const std::string expected =
      first == std::string::npos ? "" : shown.substr(first, shown.find_last_not_of(' ') - first + 1);
  FUZZ_CHECK(expected == trimmed);
  return 0;
}
