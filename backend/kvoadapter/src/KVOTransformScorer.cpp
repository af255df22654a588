#include "kvoadapter/KVOTransformScorer.h"

#include <qor/Record.h>
#include <qor/Scoring.h>
#include <qor/Value.h>
#include <qor/VarList.h>
#include <vorm/CaseIterator.h>
#include <vorm/Utility.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "KVOAssert.h"

namespace {
constexpr const char* KVO_SOURCE = "backend/kvoadapter/KVOTransformScorer";
constexpr int STRING_VALUE_TYPE = 3;  // the components' value type of a string variable
}  // namespace

// The scorer's state, in the order the scorer fills it.
struct KVOTransformScorer::Impl {
  const VORM_DataSource* fpDataSource = nullptr;
  VORM_InputCaseIterator* fpCaseIter = nullptr;
  bool fUnicodeMode = false;
  double fMissingValue = VORM_SYSMIS;
  int fNInputs = 0;
  int fNTargets = 0;
  std::vector<double> fvTargetValues;
  QorXML::IQorScoreComputer* fpScorer = nullptr;  // owned
  QorCommon::ValueRecord fInputRecord{2};
  QorCommon::ValueRecord fOutputRecord{2};
  std::vector<std::string> fvInputNames;
  std::vector<int> fvInputVarIndices;
  std::vector<int> fvInputVarTypes;
  std::vector<std::string> fvOutputNames;
  std::vector<int> fvTargetIndices;
  void* fConverter = nullptr;  // owned
  // Per-case work texts, kept so that their capacity is reused.
  std::string fTrimmed;
  std::string fTranscoded;

  Impl() : fConverter(VORMMBConverterNew_A(nullptr)) {}
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    delete fpScorer;
    if (fConverter != nullptr) VORMMBConverterDelete_A(fConverter);
  }
};

KVOTransformScorer::KVOTransformScorer() : fpImpl(std::make_unique<Impl>()) {}

KVOTransformScorer::~KVOTransformScorer() = default;

