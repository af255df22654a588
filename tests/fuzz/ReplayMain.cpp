// Runs a fuzz target once on each file given (directories: each regular
// file in them, in name order), without libFuzzer. The seed corpora and every
// input that once made a target fail run this way in each build of the test
// suite, so a fixed crash stays fixed. Prints the files it ran; exits 1 when
// it found no file at all.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzSupport.h"

namespace {

bool RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
  std::fflush(stdout);
  // A copy of exactly the input's size, so reads past its end are caught.
  std::vector<uint8_t> input(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  size_t files = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      std::vector<std::filesystem::path> entries;
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) entries.push_back(entry.path());
      }
      std::sort(entries.begin(), entries.end());
      for (const auto& entry : entries) {
        ok = RunFile(entry) && ok;
        ++files;
      }
    } else {
      ok = RunFile(path) && ok;
      ++files;
    }
  }
  std::printf("%zu inputs\n", files);
  return ok && files > 0 ? 0 : 1;
}
