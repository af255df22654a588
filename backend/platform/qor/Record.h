// Records of doubles and the record-iterator interfaces of the modeling
// components. A record is used by one thread at a time.
#ifndef QOR_RECORD_H
#define QOR_RECORD_H

#include <limits>

namespace QorCommon {

// A fixed-length array of doubles. Copies copy the values.
class Record {
 public:
  explicit Record(int size);
  Record(const Record& other);
  Record& operator=(const Record& other);
  ~Record();
  // The values; the array is stable for the record's life.
  double* GetAll() { return fpValues; }
  const double* GetAll() const { return fpValues; }
  int GetSize() const { return fSize; }

 private:
  double* fpValues;
  int fSize;
};

// Category codes of the components.
struct CatVarValue {
  static constexpr int MISSING = -1;   // missing value of a categorical variable
  static constexpr int MIN_VALUE = 0;  // the minimum categorical variable value
};

// The components' missing value: the most negative finite double.
struct QorMV {
  static constexpr double MISSING = -std::numeric_limits<double>::max();
  static constexpr bool IsMissing(double value) { return value == MISSING; }
};

class RecordIterator {
 public:
  virtual ~RecordIterator() = default;
  virtual bool HasMore() const = 0;
  // The next record, or null when there is none. Owned by the iterator.
  virtual const Record* Next() = 0;
  // 0 a record is available; 1 no record in this pass or split group; 3 the
  // pass cannot be read.
  virtual int GetFailReason() const = 0;
};

class MultiPassRecordIter : public RecordIterator {
 public:
  // Restarts at the first record; returns the fail reason afterwards.
  virtual int NewPass() = 0;
};

}  // namespace QorCommon

#endif  // QOR_RECORD_H
