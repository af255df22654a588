#include "TextTable.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace kvo {

size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++width;  // count every byte but continuation bytes
  }
  return width;
}

namespace {

// The length of the well-formed UTF-8 character at `at` (no overlong forms,
// no surrogates, nothing above U+10FFFF), or 0 when none starts there.
size_t Utf8CharacterAt(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length || byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if ((byte(at + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

std::string ValidUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8CharacterAt(text, at);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      ++at;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  return out;
}

std::string GroupDigits(int64_t value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back(',');
    grouped.push_back(digits[i]);
  }
  return value < 0 ? "-" + grouped : grouped;
}

std::string WeightedText(double value) {
  if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9e15) {
    return GroupDigits(static_cast<int64_t>(value));
  }
  std::string text = fmt::format("{:.2f}", value);
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

std::string ShortestText(double value) { return fmt::format("{}", value); }

std::string TextTable::Render(const std::string& indent) const {
  std::vector<size_t> widths;
  for (const std::vector<std::string>& row : fvRows) {
    if (row.size() > widths.size()) widths.resize(row.size(), 0);
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
  }
  std::string out;
  for (const std::vector<std::string>& row : fvRows) {
    std::string line = indent;
    for (size_t c = 0; c < row.size(); ++c) {
      if (c > 0) line += "  ";
      const size_t pad = widths[c] - DisplayWidth(row[c]);
      const bool right = c < fvRight.size() && fvRight[c];
      if (right) line.append(pad, ' ');
      line += row[c];
      if (!right) line.append(pad, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

}  // namespace kvo
