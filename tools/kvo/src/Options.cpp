#include "Options.h"

#include <iconv.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "KvoError.h"
#include "standin/CsvLoader.h"

#ifndef KVO_VERSION
#define KVO_VERSION "0.0.0"
#endif

namespace kvo {
namespace {

constexpr const char* DESCRIPTION =
    "kvo: a reference host procedure over the kvoadapter library. It reads a CSV file\n"
    "described by a JSON schema and prepares it for modeling.";

constexpr const char* PREPARE_FOOTER = R"(
The record holds, in this order: the --cat variables, the --cont variables, one slot
per --matrix, the partition indicator, the fold number, the weight, the local and
the global case counter. Names match the CSV header without regard to letter case.
In a comma list of names, a name in double quotes is taken whole, commas and all;
a quote inside it is doubled: --cat '"a,b",c' names a,b and c.

Examples:
  kvo prepare data/sample/sample.csv --cat gender,occupation --cont age,income
  kvo prepare data/sample/sample.csv --cat gender --cont age --weight weight \
      --split-by country --partition 70,30 --out prepared
  kvo prepare data.csv --schema data.schema.json --cat region --partition-var part --parts 3 --json

Exit codes: 0 success, 1 bad data, schema, matrix file or output, 2 bad usage,
3 no valid cases, 4 time limit reached, 130 interrupted.
)";

// The words of a choice option, in the order of its enumeration.
constexpr const char* FORMAT_WORDS[] = {"text", "csv", "npy"};
constexpr const char* ORDER_WORDS[] = {"appearance", "value", "schema"};
constexpr const char* USER_MISSING_WORDS[] = {"exclude", "include"};
constexpr const char* MISSING_WORDS[] = {"listwise", "include"};
constexpr const char* WEIGHT_ADJUST_WORDS[] = {"round", "truncate", "asis"};

// The enumerator whose word is `text`; a usage error naming the option and
// the words otherwise.
template <class Enum, size_t N>
Enum Choice(const std::string& option, const std::string& text, const char* const (&words)[N]) {
  std::string list;
  for (size_t i = 0; i < N; ++i) {
    if (text == words[i]) return static_cast<Enum>(i);
    list += std::string(i == 0 ? "" : i + 1 == N ? " or " : ", ") + words[i];
  }
  throw UsageError("prepare: " + option + ": '" + text + "' is not " + list);
}

// Adds an option that may be given several times, each time with one value
// (a comma list for the name options); the values are collected in order.
CLI::Option* AddRepeatable(CLI::App& app, const std::string& name, std::vector<std::string>& values,
                           const std::string& help) {
  return app.add_option(name, values, help)
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->type_name("NAMES");
}

void AddLoadOptions(CLI::App& app, LoadOptions& load, std::string& delimiter) {
  app.add_option("DATA", load.fDataPath,
                 "the CSV file (a header row of variable names, then one row per case); DATA.csv.gz is "
                 "read as gzip-compressed text, - reads standard input (with --schema)")
      ->required()
      ->type_name("DATA.csv");
  app.add_option("--schema", load.fSchemaPath,
                 "the JSON schema describing the columns (default: DATA.schema.json beside DATA.csv or "
                 "DATA.csv.gz)")
      ->type_name("SCHEMA.json");
  app.add_option("--encoding", load.fEncoding, "the data's code page (default UTF-8)")->type_name("NAME");
  app.add_option("--delimiter", delimiter, "the field delimiter: one character, or 'tab' (default ,)")
      ->type_name("C");
}

std::vector<std::string> SplitAll(const std::vector<std::string>& texts) {
  std::vector<std::string> items;
  for (const std::string& text : texts) {
    for (std::string& item : SplitList(text)) items.push_back(std::move(item));
  }
  return items;
}

// A number in full (blanks around it allowed), or false.
bool ParseNumber(const std::string& text, double& value) {
  size_t begin = text.find_first_not_of(' ');
  size_t end = text.find_last_not_of(' ');
  if (begin == std::string::npos) return false;
  const char* first = text.data() + begin;
  const char* last = text.data() + end + 1;
  auto [ptr, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && ptr == last && std::isfinite(value);
}

bool ParseInteger(const std::string& text, long long& value) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(first, last, value);
  return !text.empty() && ec == std::errc() && ptr == last;
}

// Drops `ending` (lower case) from the end of `text` when it ends so in any
// letter case and something is left before it.
bool DropEnding(std::string& text, const std::string& ending) {
  if (text.size() <= ending.size()) return false;
  std::string end = text.substr(text.size() - ending.size());
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (end != ending) return false;
  text.resize(text.size() - ending.size());
  return true;
}

using standin::STANDARD_INPUT;

void CheckLoad(LoadOptions& load, const std::string& delimiter, const std::string& command) {
  load.fbSchemaGiven = !load.fSchemaPath.empty();
  if (load.fDataPath == STANDARD_INPUT && !load.fbSchemaGiven) {
    throw UsageError(command + ": the data come from standard input (-): give their schema with --schema");
  }
  if (!load.fbSchemaGiven) {
    // DATA.csv, DATA.csv.gz and DATA.gz all have DATA.schema.json.
    std::string base = load.fDataPath;
    DropEnding(base, ".gz");
    DropEnding(base, ".csv");
    load.fSchemaPath = base + ".schema.json";
  }
  if (delimiter == "tab" || delimiter == "\\t" || delimiter == "\t") {
    load.fDelimiter = '\t';
  } else if (delimiter.size() == 1 && delimiter[0] != '"' && delimiter[0] != '\n' && delimiter[0] != '\r') {
    load.fDelimiter = delimiter[0];
  } else {
    throw UsageError(command + ": --delimiter: '" + delimiter +
                     "' is not one character other than a quote or a line end (use 'tab' for a tab)");
  }
  iconv_t probe = iconv_open("UTF-8", load.fEncoding.c_str());
  if (probe == reinterpret_cast<iconv_t>(-1)) {
    throw UsageError(command + ": --encoding: '" + load.fEncoding +
                     "' is not a code page this system knows (try UTF-8, ISO-8859-1 or WINDOWS-1252)");
  }
  iconv_close(probe);
}

// Whether two paths name the same file (an existing one, or the same
// path once made absolute and normal).
bool SameFile(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::equivalent(a, b, error)) return true;
  return fs::absolute(a, error).lexically_normal() == fs::absolute(b, error).lexically_normal();
}

