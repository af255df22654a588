// The hostile-input corpus against the stand-in loaders, line by line of
// MANIFEST: the CSV and schema files that kvo must refuse (exit 1) are
// refused by LoadCsvDataSource with a message that begins with the file's
// path; the good files they are paired with load; the models that kvo must
// refuse are refused by the scorer factory with a reason. (kvo puts each
// message on one line; BadInputKvo checks that.) Nothing is left in TMPDIR,
// and nothing leaks (LeakSanitizer).
#include <gtest/gtest.h>
#include <qor/Scoring.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "standin/CsvLoader.h"
#include "support/TempDirWatch.h"

namespace {

const std::string CORPUS = std::string(KVO_SOURCE_DIR) + "/tests/bad-input";

// One line of MANIFEST.
struct ManifestLine {
  int fExpected = 0;
  std::string fText;
  std::string fCsv, fSchema, fModel;  // full paths, empty when not given
  std::string fHostile;               // relative to the corpus
  bool fbDevice = false;              // names a device (/dev/...): only kvo itself checks it
  standin::CsvOptions fOptions;
};

std::vector<ManifestLine> ReadManifest() {
  std::vector<ManifestLine> lines;
  std::ifstream manifest(CORPUS + "/MANIFEST");
  EXPECT_TRUE(manifest.good()) << CORPUS;
  std::string line;
  while (std::getline(manifest, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    ManifestLine entry;
    entry.fText = line;
    std::string command, word;
    words >> entry.fExpected >> command;
    std::vector<std::string> args;
    while (words >> word) {
      if (word.find("/dev/") != std::string::npos) entry.fbDevice = true;
      args.push_back(word);
    }
    for (size_t i = 0; i < args.size(); ++i) {
      const std::string& arg = args[i];
      const std::string next = i + 1 < args.size() ? args[i + 1] : "";
      if (arg == "--schema") entry.fSchema = CORPUS + "/" + next;
      if (arg == "--model") entry.fModel = CORPUS + "/" + next;
      if (arg == "--encoding") entry.fOptions.fEncoding = next;
      if (arg == "--delimiter" && !next.empty()) entry.fOptions.fDelimiter = next[0];
      if (i == 0 && arg.rfind("--", 0) != 0) entry.fCsv = CORPUS + "/" + arg;
      const std::string path = arg.substr(arg.find('=') + 1);
      for (const char* dir : {"csv/", "schema/", "model/", "matrix/"}) {
        if (path.rfind(dir, 0) == 0) entry.fHostile = path;
      }
    }
    lines.push_back(entry);
  }
  return lines;
}

bool Under(const std::string& path, const char* dir) { return path.rfind(dir, 0) == 0; }

class BadInputLoaderTest : public kvo_test::TempDirCheckedTest {};

TEST_F(BadInputLoaderTest, DataAndSchemaFilesThatKvoRefusesAreRefusedNamingTheFile) {
  int refused = 0;
  for (const ManifestLine& run : ReadManifest()) {
    if (run.fCsv.empty() || run.fSchema.empty() || run.fbDevice) continue;
    SCOPED_TRACE(run.fText);
    std::string error;
    std::unique_ptr<standin::MemoryDataSource> data =
        standin::LoadCsvDataSource(run.fCsv, run.fSchema, run.fOptions, error);
    const bool mustRefuse =
        run.fExpected == 1 && (Under(run.fHostile, "csv/") || Under(run.fHostile, "schema/"));
    if (!mustRefuse) {
      EXPECT_NE(data, nullptr) << error;
      continue;
    }
    ++refused;
    EXPECT_EQ(data, nullptr);
    const std::string path = CORPUS + "/" + run.fHostile;
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
  }
  EXPECT_GE(refused, 50);
}

TEST_F(BadInputLoaderTest, ModelsThatKvoRefusesAreRefusedWithAReason) {
  int refused = 0;
  for (const ManifestLine& run : ReadManifest()) {
    if (run.fModel.empty() || run.fbDevice) continue;
    SCOPED_TRACE(run.fText);
    std::ifstream file(run.fModel, std::ios::binary);
    ASSERT_TRUE(file.good());
    QorXML::QorSettings settings;
    QorScoring::QorScorerFactory factory;
    std::unique_ptr<QorXML::IQorScoreComputer> computer(factory.CreateQorScoringObject(settings, file));
    if (run.fExpected != 1 || !Under(run.fHostile, "model/")) {
      EXPECT_NE(computer, nullptr) << factory.LastError();
      continue;
    }
    ++refused;
    EXPECT_EQ(computer, nullptr);
    EXPECT_FALSE(factory.LastError().empty());
  }
  EXPECT_GE(refused, 20);
}

}  // namespace
