// The modeling component of kvo, kept small as an example of what a
// component does with what a host procedure hands it: it pulls records from
// a record iterator until HasMore() is false, asks its cancel object every
// so often whether to stop (on a time-out or Ctrl-C that call leaves the
// procedure through the host's interruption handling), and writes the
// records it receives into a record file. One thread; borrows the cancel
// object, the iterators and the files it is given.
#ifndef KVO_TOOL_RECORDCOPYCOMPONENT_H
#define KVO_TOOL_RECORDCOPYCOMPONENT_H

#include <kvoadapter/KVODataFileIter.h>
#include <qor/Record.h>
#include <qor/Services.h>

#include <cstdint>
#include <functional>

#include "Options.h"
#include "SlotStatistics.h"

namespace kvo {

class RecordCopyComponent {
 public:
  // Records between two questions to the cancel object.
  static constexpr int64_t POLL_EVERY = 1024;

  // `onProgress` (may be empty) is called with every question to `cancel`.
  // REQUIRES: `cancel` outlives the component.
  RecordCopyComponent(QorCommon::QorQueryCancel& cancel, std::function<void()> onProgress);
  RecordCopyComponent(const RecordCopyComponent&) = delete;
  RecordCopyComponent& operator=(const RecordCopyComponent&) = delete;

  // Reads every record the iterator offers in this pass or split group and
  // keeps none (the partitioning adapter files them itself); adds each to
  // `statistics` when given and completes them. Returns the number of
  // records.
  int64_t Read(QorCommon::RecordIterator& records, SlotStatistics* statistics = nullptr);

  // Writes every record the iterator offers into `file` (in key order when
  // it is a sorting iterator) and adds each to `statistics`; completes the
  // file. Returns the number of records. False in `ok` when the records or
  // the file failed (an empty file is not a failure).
  int64_t Write(QorCommon::RecordIterator& records, KVODataFileIter& file, SlotStatistics& statistics,
                bool& ok);

  // Writes a completed record file out in `format` (RecordFiles.h); false,
  // with errno set and no file left, when it could not be written whole.
  static bool Export(KVODataFileIter& file, RecordFormat format, const std::vector<std::string>& slotNames,
                     const std::string& path);

 private:
  class Watched;
  // Called for every record: asks the cancel object every POLL_EVERY records.
  void Pace();

  QorCommon::QorQueryCancel* fpCancel;
  std::function<void()> fOnProgress;
  int64_t fRecords = 0;
};

}  // namespace kvo

#endif  // KVO_TOOL_RECORDCOPYCOMPONENT_H