// The scores must not overwrite what they are computed from.
void CheckScoreOutput(const ScoreOptions& s) {
  if (s.fOutputPath.empty()) return;
  for (const std::string* input : {&s.fLoad.fDataPath, &s.fLoad.fSchemaPath, &s.fModelPath}) {
    if (SameFile(s.fOutputPath, *input)) {
      throw UsageError("score: --output: " + s.fOutputPath + " is also an input (" + *input +
                       "); write the scores to another file");
    }
  }
}

std::vector<double> ParsePercentages(const std::string& text) {
  const std::string what = "prepare: --partition: ";
  std::vector<double> shares;
  if (text.find(",,") != std::string::npos || text.front() == ',' || text.back() == ',') {
    throw UsageError(what + "'" + text + "' has an empty share; give 2 or 3 percentages such as 70,30");
  }
  for (const std::string& item : SplitList(text)) {
    double value = 0.0;
    if (!ParseNumber(item, value)) throw UsageError(what + "'" + item + "' is not a percentage");
    shares.push_back(value);
  }
  if (shares.size() < 2 || shares.size() > 3) {
    throw UsageError(what + "give 2 or 3 percentages (training, test[, holdout]), not " +
                     std::to_string(shares.size()));
  }
  double sum = 0.0;
  for (double share : shares) {
    if (share < 0.0) throw UsageError(what + "the percentages cannot be negative: " + text);
    sum += share;
  }
  if (sum > 100.0 + 1e-9) throw UsageError(what + "the percentages add up to more than 100: " + text);
  // Fractions such as 0.7,0.3 would give the training partition 0.7%.
  if (std::all_of(shares.begin(), shares.end(), [](double share) { return share <= 1.0; })) {
    throw UsageError(what + "'" + text + "': shares are percentages, for example 70,30");
  }
  if (shares[0] <= 0.0) throw UsageError(what + "the training partition needs a share above 0: " + text);
  // The last partition takes whatever the shares leave; with a share of 0
  // it would get cases but no file.
  if (shares.back() <= 0.0 && sum < 100.0 - 1e-9) {
    throw UsageError(what + "the last partition has a share of 0 but the shares add up to less than 100: " +
                     text + " (give the last partition the rest, or leave it out)");
  }
  return shares;
}

std::string OneLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  for (char& c : text) {
    if (c == '\n') c = ' ';
  }
  return text;
}

// Each command's options: added to the parser, then, once parsed, checked
// and turned into plain values. The texts hold what needs checking after
// parsing (choices, numbers, lists).
class Command {
 public:
  bool Parsed() const { return fpApp->parsed(); }