bool KVOTransformScorer::PrepareScoring(VORM_InputCaseIterator* caseIter, bool unicodeMode, const std::string& model,
                                        const std::vector<std::string>& targetNames, bool targetNamesUtf8) {
  Impl& d = *fpImpl;
  if (caseIter == nullptr || model.empty()) return false;

  {
    QorXML::QorSettings settings;
    QorScoring::QorScorerFactory factory;
    std::istringstream stream(model);
    QorXML::IQorScoreComputer* scorer = factory.CreateQorScoringObject(settings, stream);
    delete d.fpScorer;  // a second preparation replaces the first computer
    d.fpScorer = scorer;
  }
  if (d.fpScorer == nullptr || d.fpScorer->GetScorerType() != QorXML::IQorScoreComputer::TRANSFORMATION_MODEL) {
    return false;
  }

  d.fpCaseIter = caseIter;
  d.fpDataSource = &caseIter->GetDataSource();
  d.fUnicodeMode = unicodeMode;

  QorXML::QorVarList inputs;
  if (d.fpScorer->GetInputVarList(inputs).IsError()) return false;
  d.fNInputs = inputs.Size();

  for (int i = 0; i < d.fNInputs; ++i) {
    QorXML::IQorVariable* var = inputs.GetVarAt(i);
    if (var == nullptr) return false;
    const int kind = var->GetValueType();
    std::string name;
    var->GetName(name);
    std::string hostName;
    if (d.fUnicodeMode) {
      hostName = name;
    } else {
      int errCode = VORMMBU8ToGeneric(d.fConverter, hostName, name);
      KVO_ASSERT(errCode == 0);
    }
    const int hostIndex = d.fpDataSource->FindVarIndex(hostName.c_str(), 0);
    if (hostIndex < 0) return false;
    const VORM_Variable* variable = d.fpDataSource->GetVariable(hostIndex);
    if (variable == nullptr) return false;
    const int type = variable->GetType();
    if (kind == STRING_VALUE_TYPE) {
      if (type <= 0) return false;
      d.fInputRecord.AddValue(name, QorCommon::Value(""));
    } else {
      if (type != 0) return false;
      d.fInputRecord.AddValue(name, QorCommon::Value(d.fMissingValue));
    }
    d.fvInputNames.push_back(name);
    d.fvInputVarIndices.push_back(hostIndex);
    d.fvInputVarTypes.push_back(type);
  }

  // Output indices by upper-case name; a later output of the same name wins.
  std::map<VormVarName, int> outputsByName;
  const int nOut = d.fpScorer->GetOutputVarCount();
  for (int j = 0; j < nOut; ++j) {
    QorXML::IQorVariable* var = d.fpScorer->GetOutputVarAt(j);
    if (var == nullptr) return false;
    const int kind = var->GetValueType();
    std::string name;
    var->GetName(name);
    if (kind == STRING_VALUE_TYPE) return false;  // only numeric outputs can be scored
    d.fvOutputNames.push_back(name);
    outputsByName[GetUpperVarName(VormVarName(name))] = j;
  }

  if (targetNames.empty()) {
    d.fNTargets = nOut;
    for (int j = 0; j < nOut; ++j) d.fvTargetIndices.push_back(j);
  } else {
    d.fNTargets = static_cast<int>(targetNames.size());
    for (const std::string& target : targetNames) {
      std::string utf8;
      if (targetNamesUtf8) {
        utf8 = target;
      } else {
        int errCode = VORMMBGenericToU8(d.fConverter, utf8, target);
        KVO_ASSERT(errCode == 0);
      }
      auto found = outputsByName.find(GetUpperVarName(VormVarName(utf8)));
      if (found == outputsByName.end()) return false;
      d.fvTargetIndices.push_back(found->second);
    }
  }

  d.fpScorer->PrepareOutputRecord(d.fOutputRecord);
  d.fvTargetValues.resize(static_cast<size_t>(d.fNTargets), d.fMissingValue);
  return true;
}

bool KVOTransformScorer::ScoreRecord() {
  Impl& d = *fpImpl;
  if (d.fpScorer == nullptr || d.fpCaseIter == nullptr) {
    std::fill(d.fvTargetValues.begin(), d.fvTargetValues.end(), d.fMissingValue);
    return false;
  }
  for (int i = 0; i < d.fNInputs; ++i) {
    const int hostIndex = d.fvInputVarIndices[static_cast<size_t>(i)];
    const int type = d.fvInputVarTypes[static_cast<size_t>(i)];
    if (type == 0) {
      // The input's value was built from a number: write the number in place.
      static_cast<double&>(d.fInputRecord[i]) = d.fpCaseIter->GetNumericValue(hostIndex);
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
      int errCode = VORMMBGenericToU8(d.fConverter, d.fTranscoded, d.fTrimmed);
      KVO_ASSERT(errCode == 0);
      d.fInputRecord[i] = d.fTranscoded;
    }
  }

  QorCommon::QorStatus status = d.fpScorer->Score(d.fInputRecord, d.fOutputRecord, false);
  if (status.IsError()) {
    std::fill(d.fvTargetValues.begin(), d.fvTargetValues.end(), d.fMissingValue);
    return false;
  }
  double* targets = d.fvTargetValues.data();
  const int* indices = d.fvTargetIndices.data();
  for (int k = 0; k < d.fNTargets; ++k) targets[k] = d.fOutputRecord[indices[k]];
  return true;
}

const std::vector<std::string>& KVOTransformScorer::GetInputModelVarNames() const { return fpImpl->fvInputNames; }

const std::vector<std::string>& KVOTransformScorer::GetOutputModelVarNames() const { return fpImpl->fvOutputNames; }

const std::vector<double>& KVOTransformScorer::GetTargetValues() const { return fpImpl->fvTargetValues; }
