// UTF-8 well-formedness, shared by the host and the component stand-ins
// (compiled into each; not installed).
#ifndef STANDIN_COMMON_UTF8_H
#define STANDIN_COMMON_UTF8_H

#include <cstddef>
#include <string_view>

namespace standin_common {
namespace {

// The length of the well-formed UTF-8 character that starts at `at` (no
// overlong forms, no surrogates, nothing above U+10FFFF), or 0 when none
// does.
inline size_t Utf8CharacterLength(std::string_view text, size_t at) {
  const unsigned char b = static_cast<unsigned char>(text[at]);
  if (b < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) low = 0xA0;   // overlong
    if (b == 0xED) high = 0x9F;  // surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) low = 0x90;   // overlong
    if (b == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  const unsigned char second = static_cast<unsigned char>(text[at + 1]);
  if (second < low || second > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// The offset of the first byte that does not belong to well-formed UTF-8,
// or npos.
inline size_t FirstInvalidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = Utf8CharacterLength(text, i);
    if (length == 0) return i;
    i += length;
  }
  return std::string_view::npos;
}

}  // namespace
}  // namespace standin_common

#endif  // STANDIN_COMMON_UTF8_H
