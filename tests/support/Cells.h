// Host values as cells, for building keys and reading stored values: a
// number in one cell, a string blank padded over whole cells, keys of several
// variables laid end to end, and the bytes of a string value. Header only.
#ifndef KVO_TESTS_SUPPORT_CELLS_H
#define KVO_TESTS_SUPPORT_CELLS_H

#include <vorm/Types.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace kvotest {

inline std::vector<OBS> NumCells(double value) {
  std::vector<OBS> cells(1);
  cells[0].num = value;
  return cells;
}

// `text` blank padded to `width` bytes, in the cells a string of that width takes.
inline std::vector<OBS> StrCells(const std::string& text, int width) {
  std::vector<OBS> cells(static_cast<size_t>(VORM_CellCount(width)));
  std::string padded = text;
  padded.resize(cells.size() * sizeof(OBS), ' ');
  std::memcpy(static_cast<void*>(cells.data()), padded.data(), padded.size());
  return cells;
}

inline std::vector<OBS> Join(std::initializer_list<std::vector<OBS>> parts) {
  std::vector<OBS> key;
  for (const std::vector<OBS>& part : parts) key.insert(key.end(), part.begin(), part.end());
  return key;
}

// The first `width` bytes of a string value ("" for none).
inline std::string Bytes(const OBS* cells, int width) {
  return cells != nullptr ? std::string(reinterpret_cast<const char*>(cells), static_cast<size_t>(width))
                          : "";
}

}  // namespace kvotest

#endif  // KVO_TESTS_SUPPORT_CELLS_H
