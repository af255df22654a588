// Controls of the stand-in host for programs and tests: the message log,
// assertion reports, the interruption flag, the random seed, the sort
// budget, the host encoding, a fake clock and the temporary directory.
// Process-wide; set them from one thread before work starts.
#ifndef STANDIN_HOSTCONTROL_H
#define STANDIN_HOSTCONTROL_H

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class BP_Character;

namespace standin {

// --- Messages issued through BpError and text written by BP_ToFront -----

struct HostMessage {
  int fShow = 0;
  int fLevel = 0;
  std::string fText;
};
// Every message issued so far (and still logged).
std::vector<HostMessage> Messages();
void ClearMessages();
// Whether BpError also writes "<level word>: <text>" lines to stderr (on by
// default; tests may turn it off).
void SetEchoMessages(bool echo);
// Text written through BP_ToFront, line ends included.
std::string FrontOutput();
void ClearFrontOutput();
// Whether BP_ToFront writes to stdout too (on by default).
void SetEchoFront(bool echo);

// --- The current split group ---------------------------------------------

// The split variables' names and the current group's values as display text
// (the value label when there is one, else the formatted value), in split
// variable order. A data source's iterator sets it when it delivers the
// first case of a group; BpComposite::SplitList reads it. Empty until then.
using SplitGroupPairs = std::vector<std::pair<std::string, std::string>>;
void SetCurrentSplitGroup(SplitGroupPairs group);
SplitGroupPairs CurrentSplitGroup();
void ClearCurrentSplitGroup();

// --- Assertions ----------------------------------------------------------

struct AssertReport {
  std::string fCondition;
  std::string fSource;
};
// A handler called for every assertion report instead of the default (which
// writes "assertion failed: <condition> (<source>)" to stderr). Pass an empty
// function to restore the default. Reports are also kept in a log.
void SetAssertHandler(std::function<void(const AssertReport&)> handler);
std::vector<AssertReport> AssertReports();
void ClearAssertReports();

// --- Interruption ----------------------------------------------------------

// The exception ATNJMP raises to leave the running procedure; host procedure
// code catches it.
struct HostInterrupt {
  bool fTimeOut = false;
};
// Sets or clears the pending-interruption flag (a signal handler may call
// RequestInterrupt: it only stores to an atomic flag).
void RequestInterrupt();
void ClearInterrupt();
bool InterruptPending();
// Installs SIGINT handling that calls RequestInterrupt.
void InstallInterruptSignalHandler();
// Interrupt automatically after this many ATNCHK/SORTFILE polls (-1: never).
void InterruptAfterPolls(int64_t polls);

// --- Value formatting ----------------------------------------------------

// The decimal character ToString writes in numbers ('.' by default).
void SetDecimalCharacter(char decimal);

// --- Random stream -------------------------------------------------------

void SetRandomSeed(uint64_t seed);

// --- Sort ----------------------------------------------------------------

// The record sort's memory budget in bytes (default 256 MiB).
void SetSortBudget(size_t bytes);
size_t SortBudget();
// Peak bytes the sort held in memory in its last run.
size_t LastSortPeakBytes();
// SORTFILE stores the number of records it sorted in *result1 and the
// number of sorted runs it spilled to disk in *result2 (0 when the input fit
// the budget).
// Failure results of SORTFILE (besides VORM_SORT_INTERRUPTED), and the text
// of the last failure naming what went wrong and where (empty after a run
// that succeeded).
inline constexpr int64_t SORT_BAD_ARGUMENTS = 2;
inline constexpr int64_t SORT_NO_MEMORY = 3;
inline constexpr int64_t SORT_SPILL_FAILED = 4;  // a spill file could not be created, written or read
inline constexpr int64_t SORT_CALLBACK_FAILED = 5;
std::string LastSortError();

// --- Encoding ------------------------------------------------------------

// The host's code page, as an iconv name ("UTF-8" by default).
void SetHostEncoding(const std::string& encoding);
const std::string& HostEncoding();

// --- Clocks --------------------------------------------------------------

// Replace the elapsed clock and the process clock (milliseconds, 32-bit
// tick counts that wrap) and the calendar clock (seconds) with fixed values
// that tests move; UseRealClocks restores them.
void SetFakeClocks(int32_t elapsedMs, int32_t processMs, int64_t calendarSeconds);
void AdvanceFakeClocks(int32_t elapsedMs, int32_t processMs, int64_t calendarSeconds);
void UseRealClocks();

// --- Temporary files -----------------------------------------------------

// Faults of the host's files, for tests: after `bytes` more bytes have been
// written (read) through any stream ExtNameStr opens from now on, or through
// the record sort's spill files, every further write (read) fails with
// `error` (ENOSPC, EIO, ...): a write that crosses the limit is cut short
// there. Streams opened before the call are not affected. ClearFileFaults
// lifts both.
void FailFileWritesAfter(int64_t bytes, int error);
void FailFileReadsAfter(int64_t bytes, int error);
void ClearFileFaults();

// The directory for temporary files: TMPDIR, else /tmp, unless overridden.
void SetTempDirectory(const std::string& directory);
std::string TempDirectory();

// --- Common areas --------------------------------------------------------

// The 64-bit field at a byte offset of the system common area.
int64_t SystemField(size_t offset);
void SetSystemField(size_t offset, int64_t value);

}  // namespace standin

#endif  // STANDIN_HOSTCONTROL_H
