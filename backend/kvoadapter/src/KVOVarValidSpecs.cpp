// The slot descriptor and the specification list that lays out the record.
#include "kvoadapter/KVOVarValidSpecs.h"

#include <vorm/Format.h>
#include <vorm/ProcedureDataSource.h>

#include <string>
#include <vector>

#include "KVOAssert.h"
#include "KVOValueFormat.h"
#include "kvoadapter/KVOCommonDisplay.h"

namespace {
constexpr const char* KVO_SOURCE = "KVOVarValidSpecs";

// The width at which ConvertObsToString prints numbers before trimming them.
constexpr int NUMERIC_TEXT_WIDTH = 40;

// Stores `desc` at `recInd`; default descriptors fill the elements a growth
// adds.
void StoreDesc(std::vector<KVOVariableDesc>& descs, int recInd, const KVOVariableDesc& desc) {
  if (recInd < 0) return;
  if (static_cast<size_t>(recInd) >= descs.size()) descs.resize(static_cast<size_t>(recInd) + 1);
  descs[static_cast<size_t>(recInd)] = desc;
}
}  // namespace

// ---------------------------------------------------------------------------
// KVOVariableDesc

KVOVariableDesc::KVOVariableDesc() : KVOVariableDesc(-1, true, true, true, true) {}

KVOVariableDesc::KVOVariableDesc(int vormInd, bool catVar, bool procSysMiss, bool exclUserMiss,
                                 bool scoreSysMiss)
    : fVormVarIndex(vormInd),
      fRecVarIndex(-1),
      fbCatVar(catVar),
      fbProcSysMiss(procSysMiss),
      fbExclUserMiss(exclUserMiss),
      fbScoreSysMiss(scoreSysMiss) {}

bool KVOVariableDesc::GetCatVar(const ProcedureDataSource& dataSource) const {
  return IsCatVar(fVormVarIndex, dataSource);
}

bool KVOVariableDesc::SetCatVar(const ProcedureDataSource& dataSource) {
  fbCatVar = IsCatVar(fVormVarIndex, dataSource);
  return fbCatVar;
}

namespace {
// The three missing-value lines of a dump; `subject` is "variable" for one
// descriptor and "variable group" for the defaults of a specification.
void DisplayMissingRules(const std::string& subject, bool procSysMiss, bool exclUserMiss, bool scoreSysMiss) {
  namespace D = KVOCommonDisplay;
  D::DisplayText(1, procSysMiss
                        ? "Sysmis values for this " + subject + " are processed"
                        : "Listwise deletion applies to model when this " + subject + " takes sysmis value");
  D::DisplayText(1, exclUserMiss ? "User missing values for this " + subject + " are excluded"
                                 : "User missing values for this " + subject + " are treated as valid data");
  D::DisplayText(
      1, scoreSysMiss ? "Sysmis values for this " + subject + " are scored"
                      : "Listwise deletion applies to scoring when this " + subject + " takes sysmis value");
}

// "<what>:" and the indices, or "<what> is not defined" for an empty list.
void DisplayIndexList(const std::string& what, const std::vector<int>& indices) {
  if (indices.empty()) {
    KVOCommonDisplay::DisplayText(1, what + " is not defined");
  } else {
    KVOCommonDisplay::DisplayIV(what + ":", indices);
  }
}

// A host variable's name; a placeholder naming the index when the data
// source has no such variable.
std::string VariableName(const VORM_DataSource& dataSource, int vormInd) {
  const VORM_Variable* variable = dataSource.GetVariable(vormInd);
  if (variable != nullptr && variable->GetName() != nullptr) return variable->GetName();
  return "<no variable " + std::to_string(vormInd) + ">";
}
}  // namespace

// One line per field; a negative index reads "is not set".
void KVOVariableDesc::Display() const {
  namespace D = KVOCommonDisplay;
  D::DisplayStart("KVOVariableDesc");
  if (fVormVarIndex >= 0) {
    D::DisplayI("VORM variable index:", fVormVarIndex);
  } else {
    D::DisplayText(1, "VORM Variable index is not set");
  }
  if (fRecVarIndex >= 0) {
    D::DisplayI("Record variable index:", fRecVarIndex);
  } else {
    D::DisplayText(1, "Record variable index is not set");
  }
  D::DisplayText(1, fbCatVar ? "Variable is categorical" : "Variable is continuous");
  DisplayMissingRules("variable", fbProcSysMiss, fbExclUserMiss, fbScoreSysMiss);
  D::DisplayEnd("KVOVariableDesc");
}

