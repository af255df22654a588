/// \file
/// KVODataFileIter: temporary record files, written once, sorted, read many times.
#ifndef KVOADAPTER_KVODATAFILEITER_H
#define KVOADAPTER_KVODATAFILEITER_H

#include <kvoadapter/KVOExport.h>
#include <qor/Record.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class KVOInputAdapter;

/// KVODataFileIter: records of doubles kept in a temporary file of raw native
/// doubles (no header, record k at byte k * 8 * record size), written once,
/// optionally sorted through the host's record sort, then read in any number
/// of passes as a multi-pass record iterator. One thread at a time; sorts
/// share process-wide callback slots, so only one sort runs at a time. Owns
/// its file: the destructor closes and deletes it, unless the caller closed
/// it with CloseDataFile and left it closed. Every write, flush, close and
/// read is checked: a failure makes the file invalid (HasValidTempFile false,
/// fail reason 3) and is never read as the end of the data.
class KVO_EXPORT KVODataFileIter : public QorCommon::MultiPassRecordIter {
 public:
  /// A file for records of the adapter's record size (the adapter is only
  /// read here), created at once; check HasValidTempFile().
  explicit KVODataFileIter(const KVOInputAdapter& adapter);
  /// A sorting iterator: FillDataFile sorts by the 0-based record positions
  /// in `sortKeys` (in key order); `sortParam` is handed to the host sort.
  /// Not ready (fail reason 1) until filled.
  KVODataFileIter(const KVOInputAdapter& adapter, const std::vector<int>& sortKeys, int sortParam);
  /// A file of records of `recordSize` doubles, created at once; check
  /// HasValidTempFile(). REQUIRES: recordSize > 0.
  explicit KVODataFileIter(int recordSize);
  /// The file belongs to one iterator: copying is refused.
  KVODataFileIter(const KVODataFileIter&) = delete;
  KVODataFileIter& operator=(const KVODataFileIter&) = delete;
  ~KVODataFileIter() override;

  /// Appends one record of the record size from `values` (not kept). A null
  /// pointer writes nothing and returns true. False when nothing could be
  /// written: no open stream, or this or an earlier write failed (the file is
  /// then invalid, fail reason 3, and stays so).
  bool AddNewRecord(const double* values);
  /// Ends writing: flushes and closes the file, reopens it for reading,
  /// checks that it holds every record written and positions on the first
  /// record. False (fail reason 3) when a write, the flush, the close or the
  /// reopen failed, when the file is shorter than what was written (each of
  /// these also makes the file invalid), or when it holds no record (the file
  /// stays valid). A failed file's records stay on disk until the iterator
  /// goes.
  bool CompleteDataFile();
  /// Copies every record of `source` into the file (in key order for a
  /// sorting iterator), then completes the file. False when the source or the
  /// sort failed (fail reason 3) or completing failed. The source is borrowed
  /// for the call. A user interruption during the sort leaves through the
  /// host's attention handler.
  bool FillDataFile(QorCommon::RecordIterator& source);

  /// Rewinds and reads the first record; returns the fail reason: 0 a record
  /// is current, 1 the file holds no record, 3 no stream or the rewind or the
  /// read failed. A read error later in the pass is fail reason 3 as well.
  int NewPass() override;
  /// Whether a record is current (fail reason 0).
  bool HasMore() const override;
  /// The current record (the one Next returns next), or null at the end.
  const QorCommon::Record* Current() const;
  /// The current record, or null; it stays valid until the call after next.
  const QorCommon::Record* Next() override;
  /// 0 a record is current; 1 the end of the records, or a sorting
  /// iterator not yet filled; 3 the file failed or cannot be read.
  int GetFailReason() const override;

  /// Reopens a file closed by CloseDataFile (call NewPass before reading).
  /// False when the file is invalid or cannot be reopened (it then becomes
  /// invalid; its records stay on disk until the iterator goes).
  bool OpenDataFile();
  /// Closes the stream and keeps the file on disk, also after the iterator
  /// is destroyed unless OpenDataFile reopens it. A failed flush or close
  /// makes the file invalid.
  void CloseDataFile();
  /// Whether the file is open (for writing or for reading).
  bool IsDataFileOpen() const;
  /// False for good once the file could not be created, written, flushed,
  /// closed, reopened or read, or turned out shorter than what was written.
  bool HasValidTempFile() const;
  /// The file's full path (empty when none could be made).
  const std::string& GetFileName() const;
  /// Records written to the file so far (each write checked).
  int64_t GetRecordCount() const;
  /// The system error (errno) of the first failure to create, write, close,
  /// reopen or read the file; 0 when none failed. EIO when the file turned
  /// out shorter than what was written.
  int GetErrorNumber() const;

  /// Writes every record to `path` as one text line: each value as two blanks
  /// and "%5f", or "   missing" for a missing value. Leaves the iterator at
  /// the end of the data. False, and no file left at `path`, when the file
  /// cannot be read, the text cannot be written (every write, the flush and
  /// the close are checked) or fewer lines than records were written.
  bool GetTextFile(const std::string& path);

 protected:
  /// A sorting iterator for records of `recordSize` doubles, without an
  /// adapter; otherwise as the public sorting constructor.
  KVODataFileIter(int recordSize, const std::vector<int>& sortKeys, int sortParam);

  /// Creates the temporary file and opens it for writing; false on failure.
  bool InitDataFile();
  /// Sorts the records of `source` into the file through the host sort.
  bool SortData(QorCommon::RecordIterator& source);
  /// Switches buffers and reads the following record into the new current one.
  void NextRecord();

 private:
  /// Opens fFileName with `mode` and gives the stream its buffer.
  bool OpenStream(const char* mode);
  /// Flushes and closes the stream; false (and the file failed) when either
  /// failed. True when no stream is open.
  bool CloseStream();
  /// Writes one record of `source`, padding a shorter one with missing
  /// values; false when the write failed.
  bool WriteRecord(const QorCommon::Record& record);
  /// Keeps the first failure's errno (EIO when errno is 0).
  void NoteFailure();
  /// A write, flush or close failed: the file is invalid for good.
  void MarkWriteFailed();
  /// Deletes `path` when it names a regular file (the data file, or a text
  /// export that could not be written whole); a device or a pipe named as the
  /// path is left alone. errno is kept.
  static void RemoveFile(const std::string& path);

  QorCommon::Record fRecord1;
  QorCommon::Record fRecord2;
  double* fpValues1;
  double* fpValues2;
  bool fbCurrentIsFirst;
  const KVOInputAdapter* fpAdapter;
  std::string fFileName;
  FILE* fpDataFile;
  bool fbValidTempFile;
  int fSortParam;
  int fRecordSize;
  std::vector<int> fvSortKeys;
  int fFailReason;
  /// The stream's buffer; outlives every stream opened on it.
  std::unique_ptr<char[]> fpStreamBuffer;
  int64_t fNRecords = 0;
  int fErrorNumber = 0;
  bool fbWriteFailed = false;
  /// CloseDataFile closed the file: the destructor leaves it in place.
  bool fbLeftOnDisk = false;
};

#endif  // KVOADAPTER_KVODATAFILEITER_H
