#include "Score.h"

#include <kvoadapter/KVOStopProcessor.h>
#include <kvoadapter/KVOTransformScorer.h>
#include <qor/Scoring.h>
#include <vorm/Types.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "DataSet.h"
#include "InputFile.h"
#include "KvoError.h"
#include "TextTable.h"
#include "standin/CsvLoader.h"
#include "standin/HostControl.h"

namespace kvo {
namespace {

// Removes a partly written output file unless the run completed.
class OutputFileGuard {
 public:
  explicit OutputFileGuard(std::string path) : fPath(std::move(path)) {}
  ~OutputFileGuard() {
    if (!fbKeep && !fPath.empty()) {
      std::error_code error;
      std::filesystem::remove(fPath, error);
    }
  }
  OutputFileGuard(const OutputFileGuard&) = delete;
  OutputFileGuard& operator=(const OutputFileGuard&) = delete;
  void Keep() { fbKeep = true; }

 private:
  std::string fPath;
  bool fbKeep = false;
};

std::string ReadModel(const std::string& path) {
  RequireRegularFile(path, "model");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot open the model: " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Finds out why the scorer refused the model, to say so in one line.
[[noreturn]] void ExplainRefusal(const ScoreOptions& options, const std::string& model,
                                 const VariableResolver& resolver) {
  const std::string& path = options.fModelPath;
  QorXML::QorSettings settings;
  QorScoring::QorScorerFactory factory;
  std::istringstream stream(model);
  std::unique_ptr<QorXML::IQorScoreComputer> computer(factory.CreateQorScoringObject(settings, stream));
  if (!computer) {
    throw InputError(path + ": " + (factory.LastError().empty() ? "not a model" : factory.LastError()));
  }
  if (computer->GetScorerType() != QorXML::IQorScoreComputer::TRANSFORMATION_MODEL) {
    throw InputError(path + ": not a transformation model (only TransformationDictionary models are scored)");
  }
  QorXML::QorVarList inputs;
  if (computer->GetInputVarList(inputs).IsError())
    throw InputError(path + ": the model's inputs cannot be read");
  for (int i = 0; i < inputs.Size(); ++i) {
    std::string name;
    inputs.GetVarAt(i)->GetName(name);
    const bool stringInput = inputs.GetVarAt(i)->GetValueType() == 3;
    const int index = resolver.Find(name);
    if (index < 0) {
      throw InputError(path + ": the model input '" + name + "' is not a variable of " +
                       standin::CsvSourceName(options.fLoad.fDataPath));
    }
    if (stringInput != resolver.IsString(index)) {
      throw InputError(path + ": the model input '" + name + "' is " +
                       (stringInput ? "a string" : "a number") + ", but " + resolver.Name(index) + " in " +
                       standin::CsvSourceName(options.fLoad.fDataPath) + " is " +
                       (stringInput ? "a number" : "a string"));
    }
  }
  std::string outputs;
  std::set<std::string> upperNames;
  for (int j = 0; j < computer->GetOutputVarCount(); ++j) {
    std::string name;
    computer->GetOutputVarAt(j)->GetName(name);
    if (computer->GetOutputVarAt(j)->GetValueType() == 3) {
      throw InputError(path + ": the model output '" + name +
                       "' is a string; only numeric outputs can be scored");
    }
    outputs += (outputs.empty() ? "" : ", ") + name;
    upperNames.insert(GetUpperVarName(VormVarName(name)).str());
  }
  for (const std::string& target : options.fvTargets) {
    if (upperNames.count(GetUpperVarName(VormVarName(target)).str()) == 0) {
      throw UsageError("--targets: '" + target + "' is not an output of the model (its outputs: " + outputs +
                       ")");
    }
  }
  throw InputError(path + ": the model cannot be prepared for scoring");
}

}  // namespace

std::string CsvField(const std::string& text, char delimiter) {
  if (text.find_first_of(std::string("\"\r\n") + delimiter) == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

void RunScore(const ScoreOptions& options, Progress& progress, std::ostream& standardOutput) {
  KVOStopProcessor stop;  // no time limit: Ctrl-C only
  progress.Step("loading " + standin::CsvSourceName(options.fLoad.fDataPath));
  std::unique_ptr<standin::MemoryDataSource> data = LoadDataSet(options.fLoad);
  const std::string dataName = standin::CsvSourceName(options.fLoad.fDataPath);
  VariableResolver resolver(*data, dataName);
  const std::string model = ReadModel(options.fModelPath);

  std::unique_ptr<VORM_InputCaseIterator> cases(data->NewCaseIterator(0));
  if (!cases) throw InputError(dataName + ": the cases cannot be read");
  KVOTransformScorer scorer;
  scorer.SetUserMissingAsMissing(options.fUserMissing == UserMissing::Exclude);
  const bool unicode = standin::HostEncoding() == "UTF-8";
  if (!scorer.PrepareScoring(cases.get(), unicode, model, options.fvTargets, true)) {
    ExplainRefusal(options, model, resolver);
  }
  const std::vector<std::string>& names =
      options.fvTargets.empty() ? scorer.GetOutputModelVarNames() : options.fvTargets;

  std::ofstream file;
  OutputFileGuard guard(options.fOutputPath);
  if (!options.fOutputPath.empty()) {
    file.open(options.fOutputPath, std::ios::binary | std::ios::trunc);
    if (!file) throw InputError(options.fOutputPath + ": cannot write the scores: " + std::strerror(errno));
  }
  std::ostream& out = options.fOutputPath.empty() ? standardOutput : file;
  out << "case";
  for (const std::string& name : names) out << ',' << CsvField(name);
  out << '\n';

  progress.Start("scoring", static_cast<int64_t>(data->NumCases()));
  std::string line;
  int64_t scored = 0;
  while (cases->NextCase() != 0) {
    if (scored++ % 1024 == 0) {
      progress.Update(cases->GetCaseNumber());
      stop.GetCancel();  // leaves on Ctrl-C
    }
    scorer.ScoreRecord();
    line = std::to_string(cases->GetCaseNumber());
    for (double value : scorer.GetTargetValues()) {
      line += ',';
      if (value != VORM_SYSMIS) line += ShortestText(value);
    }
    line += '\n';
    out << line;
  }
  progress.Finish();
  out.flush();
  if (!out) {
    const std::string reason = std::strerror(errno != 0 ? errno : EIO);
    throw InputError(options.fOutputPath.empty()
                         ? "cannot write to standard output: " + reason
                         : options.fOutputPath + ": cannot write the scores: " + reason);
  }
  guard.Keep();
}

}  // namespace kvo