// ---------------------------------------------------------------------------
// KVOVarValidSpecs: construction

KVOVarValidSpecs::KVOVarValidSpecs(bool procSysMiss, bool exclUserMiss, bool scoreSysMiss)
    : fbProcSysMiss(procSysMiss),
      fbExclUserMiss(exclUserMiss),
      fbScoreSysMiss(scoreSysMiss),
      fbStrongListWise(false),
      fbMultRecode(false),
      fLastIndex(0),
      fNRecordVars(0),
      fWeightVarInd(-1),
      fCaseCountInd(-1),
      fGlobalCountInd(-1),
      fDecimalChar('.') {
  SetDecimalCharacter();
}

KVOVarValidSpecs::~KVOVarValidSpecs() = default;

// The host prints 1.1 as F3.1: digit, decimal character, digit.
void KVOVarValidSpecs::SetDecimalCharacter() {
  OBS value;
  value.num = 1.1;
  char text[4] = {0, 0, 0, 0};
  if (ToString(&value, VORM_Format(VORM_Format::F, 3, 1), text) == 0 && text[1] != '\0')
    fDecimalChar = text[1];
}

// ---------------------------------------------------------------------------
// Adding slots

int KVOVarValidSpecs::AddVariable(int vormInd, bool catVar, bool procSysMiss, bool exclUserMiss,
                                  bool scoreSysMiss) {
  KVO_ASSERT(vormInd >= 0);
  if (!fbMultRecode && vormInd >= 0 && static_cast<size_t>(vormInd) < fvRecordIndices.size() &&
      fvRecordIndices[static_cast<size_t>(vormInd)] >= 0) {
    const size_t indexInRec = static_cast<size_t>(fvRecordIndices[static_cast<size_t>(vormInd)]);
    if (KVO_ASSERT(indexInRec < fvVarDescs.size())) KVO_ASSERT(fvVarDescs[indexInRec].GetCatVar() == catVar);
  }
  KVOVariableDesc desc(vormInd, catVar, procSysMiss, exclUserMiss, scoreSysMiss);
  fLastIndex = AddToVarList(desc, fNRecordVars, catVar);
  if (fLastIndex == fNRecordVars) {
    ++fNRecordVars;
    fvVormIndices.push_back(vormInd);
  }
  return fLastIndex;
}

int KVOVarValidSpecs::AddVariable(int vormInd, bool catVar) {
  return AddVariable(vormInd, catVar, fbProcSysMiss, fbExclUserMiss, fbScoreSysMiss);
}

// A host variable that already has a slot keeps it (unless multiple
// recoding is on) and its descriptor is replaced by the new one. A negative
// host index, already reported by AddVariable, gets a slot but no entry in
// the host-index map.
int KVOVarValidSpecs::AddToVarList(KVOVariableDesc& desc, int newIndex, bool catVar) {
  const int vormInd = desc.GetVORMVarIndex();
  const size_t vormPos = static_cast<size_t>(vormInd);
  int recInd = newIndex;
  const bool existing =
      !fbMultRecode && vormInd >= 0 && vormPos < fvRecordIndices.size() && fvRecordIndices[vormPos] >= 0;
  if (existing) {
    recInd = fvRecordIndices[vormPos];
  } else if (catVar) {
    fvCatVarsX.push_back(vormInd);
    fvRecCatVars.push_back(recInd);
  } else {
    fvContVarsX.push_back(vormInd);
    fvRecContVars.push_back(recInd);
  }
  desc.SetRecVarIndex(recInd);
  if (vormInd >= 0) {
    if (vormPos >= fvRecordIndices.size()) fvRecordIndices.resize(vormPos + 1, -1);
    fvRecordIndices[vormPos] = recInd;
  }
  StoreDesc(fvVarDescs, recInd, desc);
  return recInd;
}

