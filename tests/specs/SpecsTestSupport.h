// Small helpers of the specification and value-adapter tests: iterators over
// an in-memory data source, key cells built from values, and an assertion
// collector.
#ifndef KVO_TESTS_SPECS_SPECSTESTSUPPORT_H
#define KVO_TESTS_SPECS_SPECSTESTSUPPORT_H

#include <vorm/ProcedureDataSource.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "standin/HostControl.h"
#include "standin/MemoryDataSource.h"

namespace specs_test {

inline constexpr double SYSMIS = -1.7976931348623157e308;

// A new iterator over the data source's cases; the caller owns it.
inline std::unique_ptr<ProcDSIterator> NewIterator(ProcedureDataSource& dataSource) {
  return std::unique_ptr<ProcDSIterator>(dynamic_cast<ProcDSIterator*>(dataSource.NewCaseIterator(0)));
}

// Moves `iterator` to its n-th case (1-based) from the start of a pass.
inline bool MoveTo(ProcDSIterator& iterator, int n) {
  for (int i = 0; i < n; ++i) {
    if (iterator.NextCase() == 0) return false;
  }
  return true;
}

// Key cells of a number, or of a string blank padded to `width` bytes
// (max(1, (width + 7) / 8) cells, the unused bytes of the last cell blank).
inline std::vector<OBS> NumCells(double value) {
  OBS cell;
  cell.num = value;
  return {cell};
}
inline std::vector<OBS> StrCells(const std::string& value, int width) {
  const size_t cells = width <= 8 ? 1 : static_cast<size_t>(width + 7) / 8;
  std::vector<OBS> key(cells);
  std::string padded = value;
  padded.resize(cells * 8, ' ');
  std::memcpy(key.data(), padded.data(), cells * 8);
  return key;
}
// Keys of several variables laid end to end.
inline std::vector<OBS> Join(std::initializer_list<std::vector<OBS>> parts) {
  std::vector<OBS> key;
  for (const std::vector<OBS>& part : parts) key.insert(key.end(), part.begin(), part.end());
  return key;
}
inline std::string Bytes(const OBS* cells, int width) {
  return std::string(reinterpret_cast<const char*>(cells), static_cast<size_t>(width));
}

// Collects the assertion reports made while it lives; the operation under
// test goes on after each report.
class AssertCollector {
 public:
  AssertCollector() {
    standin::SetAssertHandler([this](const standin::AssertReport& report) { fReports.push_back(report); });
  }
  ~AssertCollector() { standin::SetAssertHandler({}); }
  AssertCollector(const AssertCollector&) = delete;
  AssertCollector& operator=(const AssertCollector&) = delete;

  const std::vector<standin::AssertReport>& Reports() const { return fReports; }
  // The condition texts reported, in order.
  std::vector<std::string> Conditions() const {
    std::vector<std::string> texts;
    for (const standin::AssertReport& report : fReports) texts.push_back(report.fCondition);
    return texts;
  }

 private:
  std::vector<standin::AssertReport> fReports;
};

}  // namespace specs_test

#endif  // KVO_TESTS_SPECS_SPECSTESTSUPPORT_H
