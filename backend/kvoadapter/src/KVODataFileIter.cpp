#include <kvoadapter/KVODataFileIter.h>
#include <kvoadapter/KVOInputAdapter.h>
#include <sys/stat.h>
#include <vorm/Utility.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>
#include <vector>

#include "KVOAssert.h"
#include "KVOModule.h"
#include "KVOTextRecordWriter.h"

namespace {

constexpr const char* KVO_SOURCE = "KVODataFileIter";
constexpr const char* TEMP_PREFIX = "kvodatafile_";
// Records go through the stream one fwrite/fread each; a large buffer turns
// them into few system calls.
constexpr size_t STREAM_BUFFER_BYTES = size_t{256} << 10;
// The slots through which the host sort's callbacks reach the file being
// filled and the iterator being sorted. Set only while SortData runs, so one
// sort at a time in the process.
FILE* _DataFile = nullptr;
QorCommon::RecordIterator* _SortSource = nullptr;
KVODataFileIter* _SortTarget = nullptr;

// Publishes the slots for one sort and clears them however the sort ends,
// including the host's attention handler leaving by an exception.
class SortSlots {
 public:
  SortSlots(FILE* file, QorCommon::RecordIterator* source, KVODataFileIter* target) {
    _DataFile = file;
    _SortSource = source;
    _SortTarget = target;
  }
  ~SortSlots() {
    _DataFile = nullptr;
    _SortSource = nullptr;
    _SortTarget = nullptr;
  }
  SortSlots(const SortSlots&) = delete;
  SortSlots& operator=(const SortSlots&) = delete;
};

// Copies `count` values of `record` into `buffer`, filling positions the
// record lacks with the missing value.
void CopyRecord(const QorCommon::Record& record, double* buffer, int64_t count) {
  const double* pRec = record.GetAll();
  int64_t have = std::min<int64_t>(record.GetSize(), count);
  if (!KVO_ASSERT(pRec != 0)) have = 0;
  KVO_ASSERT_TEXT(record.GetSize() >= count, "record.GetSize() >= recordSize");
  std::copy_n(pRec, have, buffer);
  std::fill(buffer + have, buffer + count, QorCommon::QorMV::MISSING);
}

// Read callback of the host sort: the next record of the source, or 1 at the
// end of the input.
int ReadSortRecord(void* /*handle*/, double* buffer, const int64_t* count) {
  if (_SortSource == nullptr || !_SortSource->HasMore()) return 1;
  const QorCommon::Record* recordPtr = _SortSource->Next();
  if (!KVO_ASSERT(recordPtr != 0)) return 1;
  CopyRecord(*recordPtr, buffer, *count);
  return 0;
}

// Write callback of the host sort: appends one sorted record to the file.
// A failed write stops the sort (a non-zero result); the iterator being
// filled learns of it through its own write check.
int WriteSortRecord(void* /*handle*/, double* buffer, const int64_t* count) {
  if (!KVO_ASSERT(buffer != 0) || !KVO_ASSERT(_DataFile != 0) || _SortTarget == nullptr) return 1;
  // The sort hands back records of the length it was given: the file's.
  if (*count <= 0) return 1;
  return _SortTarget->AddNewRecord(buffer) ? 0 : 1;
}

}  // namespace

KVODataFileIter::KVODataFileIter(const KVOInputAdapter& adapter) : KVODataFileIter(adapter.GetRecordSize()) {
  fpAdapter = &adapter;
}

KVODataFileIter::KVODataFileIter(const KVOInputAdapter& adapter, const std::vector<int>& sortKeys,
                                 int sortParam)
    : KVODataFileIter(adapter.GetRecordSize(), sortKeys, sortParam) {
  fpAdapter = &adapter;
}

// A plain file is the sorting kind without keys, ready for records at once:
// fail reason 0 unless the file could not be made.
KVODataFileIter::KVODataFileIter(int recordSize) : KVODataFileIter(recordSize, std::vector<int>{}, -1) {
  if (fFailReason == 1) fFailReason = 0;
}