int KVOVarValidSpecs::AddVariables(const std::vector<int>& vormInds, std::vector<int>& recInds,
                                   const std::vector<bool>& catVarFlags, bool procSysMiss, bool exclUserMiss,
                                   bool scoreSysMiss) {
  recInds.clear();
  const size_t nVars = vormInds.size();
  KVO_ASSERT(catVarFlags.size() == nVars);
  recInds.reserve(nVars);
  for (size_t i = 0; i < nVars; ++i) {
    // A missing flag (already reported) takes the categorical default.
    const bool catVar = i < catVarFlags.size() ? catVarFlags[i] : true;
    recInds.push_back(AddVariable(vormInds[i], catVar, procSysMiss, exclUserMiss, scoreSysMiss));
  }
  return fLastIndex;
}

int KVOVarValidSpecs::AddVariables(const std::vector<int>& vormInds, std::vector<int>& recInds,
                                   const std::vector<bool>& catVarFlags) {
  return AddVariables(vormInds, recInds, catVarFlags, fbProcSysMiss, fbExclUserMiss, fbScoreSysMiss);
}

int KVOVarValidSpecs::AddVariables(const std::vector<int>& vormInds, std::vector<int>& recInds, bool catVar,
                                   bool procSysMiss, bool exclUserMiss, bool scoreSysMiss) {
  recInds.clear();
  recInds.reserve(vormInds.size());
  for (int vormInd : vormInds)
    recInds.push_back(AddVariable(vormInd, catVar, procSysMiss, exclUserMiss, scoreSysMiss));
  return fLastIndex;
}

int KVOVarValidSpecs::AddVariables(const std::vector<int>& vormInds, std::vector<int>& recInds, bool catVar) {
  return AddVariables(vormInds, recInds, catVar, fbProcSysMiss, fbExclUserMiss, fbScoreSysMiss);
}

int KVOVarValidSpecs::AddMatrixSpec(const std::vector<int>* varInds, const ObsVecMap* valueMap,
                                    const std::vector<VORM_Format>* formats, int groupIndex,
                                    bool exclUserMiss) {
  fvMatrixSpecs.push_back(KVOMatrixSpecs(varInds, valueMap, formats, groupIndex, exclUserMiss));
  fLastIndex = AddToMatrixList(static_cast<int>(fvMatrixSpecs.size()) - 1, fNRecordVars);
  if (fLastIndex == fNRecordVars) {
    ++fNRecordVars;
    fvVormIndices.push_back(-1);
  }
  return fLastIndex;
}

// Gives matrix `specNum` its slot (unless it has one) and a continuous
// descriptor there. -1 for a matrix number out of range.
int KVOVarValidSpecs::AddToMatrixList(int specNum, int newIndex) {
  if (!KVO_ASSERT_TEXT(specNum >= 0 && static_cast<size_t>(specNum) < fvMatrixSpecs.size(),
                       "specNum < fvMatrixSpecs.size()"))
    return -1;
  KVOMatrixSpecs& spec = fvMatrixSpecs[static_cast<size_t>(specNum)];
  if (spec.GetRecVarIndex() < 0) spec.SetRecVarIndex(newIndex);
  const int recInd = spec.GetRecVarIndex();
  KVOVariableDesc desc(-1, false, true, true, true);
  desc.SetRecVarIndex(recInd);
  StoreDesc(fvVarDescs, recInd, desc);
  return recInd;
}

int KVOVarValidSpecs::AddFreeVariable(bool contVar) {
  const int recInd = fNRecordVars;
  KVOVariableDesc desc(-1, !contVar, true, true, true);
  desc.SetRecVarIndex(recInd);
  StoreDesc(fvVarDescs, recInd, desc);
  fLastIndex = recInd;
  ++fNRecordVars;
  fvVormIndices.push_back(-1);
  fvFreeIndices.push_back(recInd);
  return recInd;
}

