#include "kvoadapter/KVOTransformScorer.h"

#include <qor/Record.h>
#include <qor/Scoring.h>
#include <qor/Value.h>
#include <qor/VarList.h>
#include <vorm/CaseIterator.h>
#include <vorm/Utility.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <sstream>

#include "KVOAssert.h"

namespace {
constexpr const char* KVO_SOURCE = "backend/kvoadapter/KVOTransformScorer";
constexpr int STRING_VALUE_TYPE = 3;  // the components' value type of a string variable

// What a preparation builds before anything of it reaches the scorer.
struct Preparation {
  std::unique_ptr<QorXML::IQorScoreComputer> fpScorer;
  QorCommon::ValueRecord fInputRecord{2};
  QorCommon::ValueRecord fOutputRecord{2};
  std::vector<std::string> fvInputNames;
  std::vector<int> fvInputVarIndices;
  std::vector<int> fvInputVarTypes;
  std::vector<const VORM_Variable*> fvInputVariables;
  std::vector<std::string> fvOutputNames;
  std::vector<int> fvTargetIndices;
};
}  // namespace

// The scorer's state. The preparation's part (the base) and fNInputs,
// fNTargets and fvTargetValues are set together, by a successful
// preparation, except the two name lists, which keep the names matched
// before a refusal; until then fbPrepared is false and ScoreRecord refuses.
struct KVOTransformScorer::Impl : Preparation {
  const VORM_DataSource* fpDataSource = nullptr;
  VORM_InputCaseIterator* fpCaseIter = nullptr;
  bool fUnicodeMode = false;
  double fMissingValue = VORM_SYSMIS;
  int fNInputs = 0;
  int fNTargets = 0;
  std::vector<double> fvTargetValues;
  bool fbUserMissingAsMissing = false;
  void* fConverter = nullptr;  // owned
  bool fbPrepareCalled = false;
  bool fbPrepared = false;
  int64_t fNUnconvertibleCases = 0;
  // Per-case work texts, kept so that their capacity is reused.
  std::string fTrimmed;
  std::string fTranscoded;

  Impl() : fConverter(VORMMBConverterNew_A(nullptr)) {}
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    if (fConverter != nullptr) VORMMBConverterDelete_A(fConverter);
  }

  void SetTargetsMissing() { std::fill(fvTargetValues.begin(), fvTargetValues.end(), fMissingValue); }
  // Takes over a successful preparation (its names already taken) and
  // makes the scorer ready.
  void Adopt(Preparation&& prep, VORM_InputCaseIterator& caseIter, const VORM_DataSource& dataSource,
             bool unicodeMode);
};

namespace {

// Fills a Preparation step by step: the model, its inputs bound to the data
// source's variables, its outputs, the targets among them and the output
// record. Each step returns false at the first thing that does not fit,
// with the preparation filled up to there; a step runs only after the ones
// before it succeeded.
class ScoringBinder {
 public:
  ScoringBinder(Preparation& prep, void* converter, bool unicodeMode)
      : fPrep(prep), fpConverter(converter), fUnicodeMode(unicodeMode) {}
  ScoringBinder(const ScoringBinder&) = delete;
  ScoringBinder& operator=(const ScoringBinder&) = delete;

  // Reads the model; true when it is a transformation model.
  bool ParseModel(const std::string& model) {
    {
      QorXML::QorSettings settings;
      QorScoring::QorScorerFactory factory;
      std::istringstream stream(model);
      fPrep.fpScorer.reset(factory.CreateQorScoringObject(settings, stream));
    }
    QorXML::IQorScoreComputer* scorer = fPrep.fpScorer.get();
    return scorer != nullptr && scorer->GetScorerType() == QorXML::IQorScoreComputer::TRANSFORMATION_MODEL;
  }

  // Matches every model input to the data source's variable of the same
  // name and kind, and gives the input record a value of that kind, the
  // missing value for a number.
  bool BindInputs(const VORM_DataSource& dataSource, double missingValue) {
    QorXML::QorVarList inputs;
    if (fPrep.fpScorer->GetInputVarList(inputs).IsError()) return false;
    for (int i = 0; i < inputs.Size(); ++i) {
      QorXML::IQorVariable* var = inputs.GetVarAt(i);
      if (var == nullptr || !BindInput(*var, dataSource, missingValue)) return false;
    }
    return true;
  }

