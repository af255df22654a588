#include "OutputDirectory.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "KvoError.h"

namespace kvo {
namespace {

namespace fs = std::filesystem;

const char* const RECORD_FILES[] = {"records.txt", "training.txt", "test.txt", "holdout.txt"};

bool IsRecordFileName(const std::string& name) {
  for (const char* known : RECORD_FILES) {
    if (name == known) return true;
  }
  return false;
}

// "all", or "split-" and a group number from 1.
bool IsGroupName(const std::string& name) {
  if (name == "all") return true;
  const std::string prefix = "split-";
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
  if (name[prefix.size()] == '0') return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

bool IsGroupDirectory(const fs::directory_entry& entry) {
  if (!entry.is_directory() || entry.is_symlink()) return false;
  if (!IsGroupName(entry.path().filename().string())) return false;
  std::error_code error;
  for (const fs::directory_entry& file : fs::directory_iterator(entry.path(), error)) {
    if (!file.is_regular_file() || file.is_symlink() || !IsRecordFileName(file.path().filename().string())) {
      return false;
    }
  }
  return !error;
}

// A new directory named `stem` + a random suffix in `parent`.
std::string MakeUniqueDirectory(const fs::path& parent, const std::string& stem) {
  std::string pattern = (parent / (stem + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return std::string();
  // mkdtemp makes it private; the output gets the modes of any new directory.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::chmod(pattern.c_str(), 0777 & ~mask);
  return pattern;
}

}  // namespace

bool OutputDirectory::IsKvoOutput(const std::string& directory) {
  std::error_code error;
  bool hasSummary = false, hasReport = false, hasOther = false;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory, error)) {
    const std::string name = entry.path().filename().string();
    const bool regular = entry.is_regular_file() && !entry.is_symlink();
    if (name == "summary.json" && regular) {
      hasSummary = true;
    } else if (regular && entry.path().extension() == ".html") {
      hasReport = true;  // a --report written there; kvo's only beside a summary
    } else if (!IsGroupDirectory(entry)) {
      hasOther = true;
    }
  }
  if (error) return false;
  if (hasReport && !hasSummary) return false;
  return !hasOther && (hasSummary || fs::is_empty(directory, error));
}

OutputDirectory::OutputDirectory(const std::string& target) {
  fs::path path = fs::path(target).lexically_normal();
  if (path.has_filename() == false && path.has_parent_path()) path = path.parent_path();
  fTarget = path.string();
  std::error_code error;
  const fs::file_status status = fs::symlink_status(path, error);
  if (fs::exists(status)) {
    if (!fs::is_directory(status)) {
      throw UsageError("--out: " + target +
                       " is not a directory (give a new directory for the record files)");
    }
    if (!IsKvoOutput(fTarget)) {
      throw UsageError(
          "--out: " + target +
          " holds files that kvo did not write; give a new or empty directory, or an earlier kvo "
          "output directory (which is replaced)");
    }
  }
  fs::path parent = path.parent_path();
  if (parent.empty()) parent = ".";
  fs::create_directories(parent, error);
  fStaging = MakeUniqueDirectory(parent, "." + path.filename().string() + ".kvo-new-");
  if (fStaging.empty()) {
    throw InputError("--out: cannot create a directory beside " + target + ": " + std::strerror(errno));
  }
}

OutputDirectory::~OutputDirectory() {
  if (fbCommitted || fStaging.empty()) return;
  std::error_code error;
  fs::remove_all(fStaging, error);
}

void OutputDirectory::Commit() {
  std::error_code error;
  fs::path path(fTarget);
  fs::path parent = path.parent_path();
  if (parent.empty()) parent = ".";
  std::string old;
  if (fs::exists(fs::symlink_status(path, error))) {
    // The earlier output moves aside first (over an empty directory of a
    // unique name), so that the new one can take its place.
    old = MakeUniqueDirectory(parent, "." + path.filename().string() + ".kvo-old-");
    if (old.empty() || ::rename(fTarget.c_str(), old.c_str()) != 0) {
      const int saved = errno;
      if (!old.empty()) fs::remove(old, error);
      throw InputError("--out: cannot replace " + fTarget + ": " + std::strerror(saved));
    }
  }
  if (::rename(fStaging.c_str(), fTarget.c_str()) != 0) {
    const int saved = errno;
    if (!old.empty()) ::rename(old.c_str(), fTarget.c_str());  // put the earlier output back
    throw InputError("--out: cannot move the new files into " + fTarget + ": " + std::strerror(saved));
  }
  fbCommitted = true;
  if (!old.empty()) fs::remove_all(old, error);
}

}  // namespace kvo