int KVOVarValidSpecs::AddSpecialSlot() {
  const int recInd = fNRecordVars;
  KVOVariableDesc desc(-1, false, true, true, true);
  desc.SetRecVarIndex(recInd);
  StoreDesc(fvVarDescs, recInd, desc);
  fLastIndex = recInd;
  ++fNRecordVars;
  fvVormIndices.push_back(-1);
  return recInd;
}

int KVOVarValidSpecs::SetWeightVar() {
  if (fWeightVarInd < 0) fWeightVarInd = AddSpecialSlot();
  return fWeightVarInd;
}

int KVOVarValidSpecs::SetCaseCount() {
  if (fCaseCountInd < 0) fCaseCountInd = AddSpecialSlot();
  return fCaseCountInd;
}

int KVOVarValidSpecs::SetGlobalCount() {
  if (fGlobalCountInd < 0) fGlobalCountInd = AddSpecialSlot();
  return fGlobalCountInd;
}

// ---------------------------------------------------------------------------
// Queries

int KVOVarValidSpecs::GetVORMVarIndex(int recInd) const {
  if (recInd < 0 || static_cast<size_t>(recInd) >= fvVormIndices.size()) return -1;
  return fvVormIndices[static_cast<size_t>(recInd)];
}

const KVOVariableDesc* KVOVarValidSpecs::GetRecVarDescPtr(int recInd) const {
  if (recInd < 0 || static_cast<size_t>(recInd) >= fvVarDescs.size()) return nullptr;
  return &fvVarDescs[static_cast<size_t>(recInd)];
}

bool KVOVarValidSpecs::GetRecordCatVar(int recInd) const {
  const KVOVariableDesc* desc = GetRecVarDescPtr(recInd);
  return desc == nullptr || desc->GetCatVar();
}

int KVOVarValidSpecs::GetRecVarIndex(int vormInd) const {
  if (vormInd < 0 || static_cast<size_t>(vormInd) >= fvRecordIndices.size()) return -1;
  return fvRecordIndices[static_cast<size_t>(vormInd)];
}

const KVOVariableDesc* KVOVarValidSpecs::GetVORMVarDescPtr(int vormInd) const {
  return GetRecVarDescPtr(GetRecVarIndex(vormInd));
}

bool KVOVarValidSpecs::GetVORMCatVar(int vormInd) const {
  const KVOVariableDesc* desc = GetVORMVarDescPtr(vormInd);
  return desc == nullptr || desc->GetCatVar();
}

const KVOMatrixSpecs* KVOVarValidSpecs::GetMatrixSpecsPtr(int matrixNum) const {
  if (matrixNum < 0 || static_cast<size_t>(matrixNum) >= fvMatrixSpecs.size()) return nullptr;
  return &fvMatrixSpecs[static_cast<size_t>(matrixNum)];
}

int KVOVarValidSpecs::GetRecMatrixInd(int matrixNum) const {
  const KVOMatrixSpecs* spec = GetMatrixSpecsPtr(matrixNum);
  return spec ? spec->GetRecVarIndex() : -1;
}

int KVOVarValidSpecs::GetMatSpecGroupNum(int matrixNum) const {
  const KVOMatrixSpecs* spec = GetMatrixSpecsPtr(matrixNum);
  return spec ? spec->GetGroupIndex() : 0;
}

// ---------------------------------------------------------------------------
// Text

// String formats (A, AHEX) print at their own width. Any other format prints
// at width 40 with its own type and decimals, and the number's text is
// trimmed at both ends. A string's text loses only its trailing blanks, and
// only when `trim` is set; otherwise it is the whole buffer, NUL bytes
// included.
std::string KVOVarValidSpecs::ConvertObsToString(const OBS* value, const VORM_Format& format,
                                                 bool trim) const {
  if (value == nullptr) return std::string();
  const bool stringFormat = format.Type() == VORM_Format::A || format.Type() == VORM_Format::AHEX;
  VORM_Format useFormat = format;
  if (!stringFormat) useFormat.SetWidth(NUMERIC_TEXT_WIDTH);
  const size_t width = static_cast<size_t>(useFormat.Width());
  std::vector<char> buffer(width + 1, '\0');
  if (ToString(value, useFormat, buffer.data()) != 0) return std::string();
  buffer[width] = '\0';
  if (!stringFormat) return std::string(VORMMBstrtrim_A(buffer.data()));
  if (!trim) return std::string(buffer.data(), width);
  VORMMBstrtrim_A(buffer.data());
  return std::string(buffer.data());
}

