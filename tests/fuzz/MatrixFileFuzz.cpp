// Fuzz target: kvo's matrix-file reader (ReadMatrixFile) for a string
// variable "region" (width 4) and a numeric variable "grade".
//
// Input: one byte choosing the delimiter (',', ';', tab), then the file.
//
// Properties: a refused file gives the input error (exit code 1) with a
// one-line message that begins with the file's path; no other exception
// escapes. A file that is read yields one entry per combination row (no row
// silently replaces another), each found again under its own key, with a
// finite value and a region that is UTF-8 text.
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "KvoError.h"
#include "MatrixFile.h"
#include "standin/MemoryDataSource.h"

namespace {

constexpr int REGION_WIDTH = 4;

const standin::MemoryDataSource& Data() {
  static const std::unique_ptr<standin::MemoryDataSource> data = [] {
    auto made = std::make_unique<standin::MemoryDataSource>();
    made->AddString("region", REGION_WIDTH);
    made->AddNumeric("grade");
    return made;
  }();
  return *data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvo_fuzz::FuzzBytes in(data, size);
  static constexpr char DELIMITERS[] = {',', ';', '\t'};
  const char delimiter = DELIMITERS[in.Byte() % 3];
  const std::string text(in.Rest());
  kvo_fuzz::MemoryFile file(text);

  std::unique_ptr<kvo::MatrixRecode> recode;
  try {
    recode = kvo::ReadMatrixFile(file.Path(), {0, 1}, Data(), delimiter);
  } catch (const kvo::KvoError& error) {
    const std::string message = error.what();
    FUZZ_CHECK(error.Code() == kvo::EXIT_BAD_INPUT);
    FUZZ_CHECK(message.compare(0, file.Path().size(), file.Path()) == 0);
    FUZZ_CHECK(message.find('\n') == std::string::npos);
    return 0;
  }
  FUZZ_CHECK(recode != nullptr && recode->fpMap != nullptr);
  const std::vector<kvo::CsvRow> rows = kvo::SplitCsvText(text, delimiter, file.Path());
  FUZZ_CHECK(rows.size() >= 2);
  FUZZ_CHECK(recode->fpMap->Size() == rows.size() - 1);
  FUZZ_CHECK(recode->fpMap->CellSize() == 2 + 1);
  for (const OBS* entry : recode->fpMap->Sort()) {
    const OBS* value = recode->fpMap->Contains(entry);
    FUZZ_CHECK(value == entry + 2);
    FUZZ_CHECK(std::isfinite(value->num));
    // The region as the host holds it: UTF-8, blank padded.
    std::string region(entry->str, REGION_WIDTH);
    while (!region.empty() && region.back() == ' ') region.pop_back();
    FUZZ_CHECK(kvo_fuzz::IsUtf8(region));
  }
  return 0;
}
