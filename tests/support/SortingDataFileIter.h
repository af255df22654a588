// A sorting KVODataFileIter without an input adapter: opens the protected
// constructor that takes the record size, the sort keys and the sort
// parameter. Same thread and ownership rules as KVODataFileIter.
#ifndef KVO_TESTS_SUPPORT_SORTINGDATAFILEITER_H
#define KVO_TESTS_SUPPORT_SORTINGDATAFILEITER_H

#include <kvoadapter/KVODataFileIter.h>

#include <vector>

namespace kvo_test {

class SortingDataFileIter : public KVODataFileIter {
 public:
  SortingDataFileIter(int recordSize, const std::vector<int>& sortKeys, int sortParam = -1)
      : KVODataFileIter(recordSize, sortKeys, sortParam) {}
};

}  // namespace kvo_test

#endif  // KVO_TESTS_SUPPORT_SORTINGDATAFILEITER_H
