// Proof that a test leaves nothing in the temporary directory: a watch lists
// the directory when made and reports the entries that appeared since. The
// fixture TempDirCheckedTest gives each test a private temporary directory
// and fails the test if anything is left in it. Single-threaded test use.
#ifndef KVO_TESTS_SUPPORT_TEMPDIRWATCH_H
#define KVO_TESTS_SUPPORT_TEMPDIRWATCH_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "standin/HostControl.h"

namespace kvo_test {

// The names of the entries of `directory` (empty when it cannot be read).
inline std::set<std::string> ListDirectory(const std::string& directory) {
  std::set<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
       it.increment(error)) {
    names.insert(it->path().filename().string());
  }
  return names;
}

class TempDirWatch {
 public:
  explicit TempDirWatch(std::string directory = standin::TempDirectory())
      : fDirectory(std::move(directory)), fBefore(ListDirectory(fDirectory)) {}
  TempDirWatch(const TempDirWatch&) = delete;
  TempDirWatch& operator=(const TempDirWatch&) = delete;

  const std::string& Directory() const { return fDirectory; }
  // Entries present now that were not there when the watch was made.
  std::vector<std::string> NewEntries() const {
    std::vector<std::string> added;
    for (const std::string& name : ListDirectory(fDirectory)) {
      if (fBefore.count(name) == 0) added.push_back(name);
    }
    return added;
  }

 private:
  std::string fDirectory;
  std::set<std::string> fBefore;
};

inline std::string JoinNames(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ", ") + name;
  return joined;
}

// Sets the host's temporary directory for a scope and restores it after.
class ScopedTempDirectory {
 public:
  explicit ScopedTempDirectory(const std::string& directory) : fSaved(standin::TempDirectory()) {
    standin::SetTempDirectory(directory);
  }
  ~ScopedTempDirectory() { standin::SetTempDirectory(fSaved); }
  ScopedTempDirectory(const ScopedTempDirectory&) = delete;
  ScopedTempDirectory& operator=(const ScopedTempDirectory&) = delete;

 private:
  std::string fSaved;
};

// A fresh directory inside the host's temporary directory that serves as
// the host's temporary directory for the object's life; removed with all its
// contents afterwards. Keeps test programs that run at the same time from
// seeing each other's files.
class PrivateTempDirectory {
 public:
  PrivateTempDirectory() : fPath(MakeDirectory()), fScope(fPath) {}
  ~PrivateTempDirectory() {
    std::error_code error;
    std::filesystem::remove_all(fPath, error);
  }
  PrivateTempDirectory(const PrivateTempDirectory&) = delete;
  PrivateTempDirectory& operator=(const PrivateTempDirectory&) = delete;

  const std::string& Path() const { return fPath; }

 private:
  static std::string MakeDirectory() {
    std::string pattern = standin::TempDirectory() + "/kvotest_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create " << pattern;
    return pattern;
  }

  std::string fPath;
  ScopedTempDirectory fScope;
};

// Fixture base: each test gets its own temporary directory, which must be
// empty again when the test ends.
class TempDirCheckedTest : public ::testing::Test {
 protected:
  void TearDown() override {
    const std::vector<std::string> left = fWatch.NewEntries();
    EXPECT_TRUE(left.empty()) << "left in " << fWatch.Directory() << ": " << JoinNames(left);
  }

  PrivateTempDirectory fTempDir;
  TempDirWatch fWatch;
};

}  // namespace kvo_test

#endif  // KVO_TESTS_SUPPORT_TEMPDIRWATCH_H
