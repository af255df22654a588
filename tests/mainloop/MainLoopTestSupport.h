// Helpers of the main-loop tests: cases added from value lists, on top of the
// shared host log and cell helpers.
#ifndef KVO_TESTS_MAINLOOP_MAINLOOPTESTSUPPORT_H
#define KVO_TESTS_MAINLOOP_MAINLOOPTESTSUPPORT_H

#include <standin/MemoryDataSource.h>
#include <vorm/Types.h>

#include <initializer_list>
#include <string>
#include <variant>

#include "support/Cells.h"
#include "support/HostLog.h"

namespace mainloop_test {

inline constexpr double SYSMIS = VORM_SYSMIS;

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

}  // namespace mainloop_test

#endif  // KVO_TESTS_MAINLOOP_MAINLOOPTESTSUPPORT_H