  // Lists the output names and indexes the outputs by upper-case name (a
  // later output of the same name wins). Only numeric outputs can be scored.
  bool BindOutputs() {
    QorXML::IQorScoreComputer& scorer = *fPrep.fpScorer;
    fNOutputs = scorer.GetOutputVarCount();
    for (int j = 0; j < fNOutputs; ++j) {
      QorXML::IQorVariable* var = scorer.GetOutputVarAt(j);
      if (var == nullptr) return false;
      const int kind = var->GetValueType();
      std::string name;
      var->GetName(name);
      if (kind == STRING_VALUE_TYPE) return false;
      fPrep.fvOutputNames.push_back(name);
      fOutputsByName[GetUpperVarName(VormVarName(name))] = j;
    }
    return true;
  }

  // The outputs named by `targetNames` (in UTF-8 when `targetNamesUtf8`,
  // else in the host encoding), compared without regard to letter case;
  // every output, in output order, when the list is empty.
  bool BindTargets(const std::vector<std::string>& targetNames, bool targetNamesUtf8) {
    if (targetNames.empty()) {
      for (int j = 0; j < fNOutputs; ++j) fPrep.fvTargetIndices.push_back(j);
      return true;
    }
    for (const std::string& target : targetNames) {
      std::string utf8;
      if (targetNamesUtf8) {
        utf8 = target;
      } else {
        const int errCode = VORMMBGenericToU8(fpConverter, utf8, target);
        if (!KVO_ASSERT(errCode == 0)) return false;  // matches no output
      }
      auto found = fOutputsByName.find(GetUpperVarName(VormVarName(utf8)));
      if (found == fOutputsByName.end()) return false;
      fPrep.fvTargetIndices.push_back(found->second);
    }
    return true;
  }

  // Lets the model lay out the record it scores into.
  void SetUpOutputRecord() { fPrep.fpScorer->PrepareOutputRecord(fPrep.fOutputRecord); }

 private:
  // One input: its host variable must exist and be of the input's kind.
  bool BindInput(QorXML::IQorVariable& var, const VORM_DataSource& dataSource, double missingValue) {
    const int kind = var.GetValueType();
    std::string name;
    var.GetName(name);
    std::string hostName;
    if (!HostName(name, hostName)) return false;
    const int hostIndex = dataSource.FindVarIndex(hostName.c_str(), 0);
    if (hostIndex < 0) return false;
    const VORM_Variable* variable = dataSource.GetVariable(hostIndex);
    if (variable == nullptr) return false;
    const int type = variable->GetType();
    if (kind == STRING_VALUE_TYPE) {
      if (type <= 0) return false;
      fPrep.fInputRecord.AddValue(name, QorCommon::Value(""));
    } else {
      if (type != 0) return false;
      fPrep.fInputRecord.AddValue(name, QorCommon::Value(missingValue));
    }
    fPrep.fvInputNames.push_back(name);
    fPrep.fvInputVarIndices.push_back(hostIndex);
    fPrep.fvInputVarTypes.push_back(type);
    fPrep.fvInputVariables.push_back(variable);
    return true;
  }

  // The host's name for the model's UTF-8 name `name`; false when no host
  // variable can bear it.
  bool HostName(const std::string& name, std::string& hostName) const {
    if (fUnicodeMode) {
      hostName = name;
    } else {
      // A name the host encoding cannot hold names no host variable.
      const int errCode = VORMMBU8ToGeneric(fpConverter, hostName, name);
      if (!KVO_ASSERT(errCode == 0)) return false;
    }
    // The host looks names up as C strings: a NUL would cut the name short.
    return hostName.find('\0') == std::string::npos;
  }

  Preparation& fPrep;
  void* fpConverter;
  bool fUnicodeMode;
  int fNOutputs = 0;
  std::map<VormVarName, int> fOutputsByName;
};

// Reads the model and binds its inputs, outputs and the targets; false at
// the first thing that does not fit, with `prep` filled up to there.
bool Prepare(Preparation& prep, const VORM_DataSource& dataSource, void* converter, bool unicodeMode,
             const std::string& model, const std::vector<std::string>& targetNames, bool targetNamesUtf8,
             double missingValue) {
  ScoringBinder binder(prep, converter, unicodeMode);
  if (!binder.ParseModel(model) || !binder.BindInputs(dataSource, missingValue) || !binder.BindOutputs() ||
      !binder.BindTargets(targetNames, targetNamesUtf8)) {
    return false;
  }
  binder.SetUpOutputRecord();
  return true;
}

}  // namespace

void KVOTransformScorer::Impl::Adopt(Preparation&& prep, VORM_InputCaseIterator& caseIter,
                                     const VORM_DataSource& dataSource, bool unicodeMode) {
  fpCaseIter = &caseIter;
  fpDataSource = &dataSource;
  fUnicodeMode = unicodeMode;
  fNInputs = static_cast<int>(prep.fvInputVarIndices.size());
  fNTargets = static_cast<int>(prep.fvTargetIndices.size());
  static_cast<Preparation&>(*this) = std::move(prep);
  fvTargetValues.assign(static_cast<size_t>(fNTargets), fMissingValue);
  fbPrepared = true;
}

