// The host's external record sort. Records of doubles arrive through a read
// callback and leave in key order through a write callback. Input that fits
// the memory budget is sorted in memory; larger input is cut into sorted runs
// that are spilled to one temporary file and merged k ways (more than one
// merge level when the runs outnumber what the budget can buffer at once).
// The sort is stable: equal keys keep their input order. It polls the
// attention flag while it works and returns VORM_SORT_INTERRUPTED when the
// user interrupted it. Spill files are unlinked as soon as they are open, so
// nothing is left behind on failure, interruption or an exception thrown by a
// callback. One sort at a time per thread; the budget and the statistics are
// process-wide.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vorm/Utility.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "Attention.h"
#include "FileFaults.h"
#include "standin/HostControl.h"

namespace standin {
namespace {

constexpr size_t DEFAULT_BUDGET = size_t{256} << 20;
constexpr int64_t MAX_RECORD_LENGTH = int64_t{1} << 24;  // doubles per record
constexpr size_t MAX_CHUNK_BYTES = size_t{32} << 20;     // run storage grows in chunks of this size
constexpr size_t MAX_IO_BLOCK = size_t{1} << 20;         // buffer of one spill stream
constexpr size_t MIN_MERGE_BLOCK = size_t{64} << 10;     // merge input buffers shrink to this before
                                                         // the merge needs more than one level
constexpr uint64_t POLL_RECORDS = 1024;                  // records between two attention polls

struct SortState {
  std::atomic<size_t> fBudget{DEFAULT_BUDGET};
  std::atomic<size_t> fLastPeak{0};
  std::mutex fMutex;
  std::string fLastError;
};

SortState& State() {
  static SortState state;
  return state;
}

// A failure of the sort: its result code and its text.
struct SortFailure {
  int64_t fCode = 0;
  std::string fText;
};

// Bytes the sort holds, and the most it held at once.
class MemoryMeter {
 public:
  void Add(size_t bytes) {
    fHeld += bytes;
    fPeak = std::max(fPeak, fHeld);
  }
  void Release(size_t bytes) { fHeld -= bytes; }
  size_t Peak() const { return fPeak; }

