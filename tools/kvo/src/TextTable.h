// A small text table for the readable reports: rows of cells, each column as
// wide as its widest cell (counted in UTF-8 characters), numbers aligned
// right. Plain value; any thread.
#ifndef KVO_TOOL_TEXTTABLE_H
#define KVO_TOOL_TEXTTABLE_H

#include <cstdint>
#include <string>
#include <vector>

namespace kvo {

class TextTable {
 public:
  // `rightAligned` has one flag per column (missing flags mean left).
  explicit TextTable(std::vector<bool> rightAligned = {}) : fvRight(std::move(rightAligned)) {}
  TextTable(const TextTable&) = default;
  TextTable& operator=(const TextTable&) = default;

  void AddRow(std::vector<std::string> cells) { fvRows.push_back(std::move(cells)); }
  bool Empty() const { return fvRows.empty(); }
  // The rows, each line starting with `indent` and ending in '\n'; columns
  // are two blanks apart and trailing blanks are cut.
  std::string Render(const std::string& indent) const;

 private:
  std::vector<bool> fvRight;
  std::vector<std::vector<std::string>> fvRows;
};

// Characters (not bytes) of a UTF-8 text.
size_t DisplayWidth(const std::string& text);
// `text` with each byte that is not part of well-formed UTF-8 replaced by
// U+FFFD and everything else kept, so that texts differing elsewhere stay
// apart: how the program writes host text it cannot take as UTF-8.
std::string ValidUtf8(const std::string& text);
// A count with thousands separators: 1234567 gives "1,234,567".
std::string GroupDigits(int64_t value);
// A weighted count: whole numbers as counts, others with up to two decimals.
std::string WeightedText(double value);
// The shortest text that reads back as the same double.
std::string ShortestText(double value);

}  // namespace kvo

#endif  // KVO_TOOL_TEXTTABLE_H
