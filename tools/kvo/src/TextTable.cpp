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