 protected:
  // Adds the command with the options every command has.
  void AddCommand(CLI::App& app, const char* name, const char* help, LoadOptions& load) {
    fpApp = app.add_subcommand(name, help);
    AddLoadOptions(*fpApp, load, fDelimiter);
  }

  CLI::App* fpApp = nullptr;
  std::string fDelimiter = ",";  // as given: an empty text is refused
};

class DescribeCommand : public Command {
 public:
  DescribeCommand(CLI::App& app, DescribeOptions& options) : fOptions(options) {
    AddCommand(app, "describe",
               "print the dictionary: names, labels, types, formats, measures, value labels and "
               "user-missing values",
               fOptions.fLoad);
    fpApp->add_flag("--json", fOptions.fbJson, "print the dictionary as JSON");
  }
  void Finish() { CheckLoad(fOptions.fLoad, fDelimiter, "describe"); }

 private:
  DescribeOptions& fOptions;
};

class PrepareCommand : public Command {
 public:
  PrepareCommand(CLI::App& app, PrepareOptions& options) : fOptions(options) {
    AddCommand(app, "prepare",
               "prepare the data for modeling: encode, weight, split, partition and write record files "
               "with a summary",
               fOptions.fLoad);
    fpApp->footer(PREPARE_FOOTER);
    AddRecordOptions();
    AddMissingOptions();
    AddWeightOptions();
    AddPartitionOptions();
    AddCodeOptions();
    AddOutputOptions();
  }
  void Finish() {
    CheckLoad(fOptions.fLoad, fDelimiter, "prepare");
    fOptions.fvCat = SplitAll(fvCat);
    fOptions.fvCont = SplitAll(fvCont);
    for (const std::string& text : fvMatrix) fOptions.fvMatrix.push_back(MatrixOption{text});
    fOptions.fvSplitBy = SplitAll(fvSplitBy);
    fOptions.fvSortBy = SplitAll(fvSortBy);
    fOptions.fUserMissing = Choice<UserMissing>("--user-missing", fUserMissing, USER_MISSING_WORDS);
    fOptions.fMissing = Choice<MissingRule>("--missing", fMissing, MISSING_WORDS);
    fOptions.fWeightAdjust = Choice<WeightAdjust>("--weight-adjust", fWeightAdjust, WEIGHT_ADJUST_WORDS);
    fOptions.fFormat = Choice<RecordFormat>("--format", fFormat, FORMAT_WORDS);
    fOptions.fOrder = Choice<CodeOrder>("--order", fOrder.empty() ? ORDER_WORDS[0] : fOrder, ORDER_WORDS);
    if (!fOptions.fCodesFrom.empty() && !fOrder.empty()) {
      throw UsageError("prepare: --order and --codes-from exclude each other: the codes come from " +
                       fOptions.fCodesFrom);
    }
    if (fOptions.fvCat.empty() && fOptions.fvCont.empty() && fOptions.fvMatrix.empty()) {
      throw UsageError("prepare: the record is empty: give its variables with --cat, --cont or --matrix");
    }
    CheckPartitions();
    CheckNumbers();
    CheckReport();
  }

 private:
  void CheckPartitions() {
    const std::string what = "prepare: ";
    if (!fPartition.empty() && !fOptions.fPartitionVar.empty()) {
      throw UsageError(what + "--partition and --partition-var exclude each other: give one of them");
    }
    if (!fPartition.empty()) fOptions.fvPartition = ParsePercentages(fPartition);
    if (!fParts.empty()) {
      if (fOptions.fPartitionVar.empty()) throw UsageError(what + "--parts goes with --partition-var");
      if (fParts != "2" && fParts != "3") throw UsageError(what + "--parts: '" + fParts + "' is not 2 or 3");
      fOptions.fParts = fParts == "2" ? 2 : 3;
    }
    if (!fOptions.fDepend.empty() && !fOptions.Partitioned()) {
      throw UsageError(what + "--depend needs partitioning (--partition or --partition-var)");
    }
    if (!fFolds.empty()) {
      long long value = 0;
      if (!ParseInteger(fFolds, value) || value < 2 || value > 1000) {
        throw UsageError(what + "--folds: '" + fFolds + "' is not a whole number from 2 to 1000");
      }
      if (!fOptions.Partitioned()) {
        throw UsageError(what +
                         "--folds needs partitioning (--partition or --partition-var): the folds divide "
                         "the training partition");
      }
      fOptions.fFolds = static_cast<int>(value);
    }
  }