KVODataFileIter::KVODataFileIter(int recordSize, const std::vector<int>& sortKeys, int sortParam)
    : fRecord1(recordSize),
      fRecord2(recordSize),
      fpValues1(fRecord1.GetAll()),
      fpValues2(fRecord2.GetAll()),
      fbCurrentIsFirst(true),
      fpAdapter(nullptr),
      fpDataFile(nullptr),
      fbValidTempFile(false),
      fSortParam(sortParam),
      fRecordSize(recordSize),
      fvSortKeys(sortKeys),
      fFailReason(1) {
  for (int key : fvSortKeys) {
    // A bad key makes the sort fail later (fail reason 3).
    KVO_ASSERT_TEXT(key >= 0 && key < recordSize, "sortKeys[i] >= 0 && sortKeys[i] < recordSize");
  }
  InitDataFile();
}

KVODataFileIter::~KVODataFileIter() {
  CloseStream();
  // The file goes with its owner, also after a failed write or reopen; only
  // a file the caller closed with CloseDataFile stays.
  if (!fFileName.empty() && !fbLeftOnDisk) RemoveFile(fFileName);
}

bool KVODataFileIter::InitDataFile() {
  if (!KVO_ASSERT(fRecordSize > 0)) {
    fbValidTempFile = false;
    fFailReason = 3;
    fErrorNumber = EINVAL;
    return false;
  }
  char buffer[VORM_TEMP_NAME_MAX];
  errno = 0;
  const char* name = FormTempName(TEMP_PREFIX, buffer);
  if (name == nullptr) NoteFailure();
  fFileName = name != nullptr ? name : "";
  fbValidTempFile = name != nullptr && OpenStream("w+b");
  if (!fbValidTempFile) {
    if (name != nullptr) RemoveFile(fFileName);  // created but not opened: do not leave it behind
    fFileName.clear();
    fFailReason = 3;
  }
  return fbValidTempFile;
}

void KVODataFileIter::NoteFailure() {
  if (fErrorNumber == 0) fErrorNumber = errno != 0 ? errno : EIO;
}

bool KVODataFileIter::OpenStream(const char* mode) {
  ExtNameStr name;
  name.SetGeneric(fFileName);
  errno = 0;
  fpDataFile = name.fopen(mode);
  if (fpDataFile == nullptr) {
    NoteFailure();
    return false;
  }
  if (!fpStreamBuffer) fpStreamBuffer.reset(new (std::nothrow) char[STREAM_BUFFER_BYTES]);
  if (fpStreamBuffer) std::setvbuf(fpDataFile, fpStreamBuffer.get(), _IOFBF, STREAM_BUFFER_BYTES);
  return true;
}

bool KVODataFileIter::CloseStream() {
  if (fpDataFile == nullptr) return true;
  errno = 0;
  bool ok = std::fflush(fpDataFile) == 0 && std::ferror(fpDataFile) == 0;
  if (!ok) NoteFailure();
  if (std::fclose(fpDataFile) != 0 && ok) {
    NoteFailure();
    ok = false;
  }
  fpDataFile = nullptr;
  if (!ok) MarkWriteFailed();
  return ok;
}

void KVODataFileIter::MarkWriteFailed() {
  fbWriteFailed = true;
  fbValidTempFile = false;
  fFailReason = 3;
}

bool KVODataFileIter::AddNewRecord(const double* values) {
  if (values == nullptr) return true;
  if (fpDataFile == nullptr || fbWriteFailed) return false;
  const size_t wanted = static_cast<size_t>(fRecordSize);
  errno = 0;
  if (std::fwrite(values, sizeof(double), wanted, fpDataFile) != wanted) {
    NoteFailure();
    MarkWriteFailed();
    return false;
  }
  ++fNRecords;
  return true;
}