std::string KVOVarValidSpecs::ConvertObsToString(const OBS* value, const VORM_Variable& variable,
                                                 bool trim) const {
  return ConvertObsToString(value, kvo_detail::FormatWithinValue(variable.GetFormat(), variable.GetType()),
                            trim);
}

std::string KVOVarValidSpecs::AdjustDecimalCharacter(const std::string& text) const {
  std::string adjusted = text;
  if (fDecimalChar != '.') {
    const size_t point = adjusted.find('.');
    if (point != std::string::npos) adjusted[point] = fDecimalChar;
  }
  return adjusted;
}

// The group's default rules, the listwise mode, the counters, every
// descriptor and matrix specification, and the index lists.
void KVOVarValidSpecs::Display() const {
  namespace D = KVOCommonDisplay;
  D::DisplayStart("KVOVarValidSpecs (the base class)");
  DisplayMissingRules("variable group", fbProcSysMiss, fbExclUserMiss, fbScoreSysMiss);
  D::DisplayText(1, fbStrongListWise ? "Listwise deletion (strong) applies before variable values are encoded"
                                     : "Listwise deletion (soft) applies after variable values are encoded");
  if (fCaseCountInd >= 0) {
    D::DisplayI("Case counter index in the record", fCaseCountInd);
  } else {
    D::DisplayText(1, "Case counter is not set");
  }
  if (fGlobalCountInd >= 0) {
    D::DisplayI("Global case counter index in the record", fGlobalCountInd);
  } else {
    D::DisplayText(1, "Global case counter is not set");
  }

  D::DisplayI("Number of variable descriptors", static_cast<int>(fvVarDescs.size()));
  if (fvVarDescs.empty()) {
    D::DisplayText(1, "No variables are specified for recoding");
  } else {
    D::DisplayText(1, "Start displaying variable descriptors;");
    for (const KVOVariableDesc& desc : fvVarDescs) desc.Display();
    D::DisplayText(1, "End displaying variable descriptors;");
  }
  D::DisplayI("Number of matrices", static_cast<int>(fvMatrixSpecs.size()));
  if (fvMatrixSpecs.empty()) {
    D::DisplayText(1, "No matrix specifications");
  } else {
    D::DisplayText(1, "Start displaying matrix specifications;");
    for (const KVOMatrixSpecs& spec : fvMatrixSpecs) spec.Display();
    D::DisplayText(1, "End displaying matrix specifications;");
  }

  DisplayIndexList("Vector of VORM indices for categorical variables", fvCatVarsX);
  DisplayIndexList("Vector of VORM indices for continuous variables", fvContVarsX);
  // The host-to-record map: element i is the record (component) index of
  // host variable i, -1 where the variable has no slot.
  DisplayIndexList("Vector of Korel variable indices", fvRecordIndices);
  D::DisplayEnd("KVOVarValidSpecs");
}

// One name per record slot, in record order.
void KVOVarValidSpecs::DisplayVarNames(const VORM_DataSource& dataSource) const {
  std::vector<std::string> names;
  names.reserve(fvVormIndices.size());
  for (int recInd = 0; recInd < static_cast<int>(fvVormIndices.size()); ++recInd) {
    const int vormInd = fvVormIndices[static_cast<size_t>(recInd)];
    if (vormInd >= 0) {
      names.push_back(VariableName(dataSource, vormInd));
    } else if (recInd == fWeightVarInd) {
      const int weightInd = dataSource.GetWeightVarIndex();
      names.push_back(weightInd >= 0 ? VariableName(dataSource, weightInd) : std::string("VORM Weight"));
    } else if (recInd == fGlobalCountInd) {
      names.push_back("Global Case Count");
    } else if (recInd == fCaseCountInd) {
      names.push_back("Local Case Count");
    } else {
      names.push_back("Internal Variable");
    }
  }
  KVOCommonDisplay::DisplaySL("Vector of variable names in the record:", names);
}
