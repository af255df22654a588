// Utility services of the host: temporary files, the record sort, the
// uniform random stream, the attention (interrupt) mechanism, code-page
// conversion, the clocks, the shared common areas and assertion reports.
// Unless said otherwise, call them from the procedure's thread.
#ifndef VORM_UTILITY_H
#define VORM_UTILITY_H

#include <cstdint>
#include <cstdio>
#include <string>

// --- Temporary files -------------------------------------------------------

// Size of a buffer that FormTempName may fill.
inline constexpr size_t VORM_TEMP_NAME_MAX = 4096;

// Creates a new, empty file in the host's temporary directory whose name
// starts with `prefix` (created exclusively, readable by its owner only, with
// an unpredictable name), writes its NUL-terminated path into `buffer` (at
// least VORM_TEMP_NAME_MAX bytes) and returns `buffer`. On failure writes
// the empty string and returns null.
char* FormTempName(const char* prefix, char* buffer);

// An external file name: turns a generic name into the platform's and opens
// or removes the file.
class ExtNameStr {
 public:
  ExtNameStr() = default;
  void SetGeneric(const std::string& genericName);
  const std::string& Name() const { return fName; }
  // Opens the file like the C library's fopen; null on failure. The caller
  // closes the stream.
  FILE* fopen(const char* mode) const;
  // Deletes the file; 0 on success.
  int remove() const;

 private:
  std::string fName;
};

// --- Record sort -----------------------------------------------------------

// Callbacks of SORTFILE. `handle` is the workspace handle; `buffer` holds
// `*count` doubles (one record). The read callback returns 1 at the end of
// the input, 0 when it filled the buffer; the write callback returns 0.
using SortReadCallback = int (*)(void* handle, double* buffer, const int64_t* count);
using SortWriteCallback = int (*)(void* handle, double* buffer, const int64_t* count);

// Result of SORTFILE when the user interrupted the sort.
inline constexpr int64_t VORM_SORT_INTERRUPTED = 14;

// Sorts records of `*recordLength` doubles read through `read` and delivers
// them in order through `write`. `keys` holds 3 x `*nKeys` entries: the
// 1-based record positions to sort by, in key order, then one direction
// entry per key (1 ascending) and one reserved entry per key (0). Numbers
// compare in IEEE order, so the system-missing value sorts first. The sort
// keeps within its memory budget by spilling sorted runs to temporary files,
// which it always removes. Returns 0 on success, VORM_SORT_INTERRUPTED when
// interrupted, another value on failure.
int64_t SORTFILE(void* workspace, SortReadCallback read, SortWriteCallback write, const int64_t* recordLength,
                 const int64_t* keys, const int64_t* nKeys, const double* sortParam, void* systemField,
                 const int64_t* reserved, int64_t* result1, int64_t* result2);

// --- Random numbers --------------------------------------------------------

// The next value of the host's shared uniform stream, in [0, 1). `flags` is 0.
double URAND(int flags);

// --- Attention (interrupt) -------------------------------------------------

// The host workspace handle.
void* Workspace();
// Stores non-zero in *pending when the user asked to interrupt the running
// procedure, else 0. Returns normally.
void ATNCHK(int64_t* pending);
// Returns when no interruption is pending; otherwise leaves the running
// procedure for the host's interruption handler (it does not return).
void ATNJMP(void* workspace);

// --- Code-page conversion --------------------------------------------------

// A converter between the host's encoding and UTF-8; `options` is null.
// Delete it with VORMMBConverterDelete_A. Null when none can be made.
void* VORMMBConverterNew_A(const char* options);
void VORMMBConverterDelete_A(void* converter);
// Convert `in` and store the result in `out`; 0 on success, non-zero for an
// invalid byte sequence or a null converter (`out` is then unspecified).
int VORMMBGenericToU8(void* converter, std::string& out, const std::string& in);
int VORMMBU8ToGeneric(void* converter, std::string& out, const std::string& in);

// --- Clocks ----------------------------------------------------------------

// Process clock in milliseconds (CPU time of the process, all its threads).
int32_t VORM_ProcessClockMs();
// Elapsed time in milliseconds on a monotonic clock since the process
// started: waiting and I/O count, and it runs at the same pace whatever the
// number of threads; changes of the calendar clock do not move it. A 32-bit
// tick count that wraps (after about 24.8 days); differences of two readings
// in 32-bit arithmetic are right across a wrap.
int32_t VORM_ElapsedClockMs();
// Calendar time in whole seconds.
int64_t VORM_CalendarTime();

// --- Common areas ----------------------------------------------------------

void* pvGetCmnBpr();
void* pvGetCmaDic();
void* pvGetCmaGlb();
void* pvGetCmaMch();
void* pvGetCmaObv();
void* pvGetCmaSym();
void* pvGetCmaSys();
void* pvGetCmnDic();
void* pvGetCmnDmo();
void* pvGetCmnGlb();
void* pvGetCmnInc();
void* pvGetCmnIo();
void* pvGetCmnLoc();
void* pvGetCmnMch();
void* pvGetCmnMcs();
void* pvGetCmnObv();
void* pvGetCmnStk();
void* pvGetCmnSym();
void* pvGetCmnSys();
void* pvGetCmnWrk();
void* pvGetCmnDtm();
void* pvGetCmnBox();

// Byte offsets of fields in the system common area.
inline constexpr size_t VORM_SYS_SORT_FIELD = 440;     // passed to SORTFILE
inline constexpr size_t VORM_SYS_TIMEOUT_FIELD = 488;  // 64-bit; -1 marks a time-out

// --- Assertions ------------------------------------------------------------

// Reports a broken internal condition of a loaded library: its text and the
// source file's name. Returns; the caller goes on.
void VORM_ReportAssert(const char* condition, const char* sourceFile);

#endif  // VORM_UTILITY_H