  // The report must not overwrite what the run reads.
  void CheckReport() const {
    const std::string& report = fOptions.fReportPath;
    if (report.empty()) return;
    for (const std::string* input :
         {&fOptions.fLoad.fDataPath, &fOptions.fLoad.fSchemaPath, &fOptions.fCodesFrom}) {
      if (!input->empty() && SameFile(report, *input)) {
        throw UsageError("prepare: --report: " + report + " is also an input (" + *input +
                         "); write the report to another file");
      }
    }
  }

  void CheckNumbers() {
    const std::string what = "prepare: ";
    if (!fSeed.empty()) {
      long long value = 0;
      if (!ParseInteger(fSeed, value) || value < 0) {
        throw UsageError(what + "--seed: '" + fSeed + "' is not a whole number of 0 or more");
      }
      fOptions.fSeed = static_cast<uint64_t>(value);
    }
    if (!fTimeLimit.empty()) {
      double value = 0.0;
      if (!ParseNumber(fTimeLimit, value) || value < 0.0) {
        throw UsageError(what + "--time-limit: '" + fTimeLimit + "' is not a number of seconds (0 or more)");
      }
      fOptions.fTimeLimit = value;
    }
  }

  void AddRecordOptions() {
    AddRepeatable(*fpApp, "--cat", fvCat, "categorical record variables (comma-separated, in record order)")
        ->group("Record");
    AddRepeatable(*fpApp, "--cont", fvCont, "continuous record variables (comma-separated, in record order)")
        ->group("Record");
    AddRepeatable(
        *fpApp, "--matrix", fvMatrix,
        "a matrix recode over categorical variables VARS; FILE is a CSV with a column per variable, "
        "then 'value', one row per known combination")
        ->type_name("VARS=FILE")
        ->group("Record");
  }

  void AddMissingOptions() {
    fpApp->add_option("--user-missing", fUserMissing, "user-missing values: exclude (default) or include")
        ->type_name("exclude|include")
        ->group("Missing values");
    fpApp
        ->add_option("--missing", fMissing,
                     "listwise (default): delete cases with a missing record value; include: keep them "
                     "(categorical code -1, continuous system-missing)")
        ->type_name("listwise|include")
        ->group("Missing values");
    fpApp
        ->add_flag("--strong-listwise", fOptions.fbStrongListwise,
                   "judge missing values before encoding: a rejected case adds no category")
        ->group("Missing values");
  }

  void AddWeightOptions() {
    fpApp
        ->add_option("--weight", fOptions.fWeight,
                     "the case weight variable (cases with a missing, zero or negative "
                     "weight are not read)")
        ->type_name("NAME")
        ->group("Weights and splits");
    fpApp
        ->add_option("--weight-adjust", fWeightAdjust,
                     "round (default: a weight below 0.5 rounds to 0 and its case is invalid), truncate "
                     "(below 1 is invalid) or asis")
        ->type_name("round|truncate|asis")
        ->group("Weights and splits");
    AddRepeatable(*fpApp, "--split-by", fvSplitBy,
                  "split variables: each group is prepared on its own (the data "
                  "must be sorted by them)")
        ->group("Weights and splits");
  }

  void AddPartitionOptions() {
    fpApp->add_option("--partition", fPartition, "random partition percentages: training,test[,holdout]")
        ->type_name("P1,P2[,P3]")
        ->group("Partitions");
    fpApp->add_option("--seed", fSeed, "the random seed (default 2000000)")
        ->type_name("N")
        ->group("Partitions");
    fpApp
        ->add_option(
            "--partition-var", fOptions.fPartitionVar,
            "partition by a variable: above 0 training, 0 test, below 0 holdout (test with --parts 2)")
        ->type_name("NAME")
        ->group("Partitions");
    fpApp->add_option("--parts", fParts, "partitions of --partition-var: 2 (default) or 3")
        ->type_name("2|3")
        ->group("Partitions");
    fpApp
        ->add_option("--depend", fOptions.fDepend,
                     "the dependent variable: records missing it are left out of every "
                     "partition but the last")
        ->type_name("NAME")
        ->group("Partitions");
    fpApp->add_option("--folds", fFolds, "cross-validation folds drawn on the training partition")
        ->type_name("K")
        ->group("Partitions");
  }