 private:
  size_t fHeld = 0;
  size_t fPeak = 0;
};

// An uninitialised array of a trivial type whose bytes count against the
// meter while it lives. Null (and counted as nothing) when the allocation
// failed. Arrays of at least a huge page are aligned to it and marked for
// huge pages: run storage is read at random when the sorted run is written,
// and huge pages spare most of the page faults and TLB misses.
constexpr size_t HUGE_PAGE = size_t{2} << 20;

// The bytes an array of `bytes` bytes takes (huge-page arrays are rounded up).
constexpr size_t MeteredBytes(size_t bytes) {
  return bytes >= HUGE_PAGE ? (bytes + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE : bytes;
}

template <typename T>
class MeteredArray {
  static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);

 public:
  MeteredArray(MemoryMeter& meter, size_t count)
      : fMeter(meter), fCount(count), fBytes(MeteredBytes(count * sizeof(T))) {
    if (fBytes >= HUGE_PAGE) {
      fpData = static_cast<T*>(std::aligned_alloc(HUGE_PAGE, fBytes));
      if (fpData != nullptr) ::madvise(fpData, fBytes, MADV_HUGEPAGE);
    } else {
      fpData = static_cast<T*>(std::malloc(std::max<size_t>(fBytes, 1)));
    }
    if (fpData != nullptr) fMeter.Add(fBytes);
  }
  ~MeteredArray() {
    if (fpData == nullptr) return;
    std::free(fpData);
    fMeter.Release(fBytes);
  }
  MeteredArray(const MeteredArray&) = delete;
  MeteredArray& operator=(const MeteredArray&) = delete;

  T* Get() const { return fpData; }
  size_t Count() const { return fCount; }
  explicit operator bool() const { return fpData != nullptr; }

 private:
  MemoryMeter& fMeter;
  size_t fCount;
  size_t fBytes;
  T* fpData = nullptr;
};

// Maps a double to an unsigned integer with the same order: IEEE order with
// -0 equal to +0 and every NaN after +infinity. The system-missing value, the
// most negative finite double, comes before every other finite number.
inline uint64_t OrderKey(double value) {
  if (value != value) return ~uint64_t{0};
  if (value == 0.0) value = 0.0;
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  return (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
}

// Keys held beside each record reference, so that most comparisons need
// not reach the record itself.
constexpr size_t INLINE_KEYS = 2;

// The first INLINE_KEYS keys of a record as ordered integers (0 for keys the
// sort does not have). Arrays compare lexicographically.
struct InlineKeys {
  uint64_t fKey[INLINE_KEYS];
  bool operator==(const InlineKeys&) const = default;
  bool operator<(const InlineKeys& other) const {
    for (size_t i = 0; i < INLINE_KEYS; ++i) {
      if (fKey[i] != other.fKey[i]) return fKey[i] < other.fKey[i];
    }
    return false;
  }
};

// The sort keys: 0-based record positions in key order.
class KeyOrder {
 public:
  explicit KeyOrder(std::vector<int64_t> positions) : fPositions(std::move(positions)) {}

  InlineKeys Inline(const double* record) const {
    InlineKeys keys{};
    for (size_t i = 0; i < INLINE_KEYS && i < fPositions.size(); ++i)
      keys.fKey[i] = OrderKey(record[fPositions[i]]);
    return keys;
  }
  // Compares two records by the keys after the inline ones: -1, 0 or 1.
  int CompareRest(const double* a, const double* b) const {
    for (size_t i = INLINE_KEYS; i < fPositions.size(); ++i) {
      const uint64_t ka = OrderKey(a[fPositions[i]]);
      const uint64_t kb = OrderKey(b[fPositions[i]]);
      if (ka != kb) return ka < kb ? -1 : 1;
    }
    return 0;
  }

 private:
  std::vector<int64_t> fPositions;
};

// Polls the attention flag every POLL_RECORDS records.
class AttentionPoll {
 public:
  // True when an interruption is pending.
  bool Tick() {
    if (++fCount % POLL_RECORDS != 0) return false;
    return Now();
  }
  static bool Now() { return detail::PollInterrupt(); }

 private:
  uint64_t fCount = 0;
};

// The records of one run in memory, in chunks so that growing never copies.
class RunStore {
 public:
  RunStore(MemoryMeter& meter, size_t recordLength, size_t capacity)
      : fMeter(meter), fRecordLength(recordLength), fCapacity(capacity) {
    const size_t perChunk = ChunkRecords(recordLength);
    fShift = std::countr_zero(perChunk);
    fMask = perChunk - 1;
  }
  // Records per chunk: a power of two, so that a record is found by shifts.
  static size_t ChunkRecords(size_t recordLength) {
    return std::bit_floor(std::max<size_t>(1, MAX_CHUNK_BYTES / (recordLength * sizeof(double))));
  }
  // The bytes a store of `capacity` records takes when full.
  static size_t Footprint(size_t recordLength, size_t capacity) {
    const size_t perChunk = ChunkRecords(recordLength);
    const size_t recordBytes = recordLength * sizeof(double);
    const size_t rest = capacity % perChunk;
    return capacity / perChunk * MeteredBytes(perChunk * recordBytes) + MeteredBytes(rest * recordBytes);
  }
  RunStore(const RunStore&) = delete;
  RunStore& operator=(const RunStore&) = delete;

  // The slot of record `index` (< capacity), allocating its chunk on first
  // use; null when memory ran out.
  double* Slot(size_t index) {
    const size_t chunk = index >> fShift;
    if (chunk == fChunks.size()) {
      const size_t records = std::min(fMask + 1, fCapacity - (chunk << fShift));
      fChunks.push_back(std::make_unique<MeteredArray<double>>(fMeter, records * fRecordLength));
      if (!*fChunks.back()) return nullptr;
    }
    return fChunks[chunk]->Get() + (index & fMask) * fRecordLength;
  }
  const double* At(size_t index) const {
    return fChunks[index >> fShift]->Get() + (index & fMask) * fRecordLength;
  }
  void Release() { fChunks.clear(); }

 private:
  MemoryMeter& fMeter;
  size_t fRecordLength;
  size_t fCapacity;
  int fShift = 0;
  size_t fMask = 0;
  std::vector<std::unique_ptr<MeteredArray<double>>> fChunks;
};

// One entry of the in-memory sort: the leading keys and the input position.
struct SortItem {
  InlineKeys fKeys;
  uint32_t fIndex;
};

// A temporary file for spilled runs. Unlinked as soon as it is open, so it
// disappears with its descriptor whatever happens.
class SpillFile {
 public:
  SpillFile() = default;
  ~SpillFile() {
    if (fFd >= 0) ::close(fFd);
    if (!fPath.empty()) ::unlink(fPath.c_str());
  }
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  bool Create(SortFailure& failure) {
    char name[VORM_TEMP_NAME_MAX];
    if (FormTempName("kvosort_", name) == nullptr) {
      failure = {SORT_SPILL_FAILED, "SORTFILE: cannot create a spill file in '" + TempDirectory() +
                                        "': " + std::strerror(errno)};
      return false;
    }
    fPath = name;
    fFd = ::open(name, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fFd < 0) {
      failure = {SORT_SPILL_FAILED,
                 "SORTFILE: cannot open spill file '" + fPath + "': " + std::strerror(errno)};
      return false;
    }
    if (::unlink(name) == 0) fPath.clear();
    return true;
  }
  int Fd() const { return fFd; }

 private:
  int fFd = -1;
  std::string fPath;  // empty once unlinked
};

// Appends records to a spill file through one buffer.
class SpillWriter {
 public:
  // Writes from byte `offset` of the file on.
  SpillWriter(MemoryMeter& meter, int fd, uint64_t offset, size_t recordBytes, size_t blockBytes)
      : fFd(fd), fRecordBytes(recordBytes), fBuffer(meter, blockBytes), fOffset(offset) {}

  bool Ok() const { return static_cast<bool>(fBuffer); }
  uint64_t Offset() const { return fOffset + fUsed; }

  bool Append(const double* record, SortFailure& failure) {
    if (fUsed + fRecordBytes > fBuffer.Count() && !Flush(failure)) return false;
    std::memcpy(fBuffer.Get() + fUsed, record, fRecordBytes);
    fUsed += fRecordBytes;
    return true;
  }

  bool Flush(SortFailure& failure) {
    size_t done = 0;
    while (done < fUsed) {
      const size_t allowed = detail::AllowFileWrite(fUsed - done);
      ssize_t n = allowed == 0
                      ? -1
                      : ::pwrite(fFd, fBuffer.Get() + done, allowed, static_cast<off_t>(fOffset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failure = {SORT_SPILL_FAILED, "SORTFILE: cannot write a spill file at byte " +
                                          std::to_string(fOffset + done) + ": " +
                                          std::strerror(n < 0 ? errno : ENOSPC)};
        return false;
      }
      done += static_cast<size_t>(n);
    }
    fOffset += fUsed;
    fUsed = 0;
    return true;
  }

 private:
  int fFd;
  size_t fRecordBytes;
  MeteredArray<unsigned char> fBuffer;
  uint64_t fOffset;
  size_t fUsed = 0;
};

// A sorted run: where it starts in its spill file and how many records it has.
struct SpilledRun {
  uint64_t fOffset;
  uint64_t fCount;
};

// Reads one run back through its own buffer.
class RunReader {
 public:
  RunReader(MemoryMeter& meter, int fd, const SpilledRun& run, size_t recordLength, size_t blockRecords)
      : fFd(fd),
        fOffset(run.fOffset),
        fLeft(run.fCount),
        fRecordLength(recordLength),
        fBuffer(meter, blockRecords * recordLength) {}

  bool Ok() const { return static_cast<bool>(fBuffer); }
  const double* Current() const { return fBuffer.Get() + fPos * fRecordLength; }

  // Moves to the next record (the first one on the first call); false at the
  // end of the run or on a read error (then `failure` is set).
  bool Advance(SortFailure& failure) {
    if (++fPos < fHave) return true;
    if (fLeft == 0) return false;
    const size_t recordBytes = fRecordLength * sizeof(double);
    const size_t records = static_cast<size_t>(std::min<uint64_t>(fLeft, fBuffer.Count() / fRecordLength));
    const size_t bytes = records * recordBytes;
    auto* target = reinterpret_cast<unsigned char*>(fBuffer.Get());
    size_t done = 0;
    while (done < bytes) {
      const size_t allowed = detail::AllowFileRead(bytes - done);
      ssize_t n =
          allowed == 0 ? -1 : ::pread(fFd, target + done, allowed, static_cast<off_t>(fOffset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failure = {SORT_SPILL_FAILED, "SORTFILE: cannot read a spill file at byte " +
                                          std::to_string(fOffset + done) + ": " +
                                          (n < 0 ? std::strerror(errno) : "the file ends early")};
        return false;
      }
      done += static_cast<size_t>(n);
    }
    fOffset += bytes;
    fLeft -= records;
    fHave = records;
    fPos = 0;
    return true;
  }

 private:
  int fFd;
  uint64_t fOffset;
  uint64_t fLeft;
  size_t fRecordLength;
  MeteredArray<double> fBuffer;
  size_t fHave = 0;
  size_t fPos = static_cast<size_t>(-1);
};

// Everything one call of SORTFILE works with.
class ExternalSort {
 public:
  ExternalSort(void* workspace, SortReadCallback read, SortWriteCallback write, size_t recordLength,
               KeyOrder keys, size_t budget)
      : fWorkspace(workspace),
        fRead(read),
        fWrite(write),
        fRecordLength(recordLength),
        fRecordBytes(recordLength * sizeof(double)),
        fKeys(std::move(keys)),
        fBudget(budget) {
    // A spilled run is written through one buffer that must fit beside it.
    fIoBlock = std::clamp(fBudget / 16, fRecordBytes, std::max(MAX_IO_BLOCK, fRecordBytes));
    fIoBlock -= fIoBlock % fRecordBytes;
    const size_t room = fBudget > fIoBlock ? fBudget - fIoBlock : 0;
    const size_t perRecord = fRecordBytes + sizeof(SortItem);
    fRunCapacity = std::clamp<size_t>(room / perRecord, 1, UINT32_MAX);
    // Rounding large arrays to huge pages takes a little of the room.
    for (size_t need; fRunCapacity > 1 && (need = RunFootprint(fRunCapacity)) > room;) {
      fRunCapacity -= std::min(fRunCapacity - 1, (need - room) / perRecord + 1);
    }
  }

  int64_t Run(int64_t* recordsOut, int64_t* runsOut) {
    int64_t result = ReadRuns();
    if (result == 0 && !fRuns.empty()) result = MergeRuns();
    if (recordsOut != nullptr) *recordsOut = static_cast<int64_t>(fRecords);
    if (runsOut != nullptr) *runsOut = static_cast<int64_t>(fSpilledRuns);
    return result;
  }

  size_t PeakBytes() const { return fMeter.Peak(); }
  const std::string& FailureText() const { return fFailure.fText; }

 private:
  int64_t Fail(int64_t code, std::string text) {
    fFailure = {code, std::move(text)};
    return code;
  }
  int64_t Interrupted() { return Fail(VORM_SORT_INTERRUPTED, "SORTFILE: interrupted by the user"); }

  // Reads the input run by run. The last (or only) run of an input that fits
  // in memory goes straight to the write callback; every other run is spilled.
  // The run's memory is reused from one run to the next and released before
  // the merge.
  int64_t ReadRuns() {
    if (AttentionPoll::Now()) return Interrupted();
    RunStore store(fMeter, fRecordLength, fRunCapacity);
    std::unique_ptr<MeteredArray<SortItem>> items;
    for (bool ended = false; !ended;) {
      size_t count = 0;
      while (count < fRunCapacity) {
        if (fPoll.Tick()) return Interrupted();
        double* slot = store.Slot(count);
        if (slot == nullptr) return OutOfMemory();
        const int rc = fRead(fWorkspace, slot, &fRecordLength64);
        if (rc == 1) {
          ended = true;
          break;
        }
        if (rc != 0) {
          return Fail(SORT_CALLBACK_FAILED, "SORTFILE: the read callback returned " + std::to_string(rc) +
                                                " for input record " + std::to_string(fRecords + 1));
        }
        ++count;
        ++fRecords;
      }
      if (count == 0) break;

      if (!items) {  // the first run is the longest: every later one fits
        items = std::make_unique<MeteredArray<SortItem>>(fMeter, count);
        if (!*items) return OutOfMemory();
      }
      SortRun(store, items->Get(), count);
      if (ended && fRuns.empty()) return WriteSorted(store, items->Get(), count);
      if (const int64_t rc = SpillRun(store, items->Get(), count); rc != 0) return rc;
    }
    return 0;
  }

  // The bytes of a full run: its records and its sort entries.
  size_t RunFootprint(size_t capacity) const {
    return RunStore::Footprint(fRecordLength, capacity) + MeteredBytes(capacity * sizeof(SortItem));
  }

  int64_t OutOfMemory() {
    return Fail(SORT_NO_MEMORY, "SORTFILE: out of memory with " + std::to_string(fMeter.Peak()) +
                                    " bytes held (budget " + std::to_string(fBudget) + ")");
  }

  void SortRun(const RunStore& store, SortItem* items, size_t count) const {
    for (size_t i = 0; i < count; ++i) items[i] = {fKeys.Inline(store.At(i)), static_cast<uint32_t>(i)};
    std::sort(items, items + count, [&](const SortItem& a, const SortItem& b) {
      if (!(a.fKeys == b.fKeys)) return a.fKeys < b.fKeys;
      const int rest = fKeys.CompareRest(store.At(a.fIndex), store.At(b.fIndex));
      return rest != 0 ? rest < 0 : a.fIndex < b.fIndex;  // the input order breaks ties
    });
  }

  int64_t Deliver(const double* record) {
    const int rc = fWrite(fWorkspace, const_cast<double*>(record), &fRecordLength64);
    if (rc != 0) {
      return Fail(SORT_CALLBACK_FAILED, "SORTFILE: the write callback returned " + std::to_string(rc) +
                                            " for output record " + std::to_string(fWritten + 1));
    }
    ++fWritten;
    return 0;
  }

  // Records are taken from the run in sorted order, which is random order
  // in memory: fetch a few ahead.
  static constexpr size_t PREFETCH_AHEAD = 8;

  int64_t WriteSorted(const RunStore& store, const SortItem* items, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      if (i + PREFETCH_AHEAD < count) __builtin_prefetch(store.At(items[i + PREFETCH_AHEAD].fIndex));
      if (fPoll.Tick()) return Interrupted();
      if (const int64_t rc = Deliver(store.At(items[i].fIndex)); rc != 0) return rc;
    }
    return 0;
  }

  int64_t SpillRun(const RunStore& store, const SortItem* items, size_t count) {
    if (!fSpill && !CreateSpill(fSpill)) return fFailure.fCode;
    const uint64_t start = fSpillEnd;
    SpillWriter writer(fMeter, fSpill->Fd(), start, fRecordBytes, fIoBlock);
    if (!writer.Ok()) return OutOfMemory();
    for (size_t i = 0; i < count; ++i) {
      if (i + PREFETCH_AHEAD < count) __builtin_prefetch(store.At(items[i + PREFETCH_AHEAD].fIndex));
      if (fPoll.Tick()) return Interrupted();
      if (!writer.Append(store.At(items[i].fIndex), fFailure)) return fFailure.fCode;
    }
    if (!writer.Flush(fFailure)) return fFailure.fCode;
    fSpillEnd = start + count * fRecordBytes;
    fRuns.push_back({start, count});
    ++fSpilledRuns;
    return 0;
  }

  bool CreateSpill(std::unique_ptr<SpillFile>& spill) {
    spill = std::make_unique<SpillFile>();
    return spill->Create(fFailure);
  }

  // Merges the spilled runs. While there are more runs than one merge can
  // buffer within the budget, consecutive groups are merged into longer runs
  // in a second file (keeping the runs in input order keeps the sort stable).
  int64_t MergeRuns() {
    const size_t minBlock = std::clamp(fBudget / 32, fRecordBytes, std::max(fRecordBytes, MIN_MERGE_BLOCK));
    const size_t maxFanIn = std::max<size_t>(2, fBudget / minBlock - 1);
    std::unique_ptr<SpillFile> other;
    while (fRuns.size() > maxFanIn) {
      if (!other && !CreateSpill(other)) return fFailure.fCode;  // overwritten from its start
      std::vector<SpilledRun> merged;
      SpillWriter writer(fMeter, other->Fd(), 0, fRecordBytes, BlockFor(maxFanIn));
      if (!writer.Ok()) return OutOfMemory();
      const size_t groups = (fRuns.size() + maxFanIn - 1) / maxFanIn;
      const size_t perGroup = (fRuns.size() + groups - 1) / groups;
      for (size_t first = 0; first < fRuns.size(); first += perGroup) {
        const size_t last = std::min(fRuns.size(), first + perGroup);
        const uint64_t start = writer.Offset();
        uint64_t count = 0;
        const int64_t rc = Merge(first, last, [&](const double* record) -> int64_t {
          ++count;
          return writer.Append(record, fFailure) ? 0 : fFailure.fCode;
        });
        if (rc != 0) return rc;
        merged.push_back({start, count});
      }
      if (!writer.Flush(fFailure)) return fFailure.fCode;
      fRuns.swap(merged);
      fSpill.swap(other);
    }
    return Merge(0, fRuns.size(), [&](const double* record) { return Deliver(record); });
  }

  // Bytes of each input buffer for a merge of `fanIn` runs (plus an output).
  size_t BlockFor(size_t fanIn) const {
    size_t block = std::min(fBudget / (fanIn + 1), MAX_IO_BLOCK);
    block -= block % fRecordBytes;
    return std::max(block, fRecordBytes);
  }

  // Merges runs [first, last) of the current spill file, handing each record
  // in order to `emit`, with a binary heap keyed like the in-memory sort
  // (ties go to the earlier run, which holds the earlier input).
  template <typename Emit>
  int64_t Merge(size_t first, size_t last, Emit emit) {
    struct HeapEntry {
      InlineKeys fKeys;
      size_t fReader;
    };
    const size_t fanIn = last - first;
    const size_t blockRecords = BlockFor(fanIn) / fRecordBytes;
    std::vector<std::unique_ptr<RunReader>> readers;
    std::vector<HeapEntry> heap;
    readers.reserve(fanIn);
    heap.reserve(fanIn);
    for (size_t i = first; i < last; ++i) {
      readers.push_back(
          std::make_unique<RunReader>(fMeter, fSpill->Fd(), fRuns[i], fRecordLength, blockRecords));
      if (!readers.back()->Ok()) return OutOfMemory();
      if (readers.back()->Advance(fFailure)) {
        heap.push_back({fKeys.Inline(readers.back()->Current()), readers.size() - 1});
      } else if (fFailure.fCode != 0) {
        return fFailure.fCode;
      }
    }
    auto before = [&](const HeapEntry& a, const HeapEntry& b) {
      if (!(a.fKeys == b.fKeys)) return a.fKeys < b.fKeys;
      const int rest = fKeys.CompareRest(readers[a.fReader]->Current(), readers[b.fReader]->Current());
      return rest != 0 ? rest < 0 : a.fReader < b.fReader;
    };
    auto siftDown = [&](size_t at) {
      const size_t n = heap.size();
      const HeapEntry moving = heap[at];
      for (;;) {
        size_t child = 2 * at + 1;
        if (child >= n) break;
        if (child + 1 < n && before(heap[child + 1], heap[child])) ++child;
        if (!before(heap[child], moving)) break;
        heap[at] = heap[child];
        at = child;
      }
      heap[at] = moving;
    };
    for (size_t i = heap.size() / 2; i-- > 0;) siftDown(i);

    while (!heap.empty()) {
      if (fPoll.Tick()) return Interrupted();
      RunReader& top = *readers[heap[0].fReader];
      if (const int64_t rc = emit(top.Current()); rc != 0) return rc;
      if (top.Advance(fFailure)) {
        heap[0].fKeys = fKeys.Inline(top.Current());
      } else {
        if (fFailure.fCode != 0) return fFailure.fCode;
        heap[0] = heap.back();
        heap.pop_back();
      }
      if (!heap.empty()) siftDown(0);
    }
    return 0;
  }

  void* fWorkspace;
  SortReadCallback fRead;
  SortWriteCallback fWrite;
  size_t fRecordLength;
  int64_t fRecordLength64 = static_cast<int64_t>(fRecordLength);
  size_t fRecordBytes;
  KeyOrder fKeys;
  size_t fBudget;
  size_t fIoBlock = 0;
  size_t fRunCapacity = 0;
  MemoryMeter fMeter;
  AttentionPoll fPoll;
  SortFailure fFailure;
  std::unique_ptr<SpillFile> fSpill;
  uint64_t fSpillEnd = 0;
  std::vector<SpilledRun> fRuns;
  uint64_t fSpilledRuns = 0;
  uint64_t fRecords = 0;
  uint64_t fWritten = 0;
};

void Finish(size_t peak, const std::string& failure) {
  State().fLastPeak.store(peak);
  std::lock_guard<std::mutex> lock(State().fMutex);
  State().fLastError = failure;
}

// Checks the arguments; on success fills the 0-based key positions.
bool CheckArguments(SortReadCallback read, SortWriteCallback write, const int64_t* recordLength,
                    const int64_t* keys, const int64_t* nKeys, std::vector<int64_t>& positions,
                    std::string& failure) {
  if (read == nullptr || write == nullptr) {
    failure = std::string("SORTFILE: the ") + (read == nullptr ? "read" : "write") + " callback is null";
    return false;
  }
  if (recordLength == nullptr || *recordLength <= 0 || *recordLength > MAX_RECORD_LENGTH) {
    failure = "SORTFILE: the record length " +
              (recordLength ? std::to_string(*recordLength) : std::string("(null)")) +
              " is not between 1 and " + std::to_string(MAX_RECORD_LENGTH);
    return false;
  }
  if (nKeys == nullptr || *nKeys < 0 || *nKeys > *recordLength) {
    failure = "SORTFILE: the key count " + (nKeys ? std::to_string(*nKeys) : std::string("(null)")) +
              " is not between 0 and the record length " + std::to_string(*recordLength);
    return false;
  }
  const int64_t k = *nKeys;
  if (k > 0 && keys == nullptr) {
    failure = "SORTFILE: the key array is null for " + std::to_string(k) + " keys";
    return false;
  }
  for (int64_t i = 0; i < k; ++i) {
    if (keys[i] < 1 || keys[i] > *recordLength) {
      failure = "SORTFILE: key " + std::to_string(i + 1) + " names record position " +
                std::to_string(keys[i]) + ", outside 1.." + std::to_string(*recordLength);
      return false;
    }
    if (keys[k + i] != 1) {
      failure = "SORTFILE: key " + std::to_string(i + 1) + " has direction " + std::to_string(keys[k + i]) +
                "; only 1 (ascending) is supported";
      return false;
    }
    positions.push_back(keys[i] - 1);
  }
  return true;
}

}  // namespace

void SetSortBudget(size_t bytes) { State().fBudget.store(bytes); }
size_t SortBudget() { return State().fBudget.load(); }
size_t LastSortPeakBytes() { return State().fLastPeak.load(); }

std::string LastSortError() {
  std::lock_guard<std::mutex> lock(State().fMutex);
  return State().fLastError;
}

}  // namespace standin

int64_t SORTFILE(void* workspace, SortReadCallback read, SortWriteCallback write, const int64_t* recordLength,
                 const int64_t* keys, const int64_t* nKeys, const double* /*sortParam*/,
                 void* /*systemField*/, const int64_t* /*reserved*/, int64_t* result1, int64_t* result2) {
  std::vector<int64_t> positions;
  std::string failure;
  if (!standin::CheckArguments(read, write, recordLength, keys, nKeys, positions, failure)) {
    standin::Finish(0, failure);
    return standin::SORT_BAD_ARGUMENTS;
  }
  std::unique_ptr<standin::ExternalSort> sort;
  try {
    sort = std::make_unique<standin::ExternalSort>(workspace, read, write, static_cast<size_t>(*recordLength),
                                                   standin::KeyOrder(std::move(positions)),
                                                   standin::SortBudget());
  } catch (const std::bad_alloc&) {
    standin::Finish(0, "SORTFILE: out of memory while starting");
    return standin::SORT_NO_MEMORY;
  }
  // A callback may leave by an exception (the host's interruption); the
  // statistics are recorded on that way out too.
  struct Recorder {
    standin::ExternalSort& fSort;
    bool fDone = false;
    ~Recorder() {
      if (!fDone) standin::Finish(fSort.PeakBytes(), "SORTFILE: left by an exception from a callback");
    }
  } recorder{*sort};
  int64_t result = 0;
  try {
    result = sort->Run(result1, result2);
  } catch (const std::bad_alloc&) {
    result = standin::SORT_NO_MEMORY;
    recorder.fDone = true;
    standin::Finish(sort->PeakBytes(), "SORTFILE: out of memory");
    return result;
  }
  recorder.fDone = true;
  standin::Finish(sort->PeakBytes(), result == 0 ? std::string() : sort->FailureText());
  return result;
}