KVOTransformScorer::KVOTransformScorer() : fpImpl(std::make_unique<Impl>()) {}

KVOTransformScorer::~KVOTransformScorer() = default;

bool KVOTransformScorer::PrepareScoring(VORM_InputCaseIterator* caseIter, bool unicodeMode,
                                        const std::string& model, const std::vector<std::string>& targetNames,
                                        bool targetNamesUtf8) {
  Impl& d = *fpImpl;
  // One preparation per scorer: a second one would mix two models' state.
  if (!KVO_ASSERT_TEXT(!d.fbPrepareCalled, "!fbPrepareCalled")) return false;
  d.fbPrepareCalled = true;
  if (caseIter == nullptr || model.empty()) return false;

  Preparation prep;
  const VORM_DataSource& dataSource = caseIter->GetDataSource();
  const bool ok = Prepare(prep, dataSource, d.fConverter, unicodeMode, model, targetNames, targetNamesUtf8,
                          d.fMissingValue);
  // The names matched so far stay readable after a refusal (they show where
  // it stopped); nothing that ScoreRecord reads is set unless all fits.
  if (!ok) {
    d.fvInputNames = std::move(prep.fvInputNames);
    d.fvOutputNames = std::move(prep.fvOutputNames);
    return false;
  }
  d.Adopt(std::move(prep), *caseIter, dataSource, unicodeMode);
  return true;
}

void KVOTransformScorer::SetUserMissingAsMissing(bool asMissing) {
  fpImpl->fbUserMissingAsMissing = asMissing;
}

bool KVOTransformScorer::ScoreRecord() {
  Impl& d = *fpImpl;
  if (!d.fbPrepared) {
    d.SetTargetsMissing();
    return false;
  }
  for (int i = 0; i < d.fNInputs; ++i) {
    const int hostIndex = d.fvInputVarIndices[static_cast<size_t>(i)];
    const int type = d.fvInputVarTypes[static_cast<size_t>(i)];
    if (type == 0) {
      // The input's value was built from a number: write the number in place.
      OBS value;
      value.num = d.fpCaseIter->GetNumericValue(hostIndex);
      if (d.fbUserMissingAsMissing && value.num != VORM_SYSMIS &&
          d.fvInputVariables[static_cast<size_t>(i)]->IsUserMissingValue(&value)) {
        value.num = d.fMissingValue;
      }
      static_cast<double&>(d.fInputRecord[i]) = value.num;
      continue;
    }
    // Trailing blanks and line feeds go (tabs too in unicode mode), but the
    // first character always stays: an all-blank value becomes one blank.
    const char* bytes = d.fpCaseIter->GetStringValue(hostIndex);
    size_t length = static_cast<size_t>(type);
    while (length > 1) {
      const char last = bytes[length - 1];
      if (last == ' ' || last == '\n' || (d.fUnicodeMode && last == '\t')) {
        --length;
      } else {
        break;
      }
    }
    d.fTrimmed.assign(bytes, length);
    if (d.fUnicodeMode) {
      d.fInputRecord[i] = d.fTrimmed;
    } else {
      // A value the converter refuses fails the case: what the work text
      // holds then is no value of this case.
      const int errCode = VORMMBGenericToU8(d.fConverter, d.fTranscoded, d.fTrimmed);
      if (!KVO_ASSERT(errCode == 0)) {
        ++d.fNUnconvertibleCases;
        d.SetTargetsMissing();
        return false;
      }
      d.fInputRecord[i] = d.fTranscoded;
    }
  }

  QorCommon::QorStatus status = d.fpScorer->Score(d.fInputRecord, d.fOutputRecord, false);
  if (status.IsError()) {
    d.SetTargetsMissing();
    return false;
  }
  double* targets = d.fvTargetValues.data();
  const int* indices = d.fvTargetIndices.data();
  for (int k = 0; k < d.fNTargets; ++k) targets[k] = d.fOutputRecord[indices[k]];
  return true;
}

const std::vector<std::string>& KVOTransformScorer::GetInputModelVarNames() const {
  return fpImpl->fvInputNames;
}

const std::vector<std::string>& KVOTransformScorer::GetOutputModelVarNames() const {
  return fpImpl->fvOutputNames;
}

const std::vector<double>& KVOTransformScorer::GetTargetValues() const { return fpImpl->fvTargetValues; }

int64_t KVOTransformScorer::GetUnconvertibleCaseCount() const { return fpImpl->fNUnconvertibleCases; }
