// Temporary file names and external file names of the stand-in host.
// Temporary files are created in the temporary directory (TMPDIR, else /tmp,
// unless a program overrides it) under names with a random suffix, created
// exclusively with mode 0600 and without following links, so that no other
// user can read or redirect them. ExtNameStr opens existing paths without
// following a link planted at the path.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vorm/Utility.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "FileFaults.h"
#include "standin/HostControl.h"

namespace standin {
namespace {

// --- File faults -------------------------------------------------------------

struct FaultBudget {
  std::atomic<int64_t> fLeft{-1};  // -1: no fault set
  std::atomic<int> fError{0};
};
FaultBudget gWriteFaults;
FaultBudget gReadFaults;

size_t Allow(FaultBudget& budget, size_t count) {
  int64_t left = budget.fLeft.load();
  while (true) {
    if (left < 0) return count;
    const int64_t granted = std::min<int64_t>(left, static_cast<int64_t>(count));
    if (budget.fLeft.compare_exchange_weak(left, left - granted)) {
      if (static_cast<size_t>(granted) < count) errno = budget.fError.load();
      return static_cast<size_t>(granted);
    }
  }
}

// A stream over a descriptor whose reads and writes go through the budgets.
ssize_t FaultRead(void* cookie, char* buffer, size_t size) {
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(cookie));
  const size_t allowed = Allow(gReadFaults, size);
  if (allowed == 0 && size > 0) return -1;
  ssize_t n;
  do {
    n = ::read(fd, buffer, allowed);
  } while (n < 0 && errno == EINTR);
  return n;
}

ssize_t FaultWrite(void* cookie, const char* buffer, size_t size) {
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(cookie));
  const size_t allowed = Allow(gWriteFaults, size);
  const int fault = errno;
  size_t done = 0;
  while (done < allowed) {
    ssize_t n = ::write(fd, buffer + done, allowed - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return static_cast<ssize_t>(done);
    done += static_cast<size_t>(n);
  }
  if (allowed < size) errno = fault;
  return static_cast<ssize_t>(done);  // short: the stream records an error
}

int FaultSeek(void* cookie, off64_t* offset, int whence) {
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(cookie));
  const off64_t result = ::lseek64(fd, *offset, whence);
  if (result < 0) return -1;
  *offset = result;
  return 0;
}

int FaultClose(void* cookie) { return ::close(static_cast<int>(reinterpret_cast<intptr_t>(cookie))); }

FILE* OpenWithFaults(int fd, const char* mode) {
  cookie_io_functions_t functions{FaultRead, FaultWrite, FaultSeek, FaultClose};
  return ::fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(fd)), mode, functions);
}

struct TempDirState {
  std::mutex fMutex;
  bool fOverridden = false;
  std::string fDirectory;
};

TempDirState& TempState() {
  static TempDirState state;
  return state;
}

// Fills `bytes` from the kernel's random source; false when it cannot.
bool RandomBytes(unsigned char* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t got = getrandom(bytes + done, count - done, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(got);
  }
  return true;
}

constexpr char SUFFIX_ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t SUFFIX_LENGTH = 16;  // 62^16, about 95 bits
constexpr int MAX_ATTEMPTS = 100;

// A random suffix of SUFFIX_LENGTH characters (rejection sampling keeps each
// character uniform over the 62-character alphabet).
bool RandomSuffix(std::string& suffix) {
  constexpr unsigned ALPHABET = sizeof SUFFIX_ALPHABET - 1;
  constexpr unsigned LIMIT = 256 - 256 % ALPHABET;
  suffix.clear();
  unsigned char bytes[64];
  while (suffix.size() < SUFFIX_LENGTH) {
    if (!RandomBytes(bytes, sizeof bytes)) return false;
    for (unsigned char b : bytes) {
      if (b >= LIMIT) continue;
      suffix.push_back(SUFFIX_ALPHABET[b % ALPHABET]);
      if (suffix.size() == SUFFIX_LENGTH) break;
    }
  }
  return true;
}