bool KVODataFileIter::WriteRecord(const QorCommon::Record& record) {
  if (record.GetSize() >= fRecordSize) return AddNewRecord(record.GetAll());
  // A shorter record than the file's (a contract breach): pad it.
  double* spare = fbCurrentIsFirst ? fpValues2 : fpValues1;
  CopyRecord(record, spare, fRecordSize);
  return AddNewRecord(spare);
}

bool KVODataFileIter::CompleteDataFile() {
  if (fpDataFile != nullptr) {
    // Everything buffered reaches the file before it is read back; a failed
    // flush or close fails the file, whose records stay on disk until the
    // iterator goes.
    if (CloseStream() && !fbWriteFailed) {
      fbValidTempFile = OpenStream("r+b");
      // Count what reached the file: it must hold every record written
      // (NewPass rewinds it below).
      const int64_t expected = fNRecords * static_cast<int64_t>(sizeof(double)) * fRecordSize;
      if (fbValidTempFile && (std::fseek(fpDataFile, 0, SEEK_END) != 0 || ::ftello(fpDataFile) != expected)) {
        if (fErrorNumber == 0) fErrorNumber = EIO;
        MarkWriteFailed();
      }
    }
  }
  if (fpDataFile != nullptr && !fbWriteFailed && NewPass() == 0) return true;
  fFailReason = 3;
  return false;
}

bool KVODataFileIter::FillDataFile(QorCommon::RecordIterator& source) {
  bool ok = false;
  if (!fvSortKeys.empty()) {
    ok = SortData(source);
    if (ok && source.GetFailReason() == 3) {  // the source broke off: the sorted file is incomplete
      fFailReason = 3;
      ok = false;
    }
  } else {
    bool written = true;
    while (written && source.HasMore()) {
      const QorCommon::Record* record = source.Next();
      if (record != nullptr) written = WriteRecord(*record);
    }
    fFailReason = written ? source.GetFailReason() : 3;
    ok = written && fFailReason != 3;
  }
  return ok ? CompleteDataFile() : false;
}

bool KVODataFileIter::SortData(QorCommon::RecordIterator& source) {
  if (!KVO_ASSERT(_DataFile == 0) || fpDataFile == nullptr) {  // another sort is running, or no file
    fFailReason = 3;
    return false;
  }
  SortSlots slots(fpDataFile, &source, this);
  void* workspace = Workspace();

  const int64_t nKeys = static_cast<int64_t>(fvSortKeys.size());
  const size_t k = fvSortKeys.size();
  std::vector<int64_t> keys(3 * k, 0);
  for (size_t i = 0; i < k; ++i) {
    keys[i] = fvSortKeys[i] + 1;  // the host counts record positions from 1
    keys[k + i] = 1;
    keys[2 * k + i] = 0;
  }
  const int64_t recordLength = fRecordSize;
  const double sortParam = fSortParam;
  const int64_t reserved = 0;
  int64_t result1 = 0;
  int64_t result2 = 0;
  int64_t result =
      SORTFILE(workspace, ReadSortRecord, WriteSortRecord, &recordLength, keys.data(), &nKeys, &sortParam,
               kvo_detail::SystemField(VORM_SYS_SORT_FIELD), &reserved, &result1, &result2);
  if (result == VORM_SORT_INTERRUPTED) {
    ATNJMP(workspace);  // leaves for the host's attention handler
    result = 0;         // it returned: the host let the sort stand
  } else if (result != 0) {
    fFailReason = 3;
  }
  return result == 0 && !fbWriteFailed;
}

int KVODataFileIter::NewPass() {
  fpValues1 = fRecord1.GetAll();
  fpValues2 = fRecord2.GetAll();
  if (fpDataFile == nullptr || std::fseek(fpDataFile, 0, SEEK_SET) != 0) {
    fFailReason = 3;
    return fFailReason;
  }
  fFailReason = 0;
  fbCurrentIsFirst = false;  // NextRecord switches to the first buffer
  NextRecord();
  return fFailReason;
}