  void AddCodeOptions() {
    fpApp
        ->add_option("--order", fOrder,
                     "how categories are numbered: appearance (default: in order of first appearance), "
                     "value (ascending values) or schema (the schema's category list first)")
        ->type_name("appearance|value|schema")
        ->group("Codes");
    fpApp
        ->add_option("--codes-from", fOptions.fCodesFrom,
                     "give the categories the codes an earlier run saved in its summary.json; a value "
                     "that run did not see is missing")
        ->type_name("SUMMARY.json")
        ->group("Codes");
  }

  void AddOutputOptions() {
    AddRepeatable(*fpApp, "--sort-by", fvSortBy, "sort every record file by these record variables")
        ->group("Output");
    fpApp->add_option("--out", fOptions.fOutDir, "write the record files and summary.json under DIR")
        ->type_name("DIR")
        ->group("Output");
    fpApp
        ->add_option("--format", fFormat,
                     "the record files: text (default, fixed-width), csv (a header row, empty for "
                     "missing) or npy (NumPy float64 array, NaN for missing)")
        ->type_name("text|csv|npy")
        ->group("Output");
    fpApp->add_flag("--json", fOptions.fbJson, "print the summary as JSON instead of the report")
        ->group("Output");
    fpApp
        ->add_option("--report", fOptions.fReportPath,
                     "also write the run's report as one self-contained HTML page with charts (it may be "
                     "placed directly in the --out directory)")
        ->type_name("FILE.html")
        ->group("Output");
    fpApp
        ->add_option("--time-limit", fTimeLimit,
                     "stop after this many seconds of elapsed (wall-clock) time, not processor time, "
                     "loading included (exit code 4); 0, the default, is no limit")
        ->type_name("SECONDS")
        ->group("Output");
    fpApp->add_flag("--quiet", fOptions.fbQuiet, "no progress bar")->group("Output");
  }

  PrepareOptions& fOptions;
  std::string fWeightAdjust = "round", fUserMissing = "exclude", fMissing = "listwise";
  std::string fPartition, fSeed, fParts, fFolds, fTimeLimit, fFormat = "text", fOrder;
  std::vector<std::string> fvCat, fvCont, fvMatrix, fvSplitBy, fvSortBy;
};

class ScoreCommand : public Command {
 public:
  ScoreCommand(CLI::App& app, ScoreOptions& options) : fOptions(options) {
    AddCommand(app, "score", "apply a transformation model to every case and write the targets as CSV",
               fOptions.fLoad);
    fpApp->add_option("--model", fOptions.fModelPath, "the transformation model (PMML)")
        ->required()
        ->type_name("MODEL.xml");
    AddRepeatable(*fpApp, "--targets", fvTargets,
                  "the model outputs to write (default: all, in model order)");
    fpApp
        ->add_option("--user-missing", fUserMissing,
                     "user-missing values: exclude (default: numbers go to the model as missing, as prepare "
                     "leaves them out) or include (as the values they are); strings always go as their text")
        ->type_name("exclude|include");
    fpApp->add_option("--output", fOptions.fOutputPath, "the CSV file to write (default: standard output)")
        ->type_name("FILE.csv");
    fpApp->add_flag("--quiet", fOptions.fbQuiet, "no progress bar");
  }
  void Finish() {
    CheckLoad(fOptions.fLoad, fDelimiter, "score");
    fOptions.fvTargets = SplitAll(fvTargets);
    if (fUserMissing == "exclude") {
      fOptions.fUserMissing = UserMissing::Exclude;
    } else if (fUserMissing == "include") {
      fOptions.fUserMissing = UserMissing::Include;
    } else {
      throw UsageError("score: --user-missing: '" + fUserMissing + "' is not exclude or include");
    }
    CheckScoreOutput(fOptions);
  }

 private:
  ScoreOptions& fOptions;
  std::string fUserMissing = "exclude";
  std::vector<std::string> fvTargets;
};

class ReportCommand {
 public:
  ReportCommand(CLI::App& app, ReportOptions& options) : fOptions(options) {
    fpApp = app.add_subcommand("report",
                               "draw the HTML report of an earlier kvo prepare run from its summary.json");
    fpApp->add_option("SUMMARY", fOptions.fSummaryPath, "the summary.json that kvo prepare wrote with --out")
        ->required()
        ->type_name("SUMMARY.json");
    fpApp->add_option("REPORT", fOptions.fReportPath, "the HTML file to write")
        ->required()
        ->type_name("FILE.html");
  }
  bool Parsed() const { return fpApp->parsed(); }
  void Finish() {
    if (SameFile(fOptions.fReportPath, fOptions.fSummaryPath)) {
      throw UsageError("report: " + fOptions.fReportPath +
                       " is the summary itself; write the report to another file");
    }
  }

