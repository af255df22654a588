// A matrix recode read from its CSV file: the header names the matrix
// variables and then "value"; each further row is one known combination of
// the variables' values and the number it stands for. The result owns the
// variable list, the combination map and the formats that a matrix
// specification points to, so it must outlive the specification list and
// the adapters. Built and read by one thread.
#ifndef KVO_TOOL_MATRIXFILE_H
#define KVO_TOOL_MATRIXFILE_H

#include <vorm/Dictionary.h>
#include <vorm/ObsVecMap.h>

#include <memory>
#include <string>
#include <vector>

namespace kvo {

struct MatrixRecode {
  std::vector<int> fvVarIndices;
  std::unique_ptr<ObsVecMap> fpMap;
  std::vector<VORM_Format> fvFormats;
  std::string fPath;
};

// Reads `path` (fields separated by `delimiter`, double quotes around fields
// that hold one, UTF-8 text) for the variables `varIndices` of `dataSource`.
// Throws KvoError(EXIT_BAD_INPUT) naming the file, line and column for a
// file that cannot be read, a header that does not name the variables and
// "value" in order, a value that is not a number where one is needed, a
// string longer than its variable, a repeated combination, or no rows.
std::unique_ptr<MatrixRecode> ReadMatrixFile(const std::string& path, const std::vector<int>& varIndices,
                                             const VORM_DataSource& dataSource, char delimiter);

// One row of a small delimited text file, with the line it starts on.
struct CsvRow {
  int fLine = 0;
  std::vector<std::string> fvFields;
};

// Splits a whole delimited text into rows (quotes, doubled quotes inside
// them, LF or CRLF line ends; blank lines are skipped). Throws
// KvoError(EXIT_BAD_INPUT) naming `name` and the line for a quote that is
// never closed.
std::vector<CsvRow> SplitCsvText(const std::string& text, char delimiter, const std::string& name);

}  // namespace kvo

#endif  // KVO_TOOL_MATRIXFILE_H
