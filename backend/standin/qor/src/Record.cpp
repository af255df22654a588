#include <qor/Record.h>

#include <algorithm>

namespace QorCommon {

Record::Record(int size) : fpValues(nullptr), fSize(size > 0 ? size : 0) {
  fpValues = new double[static_cast<size_t>(fSize) + 1]();  // never a zero-sized array
}

Record::Record(const Record& other) : Record(other.fSize) {
  std::copy(other.fpValues, other.fpValues + fSize, fpValues);
}

Record& Record::operator=(const Record& other) {
  if (this == &other) return *this;
  if (other.fSize != fSize) {
    double* values = new double[static_cast<size_t>(other.fSize) + 1]();
    delete[] fpValues;
    fpValues = values;
    fSize = other.fSize;
  }
  std::copy(other.fpValues, other.fpValues + fSize, fpValues);
  return *this;
}

Record::~Record() { delete[] fpValues; }

}  // namespace QorCommon
