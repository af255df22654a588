// What every example program shares: opening the bundled sample data set
// the way kvo does (the CSV file and its schema, loaded by the stand-in
// host's CSV loader into an in-memory data source) and finding variables.
#ifndef KVO_EXAMPLES_SAMPLE_DATA_H
#define KVO_EXAMPLES_SAMPLE_DATA_H

#include <standin/CsvLoader.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace examples {

// [load]
// Loads DIR/sample.csv, described by DIR/sample.schema.json. Null, with the
// loader's message (file, line, column) on stderr, when either is bad.
inline std::unique_ptr<standin::MemoryDataSource> LoadSample(const std::string& dir) {
  std::string error;
  std::unique_ptr<standin::MemoryDataSource> data = standin::LoadCsvDataSource(
      dir + "/sample.csv", dir + "/sample.schema.json", standin::CsvOptions(), error);
  if (!data) std::fprintf(stderr, "%s\n", error.c_str());
  return data;
}
// [load]

// The host index of a variable; ends the program when the data lack it.
inline int Find(const VORM_DataSource& data, const char* name) {
  const int index = data.FindVarIndex(name, 0);
  if (index < 0) {
    // The exit code reports the failure; a lost message changes nothing.
    std::fprintf(stderr, "the sample data have no variable %s\n", name);
    std::exit(1);
  }
  return index;
}

// The data directory from the command line; ends the program without one.
inline std::string DataDirectory(int argc, char** argv, const char* usage) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s %s\n", argv[0], usage);
    std::exit(2);
  }
  return argv[1];
}

}  // namespace examples

#endif  // KVO_EXAMPLES_SAMPLE_DATA_H
