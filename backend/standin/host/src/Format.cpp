// Value formatting of the stand-in host. The decimal character is '.' unless
// a test sets another (standin::SetDecimalCharacter), as a host running in a
// locale with a decimal comma would.
//
// F w.d: the number rounded to d decimals (the C library's rounding of the
//   binary value), right-aligned in w. When it does not fit, fewer decimals
//   are shown, then the leading zero of a fraction is dropped ("0.5" ->
//   ".5"), then the E form is tried; a number that fits none of these fills
//   the field with '*'. A rounded zero loses its minus sign.
// E w.d: mantissa with d decimals, 'E', sign and at least two exponent digits
//   ("1.50E+02" for 150 in E8.2), right-aligned; decimals shrink to fit, else
//   '*' fill.
// Both numeric formats show the system-missing value as "." right-aligned,
//   and NaN and infinities as "NaN", "Inf", "-Inf".
// A w: the first w bytes of the value; a NUL ends the value early and the
//   rest is blank.
// AHEX w: w / 2 bytes as upper-case hex digit pairs; w must be even.
// Width limits: 1..255 for F and E, 1..32767 for A, 2..32766 for AHEX.
#include <vorm/Format.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "standin/HostControl.h"

namespace {

std::atomic<char> gDecimalCharacter{'.'};

constexpr int MAX_NUMERIC_WIDTH = 255;
constexpr int MAX_STRING_WIDTH = 32767;
// Enough for any %.*f of a double with up to MAX_NUMERIC_WIDTH decimals.
constexpr size_t SCRATCH = 320 + MAX_NUMERIC_WIDTH;

void RightAlign(const char* text, size_t length, int width, char* buffer) {
  const size_t w = static_cast<size_t>(width);
  std::memset(buffer, ' ', w - length);
  std::memcpy(buffer + (w - length), text, length);
  buffer[w] = '\0';
}

void StarFill(int width, char* buffer) {
  std::memset(buffer, '*', static_cast<size_t>(width));
  buffer[width] = '\0';
}

// "-0.00" and the like become "0.00".
void DropNegativeZero(char* text) {
  if (text[0] != '-') return;
  for (const char* p = text + 1; *p != '\0'; ++p) {
    if (*p != '0' && *p != '.') return;
  }
  std::memmove(text, text + 1, std::strlen(text));
}

// Writes the special values; false for an ordinary number.
bool FormatSpecial(double value, int width, char* buffer) {
  const char* text = nullptr;
  if (value == VORM_SYSMIS) {
    text = ".";
  } else if (std::isnan(value)) {
    text = "NaN";
  } else if (std::isinf(value)) {
    text = value > 0 ? "Inf" : "-Inf";
  } else {
    return false;
  }
  const size_t length = std::strlen(text);
  if (length > static_cast<size_t>(width)) {
    StarFill(width, buffer);
  } else {
    RightAlign(text, length, width, buffer);
  }
  return true;
}

bool TryScientific(double value, int width, int decimals, char* buffer) {
  char text[SCRATCH];
  for (int d = std::min(decimals, width); d >= 0; --d) {
    const int length = std::snprintf(text, sizeof text, "%.*E", d, value);
    if (length > 0 && length <= width) {
      RightAlign(text, static_cast<size_t>(length), width, buffer);
      return true;
    }
  }
  return false;
}

void FormatFixed(double value, int width, int decimals, char* buffer) {
  if (FormatSpecial(value, width, buffer)) return;
  char text[SCRATCH];
  for (int d = std::min(decimals, width); d >= 0; --d) {
    int length = std::snprintf(text, sizeof text, "%.*f", d, value);
    if (length <= 0) break;
    DropNegativeZero(text);
    length = static_cast<int>(std::strlen(text));
    if (length <= width) {
      RightAlign(text, static_cast<size_t>(length), width, buffer);
      return;
    }
    // "0.5" -> ".5", "-0.5" -> "-.5"
    char* zero = text[0] == '-' ? text + 1 : text;
    if (zero[0] == '0' && zero[1] == '.' && length - 1 <= width) {
      std::memmove(zero, zero + 1, std::strlen(zero));
      RightAlign(text, static_cast<size_t>(length - 1), width, buffer);
      return;
    }
  }
  if (!TryScientific(value, width, decimals, buffer)) StarFill(width, buffer);
}

// Shows the decimal point of a formatted number as the host's decimal
// character; the system-missing value's "." is not a decimal point.
void UseDecimalCharacter(double value, char* buffer) {
  const char decimal = gDecimalCharacter.load(std::memory_order_relaxed);
  if (decimal == '.' || value == VORM_SYSMIS) return;
  if (char* point = std::strchr(buffer, '.')) *point = decimal;
}

void FormatScientific(double value, int width, int decimals, char* buffer) {
  if (FormatSpecial(value, width, buffer)) return;
  if (!TryScientific(value, width, decimals, buffer)) StarFill(width, buffer);
}

void FormatString(const OBS* value, int width, char* buffer) {
  const char* bytes = reinterpret_cast<const char*>(value);
  const size_t w = static_cast<size_t>(width);
  const void* nul = std::memchr(bytes, '\0', w);
  const size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - bytes) : w;
  std::memcpy(buffer, bytes, length);
  std::memset(buffer + length, ' ', w - length);
  buffer[w] = '\0';
}

void FormatHex(const OBS* value, int width, char* buffer) {
  static const char DIGITS[] = "0123456789ABCDEF";
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(value);
  for (int i = 0; i < width / 2; ++i) {
    buffer[2 * i] = DIGITS[bytes[i] >> 4];
    buffer[2 * i + 1] = DIGITS[bytes[i] & 0x0F];
  }
  buffer[width] = '\0';
}

}  // namespace

namespace standin {

void SetDecimalCharacter(char decimal) { gDecimalCharacter.store(decimal, std::memory_order_relaxed); }

}  // namespace standin

int ToString(const OBS* value, const VORM_Format& format, char* buffer) {
  if (value == nullptr || buffer == nullptr) return 1;
  const int width = format.Width();
  switch (format.Type()) {
    case VORM_Format::F:
      if (width < 1 || width > MAX_NUMERIC_WIDTH) return 2;
      FormatFixed(value->num, width, format.Decimals(), buffer);
      UseDecimalCharacter(value->num, buffer);
      return 0;
    case VORM_Format::E:
      if (width < 1 || width > MAX_NUMERIC_WIDTH) return 2;
      FormatScientific(value->num, width, format.Decimals(), buffer);
      UseDecimalCharacter(value->num, buffer);
      return 0;
    case VORM_Format::A:
      if (width < 1 || width > MAX_STRING_WIDTH) return 2;
      FormatString(value, width, buffer);
      return 0;
    case VORM_Format::AHEX:
      if (width < 2 || width > MAX_STRING_WIDTH || width % 2 != 0) return 2;
      FormatHex(value, width, buffer);
      return 0;
    default:
      return 3;
  }
}

char* VORMMBstrtrim_A(char* text) {
  if (text == nullptr) return nullptr;
  size_t length = std::strlen(text);
  while (length > 0 && text[length - 1] == ' ') --length;
  text[length] = '\0';
  char* start = text;
  while (*start == ' ') ++start;
  return start;
}