// open(2) flags for a C-library fopen mode; false for an invalid mode.
bool OpenFlags(const char* mode, int& flags) {
  if (mode == nullptr) return false;
  bool plus = std::strchr(mode, '+') != nullptr;
  switch (mode[0]) {
    case 'r':
      flags = plus ? O_RDWR : O_RDONLY;
      break;
    case 'w':
      flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
      break;
    case 'a':
      flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
      break;
    default:
      return false;
  }
  if (std::strchr(mode, 'x') != nullptr) flags |= O_EXCL;
  flags |= O_NOFOLLOW | O_CLOEXEC;
  return true;
}

}  // namespace

void FailFileWritesAfter(int64_t bytes, int error) {
  gWriteFaults.fError = error;
  gWriteFaults.fLeft = bytes < 0 ? 0 : bytes;
}

void FailFileReadsAfter(int64_t bytes, int error) {
  gReadFaults.fError = error;
  gReadFaults.fLeft = bytes < 0 ? 0 : bytes;
}

void ClearFileFaults() {
  gWriteFaults.fLeft = -1;
  gReadFaults.fLeft = -1;
}

namespace detail {

bool FileFaultsArmed() { return gWriteFaults.fLeft.load() >= 0 || gReadFaults.fLeft.load() >= 0; }
size_t AllowFileWrite(size_t count) { return Allow(gWriteFaults, count); }
size_t AllowFileRead(size_t count) { return Allow(gReadFaults, count); }

}  // namespace detail

void SetTempDirectory(const std::string& directory) {
  std::lock_guard<std::mutex> lock(TempState().fMutex);
  TempState().fOverridden = true;
  TempState().fDirectory = directory;
}

std::string TempDirectory() {
  {
    std::lock_guard<std::mutex> lock(TempState().fMutex);
    if (TempState().fOverridden) return TempState().fDirectory;
  }
  const char* env = std::getenv("TMPDIR");
  return env != nullptr && env[0] != '\0' ? std::string(env) : std::string("/tmp");
}

}  // namespace standin

char* FormTempName(const char* prefix, char* buffer) {
  if (buffer == nullptr) return nullptr;
  buffer[0] = '\0';
  std::string head = prefix != nullptr ? prefix : "";
  if (head.find('/') != std::string::npos) {  // a prefix must not leave the directory
    errno = EINVAL;
    return nullptr;
  }
  std::string directory = standin::TempDirectory();
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  std::string suffix;
  for (int attempt = 0; attempt < standin::MAX_ATTEMPTS; ++attempt) {
    if (!standin::RandomSuffix(suffix)) return nullptr;
    std::string path = directory + (directory == "/" ? "" : "/") + head + suffix;
    if (path.size() + 1 > VORM_TEMP_NAME_MAX) {
      errno = ENAMETOOLONG;
      return nullptr;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;  // a name taken by chance: draw another
      return nullptr;
    }
    ::fchmod(fd, 0600);  // exactly owner read/write, whatever the umask
    ::close(fd);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return buffer;
  }
  errno = EEXIST;
  return nullptr;
}

void ExtNameStr::SetGeneric(const std::string& genericName) { fName = genericName; }

FILE* ExtNameStr::fopen(const char* mode) const {
  int flags = 0;
  if (!standin::OpenFlags(mode, flags)) {
    errno = EINVAL;
    return nullptr;
  }
  if (fName.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  // Truncate only a file that has content: truncating a file (even an empty
  // one) makes some file systems write its new data back as soon as it is
  // closed, which is costly for a temporary file that is about to be
  // re-read and deleted.
  const bool truncate = (flags & O_TRUNC) != 0;
  int fd = ::open(fName.c_str(), flags & ~O_TRUNC, 0666);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (truncate && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
      ::ftruncate(fd, 0) != 0) {
    int saved = errno;
    ::close(fd);
    errno = saved;
    return nullptr;
  }
  FILE* stream = standin::detail::FileFaultsArmed() ? standin::OpenWithFaults(fd, mode) : ::fdopen(fd, mode);
  if (stream == nullptr) {
    int saved = errno;
    ::close(fd);
    errno = saved;
  }
  return stream;
}

int ExtNameStr::remove() const {
  if (fName.empty()) {
    errno = ENOENT;
    return -1;
  }
  return ::unlink(fName.c_str());
}
