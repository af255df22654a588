// Helpers of the main-loop tests: a quiet host (messages and assertion
// reports are logged, not echoed), cases added from value lists, the
// assertion reports of one source, and small accessors of records.
#ifndef KVO_TESTS_MAINLOOP_MAINLOOPTESTSUPPORT_H
#define KVO_TESTS_MAINLOOP_MAINLOOPTESTSUPPORT_H

#include <standin/HostControl.h>
#include <standin/MemoryDataSource.h>
#include <vorm/Types.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <variant>
#include <vector>

namespace mainloop_test {

inline constexpr double SYSMIS = VORM_SYSMIS;

// Silences the host's echo of messages and assertion reports and clears
// both logs; restores the defaults when it goes.
class QuietHost {
 public:
  QuietHost() {
    standin::SetEchoMessages(false);
    standin::SetAssertHandler([](const standin::AssertReport&) {});
    standin::ClearMessages();
    standin::ClearAssertReports();
  }
  ~QuietHost() {
    standin::SetAssertHandler({});
    standin::SetEchoMessages(true);
  }
  QuietHost(const QuietHost&) = delete;
  QuietHost& operator=(const QuietHost&) = delete;
};

// The conditions reported so far by one source file.
inline std::vector<std::string> AssertsFrom(const std::string& source) {
  std::vector<std::string> conditions;
  for (const standin::AssertReport& report : standin::AssertReports()) {
    if (report.fSource == source) conditions.push_back(report.fCondition);
  }
  return conditions;
}

// One value of a case: a number or a string.
using Cell = std::variant<double, std::string>;

// Adds a case whose values are given in variable order (a number for a
// numeric variable, a text for a string variable); returns its row.
inline size_t AddRow(standin::MemoryDataSource& ds, std::initializer_list<Cell> values) {
  const size_t row = ds.AddCase();
  int index = 0;
  for (const Cell& value : values) {
    if (const double* number = std::get_if<double>(&value)) {
      ds.SetNumber(index, *number);
    } else {
      ds.SetString(index, std::get<std::string>(value));
    }
    ++index;
  }
  return row;
}

// A string value as key cells of a variable of the given width.
inline std::vector<OBS> StringCells(const std::string& text, int width) {
  std::vector<OBS> cells(static_cast<size_t>(VORM_CellCount(width)));
  std::string padded = text;
  padded.resize(cells.size() * sizeof(OBS), ' ');
  std::memcpy(cells.data(), padded.data(), padded.size());
  return cells;
}

inline OBS NumberCell(double value) {
  OBS cell;
  cell.num = value;
  return cell;
}

// The first `width` bytes of a string value.
inline std::string StringOf(const OBS* cells, int width) {
  return cells != nullptr ? std::string(reinterpret_cast<const char*>(cells), static_cast<size_t>(width))
                          : "";
}

}  // namespace mainloop_test

#endif  // KVO_TESTS_MAINLOOP_MAINLOOPTESTSUPPORT_H
