// Small helpers of the record-layout and value-adapter tests: iterators over
// an in-memory data source, on top of the shared cell and host-log helpers.
#ifndef KVO_TESTS_LAYOUT_LAYOUTTESTSUPPORT_H
#define KVO_TESTS_LAYOUT_LAYOUTTESTSUPPORT_H

#include <vorm/ProcedureDataSource.h>

#include <memory>

#include "standin/MemoryDataSource.h"
#include "support/Cells.h"
#include "support/HostLog.h"

namespace specs_test {

using kvotest::Bytes;
using kvotest::Join;
using kvotest::NumCells;
using kvotest::StrCells;

inline constexpr double SYSMIS = VORM_SYSMIS;

// A new iterator over the data source's cases; the caller owns it.
inline std::unique_ptr<ProcDSIterator> NewIterator(ProcedureDataSource& dataSource) {
  return std::unique_ptr<ProcDSIterator>(dynamic_cast<ProcDSIterator*>(dataSource.NewCaseIterator(0)));
}

// Moves `iterator` on by n cases.
inline bool MoveTo(ProcDSIterator& iterator, int n) {
  for (int i = 0; i < n; ++i) {
    if (iterator.NextCase() == 0) return false;
  }
  return true;
}

}  // namespace specs_test

#endif  // KVO_TESTS_LAYOUT_LAYOUTTESTSUPPORT_H
