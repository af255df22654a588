#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "KvoError.h"
#include "Report.h"

namespace kvo {
namespace {

namespace fs = std::filesystem;

std::string Reason(int error) { return std::strerror(error != 0 ? error : EIO); }

}  // namespace

ReportFile::ReportFile(std::string path, std::string shown)
    : fPath(std::move(path)), fShown(shown.empty() ? fPath : std::move(shown)) {
  std::error_code error;
  const fs::file_status status = fs::status(fPath, error);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    const char* kind = fs::is_directory(status) ? "a directory" : "not a regular file";
    throw InputError(fShown + ": cannot write the report there: it is " + kind + "; give a file name");
  }
  const fs::path target(fPath);
  if (!target.has_filename()) throw InputError(fShown + ": cannot write the report there: give a file name");
  fs::path directory = target.parent_path();
  if (directory.empty()) directory = ".";
  std::string pattern = (directory / ("." + target.filename().string() + ".kvo-new-XXXXXX")).string();
  fFd = ::mkstemp(pattern.data());
  if (fFd < 0) throw InputError(fShown + ": cannot write the report: " + Reason(errno));
  fTemporary = pattern;
  // mkstemp makes the file private; the report gets the modes of any new file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fFd, 0666 & ~mask);
}

ReportFile::~ReportFile() {
  if (!fbCommitted) Discard();
}

void ReportFile::Discard() {
  if (fFd >= 0) ::close(fFd);
  fFd = -1;
  // Only the regular file this object made is removed.
  struct stat info {};
  if (!fTemporary.empty() && ::lstat(fTemporary.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    ::unlink(fTemporary.c_str());
  }
  fTemporary.clear();
}

void ReportFile::Write(const std::string& page) {
  if (fFd < 0) throw InputError(fShown + ": cannot write the report: " + Reason(EBADF));
  const char* data = page.data();
  size_t left = page.size();
  int error = 0;
  while (left > 0) {
    const ssize_t written = ::write(fFd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error = written < 0 ? errno : ENOSPC;
      break;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  const int fd = fFd;
  fFd = -1;
  if (::close(fd) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  if (error == 0) return;
  Discard();
  throw InputError(fShown + ": cannot write the report: " + Reason(error));
}

void ReportFile::Commit() {
  if (fTemporary.empty() || fFd >= 0)
    throw InputError(fShown + ": cannot write the report: it was not written");
  if (::rename(fTemporary.c_str(), fPath.c_str()) != 0) {
    const int error = errno;
    Discard();
    throw InputError(fShown + ": cannot put the report in place: " + Reason(error));
  }
  fbCommitted = true;
}

}  // namespace kvo
