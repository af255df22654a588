// A record iterator over records held in memory, for feeding FillDataFile
// and the sort: hands out each stored record once, then reports the given
// final fail reason (1 for a normal end, 3 for a broken source). One thread;
// owns copies of its records.
#ifndef KVO_TESTS_SUPPORT_RECORDLISTITER_H
#define KVO_TESTS_SUPPORT_RECORDLISTITER_H

#include <qor/Record.h>

#include <vector>

namespace kvo_test {

class RecordListIter : public QorCommon::RecordIterator {
 public:
  RecordListIter(const std::vector<std::vector<double>>& rows, int recordSize, int finalFailReason = 1)
      : fRows(rows), fRecord(recordSize), fFinalFailReason(finalFailReason) {}
  RecordListIter(const RecordListIter&) = delete;
  RecordListIter& operator=(const RecordListIter&) = delete;

  bool HasMore() const override { return fNext < fRows.size(); }
  const QorCommon::Record* Next() override {
    if (!HasMore()) return nullptr;
    const std::vector<double>& row = fRows[fNext++];
    for (int i = 0; i < fRecord.GetSize(); ++i) fRecord.GetAll()[i] = row[static_cast<size_t>(i)];
    return &fRecord;
  }
  int GetFailReason() const override { return HasMore() ? 0 : fFinalFailReason; }

 private:
  std::vector<std::vector<double>> fRows;
  QorCommon::Record fRecord;
  size_t fNext = 0;
  int fFinalFailReason;
};

}  // namespace kvo_test

#endif  // KVO_TESTS_SUPPORT_RECORDLISTITER_H