 private:
  ReportOptions& fOptions;
  CLI::App* fpApp = nullptr;
};

ParsedCommand HelpText(std::string text) {
  ParsedCommand parsed;
  parsed.fKind = ParsedCommand::kHelp;
  parsed.fExitCode = 0;
  parsed.fText = std::move(text);
  return parsed;
}

ParsedCommand UsageText(int exitCode, std::string text) {
  ParsedCommand parsed;
  parsed.fKind = ParsedCommand::kError;
  parsed.fExitCode = exitCode;
  parsed.fText = std::move(text);
  return parsed;
}

}  // namespace

namespace {

// Reads a quoted name that starts at text[begin] (after any blanks): the
// text up to the closing quote, a doubled quote standing for one. True, with
// `end` at the comma or the end that follows (blanks before it allowed),
// when the quotes close and nothing else follows.
bool QuotedName(const std::string& text, size_t begin, std::string& name, size_t& end) {
  size_t i = text.find_first_not_of(' ', begin);
  if (i == std::string::npos || text[i] != '"') return false;
  name.clear();
  for (++i; i < text.size(); ++i) {
    if (text[i] != '"') {
      name += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '"') {
      name += '"';
      ++i;
    } else {
      end = text.find_first_not_of(' ', i + 1);
      if (end == std::string::npos) end = text.size();
      return end == text.size() || text[end] == ',';
    }
  }
  return false;  // the quote is not closed
}

}  // namespace

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  std::string quoted;
  while (start <= text.size()) {
    size_t comma = 0;
    if (QuotedName(text, start, quoted, comma)) {
      if (!quoted.empty()) items.push_back(quoted);
      start = comma + 1;
      continue;
    }
    comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    if (comma > start) items.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return items;
}

const char* VersionText() { return "kvo " KVO_VERSION; }

const char* FormatName(RecordFormat format) { return FORMAT_WORDS[static_cast<size_t>(format)]; }
const char* OrderName(CodeOrder order) { return ORDER_WORDS[static_cast<size_t>(order)]; }
const char* UserMissingName(UserMissing rule) { return USER_MISSING_WORDS[static_cast<size_t>(rule)]; }
const char* MissingName(MissingRule rule) { return MISSING_WORDS[static_cast<size_t>(rule)]; }
const char* WeightAdjustName(WeightAdjust adjust) { return WEIGHT_ADJUST_WORDS[static_cast<size_t>(adjust)]; }

ParsedCommand ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommand parsed;
  CLI::App app(DESCRIPTION, "kvo");
  app.set_version_flag("--version", VersionText(), "print the version and exit");
  app.require_subcommand(0, 1);
  app.footer("\nRun 'kvo COMMAND --help' for a command's options and examples.");
  DescribeCommand describe(app, parsed.fDescribe);
  PrepareCommand prepare(app, parsed.fPrepare);
  ScoreCommand score(app, parsed.fScore);
  ReportCommand report(app, parsed.fReport);

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    return HelpText(app.help());
  } catch (const CLI::CallForAllHelp&) {
    return HelpText(app.help("", CLI::AppFormatMode::All));
  } catch (const CLI::CallForVersion&) {
    return HelpText(std::string(VersionText()) + "\n");
  } catch (const CLI::ParseError& error) {
    std::string command = "kvo";
    for (const CLI::App* sub : app.get_subcommands()) command += " " + sub->get_name();
    return UsageText(EXIT_USAGE, command + ": " + OneLine(error.what()) + " (see '" + command + " --help')");
  }

  try {
    if (describe.Parsed()) {
      describe.Finish();
      parsed.fKind = ParsedCommand::kDescribe;
    } else if (prepare.Parsed()) {
      prepare.Finish();
      parsed.fKind = ParsedCommand::kPrepare;
    } else if (score.Parsed()) {
      score.Finish();
      parsed.fKind = ParsedCommand::kScore;
    } else if (report.Parsed()) {
      report.Finish();
      parsed.fKind = ParsedCommand::kReport;
    } else {
      return UsageText(EXIT_USAGE,
                       "kvo: give a command: describe, prepare, score or report (see 'kvo --help')");
    }
  } catch (const KvoError& error) {
    return UsageText(error.Code(), std::string("kvo ") + error.what());
  }
  return parsed;
}

}  // namespace kvo
