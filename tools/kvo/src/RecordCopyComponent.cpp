#include "RecordCopyComponent.h"

#include "RecordFiles.h"

namespace kvo {

// Hands on the records of another iterator and looks at each one on its way
// into the record file: the file's own copy loop or its sort pulls them.
class RecordCopyComponent::Watched : public QorCommon::RecordIterator {
 public:
  Watched(QorCommon::RecordIterator& source, RecordCopyComponent& component, SlotStatistics& statistics)
      : fpSource(&source), fpComponent(&component), fpStatistics(&statistics) {}
  Watched(const Watched&) = delete;
  Watched& operator=(const Watched&) = delete;

  bool HasMore() const override { return fpSource->HasMore(); }
  int GetFailReason() const override { return fpSource->GetFailReason(); }
  const QorCommon::Record* Next() override {
    fpComponent->Pace();
    const QorCommon::Record* record = fpSource->Next();
    if (record != nullptr) {
      fpStatistics->Add(record->GetAll());
      ++fCount;
    }
    return record;
  }
  int64_t Count() const { return fCount; }

 private:
  QorCommon::RecordIterator* fpSource;
  RecordCopyComponent* fpComponent;
  SlotStatistics* fpStatistics;
  int64_t fCount = 0;
};

RecordCopyComponent::RecordCopyComponent(QorCommon::QorQueryCancel& cancel, std::function<void()> onProgress)
    : fpCancel(&cancel), fOnProgress(std::move(onProgress)) {}

void RecordCopyComponent::Pace() {
  if (fRecords++ % POLL_EVERY != 0) return;
  if (fOnProgress) fOnProgress();
  // Returns false while the run may go on; a time-out or an interruption
  // leaves through the host's interruption handling instead of returning.
  fpCancel->GetCancel();
}

int64_t RecordCopyComponent::Read(QorCommon::RecordIterator& records, SlotStatistics* statistics) {
  int64_t count = 0;
  while (records.HasMore()) {
    Pace();
    const QorCommon::Record* record = records.Next();
    if (record == nullptr) continue;
    ++count;
    if (statistics != nullptr) statistics->Add(record->GetAll());
  }
  if (statistics != nullptr) statistics->Complete();
  return count;
}

int64_t RecordCopyComponent::Write(QorCommon::RecordIterator& records, KVODataFileIter& file,
                                   SlotStatistics& statistics, bool& ok) {
  Watched watched(records, *this, statistics);
  const bool filled = file.FillDataFile(watched);
  statistics.Complete();
  // A file without records completes as a failure; that is only an empty
  // group here. A failing source (fail reason 3) is a real one.
  ok = watched.GetFailReason() != 3 && (filled || watched.Count() == 0) && file.HasValidTempFile();
  return watched.Count();
}

bool RecordCopyComponent::Export(KVODataFileIter& file, RecordFormat format,
                                 const std::vector<std::string>& slotNames, const std::string& path) {
  return WriteRecordFile(file, format, slotNames, path);
}

}  // namespace kvo
