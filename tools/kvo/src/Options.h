// The command line of kvo: the options of each command as plain values, and
// the parser that fills them from argv and checks everything that can be
// checked without the data (numbers, choices, combinations). Variable names
// are resolved later, against the data's dictionary. Plain values; any
// thread may parse.
#ifndef KVO_TOOL_OPTIONS_H
#define KVO_TOOL_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

namespace kvo {

// How the CSV file is found and read; shared by every command.
struct LoadOptions {
  std::string fDataPath;
  // The schema given with --schema, or DATA.schema.json next to the data
  // (DATA without its .csv ending) when the option is left out.
  std::string fSchemaPath;
  bool fbSchemaGiven = false;
  std::string fEncoding = "UTF-8";
  char fDelimiter = ',';
};

struct DescribeOptions {
  LoadOptions fLoad;
  bool fbJson = false;
};

enum class UserMissing { Exclude, Include };
enum class MissingRule { Listwise, Include };
enum class WeightAdjust { Round, Truncate, AsIs };
// How the record files are written: kvo's fixed-width text, CSV with a
// header row, or NumPy's .npy array file.
enum class RecordFormat { Text, Csv, Npy };
// How categories are numbered: by first appearance, by ascending value, or
// in the order of the schema's category list.
enum class CodeOrder { Appearance, Value, Schema };

// One --matrix option as given: VARS=FILE. Where the name list ends is
// decided against the dictionary, since names may contain '='.
struct MatrixOption {
  std::string fText;
};

struct PrepareOptions {
  LoadOptions fLoad;
  // Record variables, in the order given (comma lists, options repeatable).
  std::vector<std::string> fvCat;
  std::vector<std::string> fvCont;
  std::vector<MatrixOption> fvMatrix;
  UserMissing fUserMissing = UserMissing::Exclude;
  MissingRule fMissing = MissingRule::Listwise;
  bool fbStrongListwise = false;
  std::string fWeight;  // empty: unweighted
  WeightAdjust fWeightAdjust = WeightAdjust::Round;
  std::vector<std::string> fvSplitBy;
  // Random partitioning: 2 or 3 percentages (empty: none).
  std::vector<double> fvPartition;
  uint64_t fSeed = 2000000;
  // Partitioning by a variable (empty: none) into fParts partitions.
  std::string fPartitionVar;
  int fParts = 2;
  std::string fDepend;
  int fFolds = 0;  // 0: no cross-validation folds
  std::vector<std::string> fvSortBy;
  std::string fOutDir;      // empty: no files written
  std::string fReportPath;  // the HTML report to write; empty: none
  RecordFormat fFormat = RecordFormat::Text;
  CodeOrder fOrder = CodeOrder::Appearance;
  // The summary.json of an earlier run whose codes this run applies (empty:
  // codes are given by fOrder).
  std::string fCodesFrom;
  bool fbJson = false;
  double fTimeLimit = 0.0;  // seconds; 0: none
  bool fbQuiet = false;

  bool Partitioned() const { return !fvPartition.empty() || !fPartitionVar.empty(); }
};

// kvo report: draws the HTML report of an earlier run from its summary.
struct ReportOptions {
  std::string fSummaryPath;
  std::string fReportPath;
};

struct ScoreOptions {
  LoadOptions fLoad;
  std::string fModelPath;
  std::vector<std::string> fvTargets;  // empty: every model output
  // Exclude: numeric user-missing values go to the model as missing.
  UserMissing fUserMissing = UserMissing::Exclude;
  std::string fOutputPath;  // empty: standard output
  bool fbQuiet = false;
};

// What the command line asks for. For kHelp (help or version requested)
// fText is what to print on standard output; for kError fText is the
// one-line message and fExitCode the exit code (2).
struct ParsedCommand {
  enum Kind { kHelp, kError, kDescribe, kPrepare, kScore, kReport };
  Kind fKind = kError;
  int fExitCode = 0;
  std::string fText;
  DescribeOptions fDescribe;
  PrepareOptions fPrepare;
  ScoreOptions fScore;
  ReportOptions fReport;
};

// Parses the arguments after the program name.
ParsedCommand ParseCommandLine(const std::vector<std::string>& args);

// Splits a comma list into its items, dropping empty ones ("a,,b" gives a
// and b). Items keep their blanks: names may contain them. An item in double
// quotes (blanks around them allowed) is taken whole, commas included, with
// "" for a quote inside: "\"a,b\",c" gives a,b and c. A quote that is not
// closed, or text after a closing quote, leaves the item as written.
std::vector<std::string> SplitList(const std::string& text);

// The program's version text.
const char* VersionText();

// The option words of the choices, as the command line spells them.
const char* FormatName(RecordFormat format);
const char* OrderName(CodeOrder order);
const char* UserMissingName(UserMissing rule);
const char* MissingName(MissingRule rule);
const char* WeightAdjustName(WeightAdjust adjust);

}  // namespace kvo

#endif  // KVO_TOOL_OPTIONS_H