void KVODataFileIter::NextRecord() {
  fbCurrentIsFirst = !fbCurrentIsFirst;
  if (fFailReason != 0) return;
  if (fpDataFile == nullptr) {  // closed in the middle of a pass
    fFailReason = 3;
    return;
  }
  double* target = fbCurrentIsFirst ? fpValues1 : fpValues2;
  const size_t wanted = static_cast<size_t>(fRecordSize);
  if (std::fread(target, sizeof(double), wanted, fpDataFile) != wanted) {
    // The end of the data, or a read that failed: never the same thing.
    if (std::ferror(fpDataFile) != 0) {
      NoteFailure();
      fFailReason = 3;
    } else {
      fFailReason = 1;
    }
  }
}

bool KVODataFileIter::HasMore() const { return fFailReason == 0; }

const QorCommon::Record* KVODataFileIter::Current() const {
  if (fFailReason != 0) return nullptr;
  return fbCurrentIsFirst ? &fRecord1 : &fRecord2;
}

const QorCommon::Record* KVODataFileIter::Next() {
  if (fFailReason != 0) return nullptr;
  const QorCommon::Record* current = fbCurrentIsFirst ? &fRecord1 : &fRecord2;
  NextRecord();
  return current;
}

int KVODataFileIter::GetFailReason() const { return fFailReason; }

bool KVODataFileIter::OpenDataFile() {
  if (!fbValidTempFile) return false;
  if (fpDataFile != nullptr) return true;
  // A file that cannot be reopened is kept on disk until the iterator goes.
  fbValidTempFile = OpenStream("r+b");
  if (fbValidTempFile) fbLeftOnDisk = false;
  return fbValidTempFile;
}

void KVODataFileIter::CloseDataFile() {
  if (fpDataFile == nullptr) return;
  CloseStream();
  fbLeftOnDisk = true;
}

bool KVODataFileIter::IsDataFileOpen() const { return fpDataFile != nullptr; }

bool KVODataFileIter::HasValidTempFile() const { return fbValidTempFile; }

const std::string& KVODataFileIter::GetFileName() const { return fFileName; }

int64_t KVODataFileIter::GetRecordCount() const { return fNRecords; }

int KVODataFileIter::GetErrorNumber() const { return fErrorNumber; }

bool KVODataFileIter::GetTextFile(const std::string& path) {
  NewPass();
  FILE* text = nullptr;
  if (fFailReason != 3) {
    ExtNameStr name;
    name.SetGeneric(path);
    text = name.fopen("w");
  }
  if (fFailReason == 3 || text == nullptr || std::fseek(text, 0, SEEK_SET) != 0) {
    fFailReason = 3;
    if (text != nullptr) {
      std::fclose(text);  // nothing was written yet; the file is removed next
      RemoveFile(path);
    }
    return false;
  }
  // Each value is two blanks and the text printf's "%5f" makes; a missing
  // value is "   missing".
  KVOTextRecordWriter writer(text, "  ", " missing");
  bool written = true;
  int64_t exported = 0;
  while (HasMore() && written) {
    ++exported;
    const QorCommon::Record* recordPtr = Next();
    if (!KVO_ASSERT(recordPtr != 0)) break;
    written = writer.WriteRecord(recordPtr->GetAll(), fRecordSize);
  }
  written = writer.Finish() && written;
  written = std::fclose(text) == 0 && written;
  // Whole or not at all: every record of the file reached the text, and the
  // read ended at the end of the data, not at a read error.
  if (written && fFailReason == 1 && exported == fNRecords) return true;
  RemoveFile(path);
  return false;
}

void KVODataFileIter::RemoveFile(const std::string& path) {
  // Only a regular file is ours to remove: a device or a pipe named as a
  // text export's path (/dev/full, a FIFO) is left alone.
  const int saved = errno;
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    ExtNameStr name;
    name.SetGeneric(path);
    name.remove();
  }
  errno = saved;
}
