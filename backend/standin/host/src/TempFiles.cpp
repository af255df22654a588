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

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "standin/HostControl.h"

namespace standin {
namespace {

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
  FILE* stream = ::fdopen(fd, mode);
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
