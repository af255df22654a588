#include "kvoadapter/KVOVarListMetaData.h"

#include <vorm/Utility.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <utility>

#include "KVOAssert.h"

namespace {
constexpr const char* KVO_SOURCE = "backend/kvoadapter/KVOVarListMetaData";

using QorXML::IQorVariable;

// What the component is told about categorical variables: the measurement
// level of numeric and of string categories, and the value type that marks
// string values.
constexpr int MEASURE_NUMERIC_CATEGORICAL = 2;
constexpr int MEASURE_STRING_CATEGORICAL = 3;
constexpr int VALUE_TYPE_STRING = 3;

// Enough for any double printed with "%-.15g" (at most 22 characters).
constexpr size_t NUMBER_TEXT_SIZE = 64;

// U+FFFD REPLACEMENT CHARACTER in UTF-8: what a byte becomes that the host
// cannot convert.
constexpr const char* REPLACEMENT_UTF8 = "\xEF\xBF\xBD";
// The longest character of the host encodings, in bytes.
constexpr size_t MAX_CHARACTER_BYTES = 4;

// `source`, which the host refused to convert whole, converted character by
// character: at each position the shortest run of up to MAX_CHARACTER_BYTES
// bytes that the host converts is kept; a byte that starts no such run
// becomes U+FFFD and the conversion goes on with the next byte. So only the
// bytes that do not convert are lost, and texts that differ elsewhere stay
// apart. (An encoding with shift states would need more than this.)
std::string ConvertReplacingBadBytes(void* converter, const std::string& source) {
  std::string result;
  std::string piece;
  std::string converted;
  size_t at = 0;
  while (at < source.size()) {
    size_t taken = 0;
    for (size_t length = 1; length <= MAX_CHARACTER_BYTES && at + length <= source.size(); ++length) {
      piece.assign(source, at, length);
      if (VORMMBGenericToU8(converter, converted, piece) == 0) {
        result += converted;
        taken = length;
        break;
      }
    }
    if (taken == 0) {
      result += REPLACEMENT_UTF8;
      taken = 1;
    }
    at += taken;
  }
  return result;
}

}  // namespace

KVOVarListMetaData::KVOVarListMetaData(QorXML::QorVarList& varList, const KVOVarValidSpecs* validSpecs,
                                       const ProcedureDataSource& dataSource,
                                       const KVOInputAdapter* inputAdapter, bool withValueInfo)
    : fVarList(varList),
      fpValidSpecs(validSpecs),
      fpInputAdapter(inputAdapter),
      fDataSource(dataSource),
      fWithValueInfo(withValueInfo),
      fConverter(VORMMBConverterNew_A(nullptr)) {}

KVOVarListMetaData::~KVOVarListMetaData() {
  if (fConverter != nullptr) VORMMBConverterDelete_A(fConverter);
}

// --- Single variables ----------------------------------------------------------

bool KVOVarListMetaData::AddRecVariable(int recIndex, bool isCategorical, VariableRole role, bool contFlag,
                                        int contInt, const OBS* value, std::string name) {
  return AddRecVariableData(recIndex, isCategorical, role, contFlag, contInt, value, name);
}

bool KVOVarListMetaData::AddRecVariable(int recIndex, bool isCategorical, VariableRole role, const OBS* value,
                                        std::string name) {
  return AddRecVariableData(recIndex, isCategorical, role, false, -1, value, name);
}

bool KVOVarListMetaData::AddVariable(int hostIndex, bool isCategorical, VariableRole role, bool contFlag,
                                     int contInt, const OBS* value) {
  return AddVariableData(hostIndex, isCategorical, role, contFlag, contInt, value);
}

bool KVOVarListMetaData::AddVariable(int hostIndex, bool isCategorical, VariableRole role, const OBS* value) {
  return AddVariableData(hostIndex, isCategorical, role, false, -1, value);
}

bool KVOVarListMetaData::AddVariableData(int hostIndex, bool isCategorical, VariableRole role, bool contFlag,
                                         int contInt, const OBS* value) {
  if (!KVO_ASSERT_TEXT(fpValidSpecs != nullptr, "fpValidSpecs != 0")) return false;
  return AddRecVariableData(fpValidSpecs->GetRecVarIndex(hostIndex), isCategorical, role, contFlag, contInt,
                            value, std::string());
}

bool KVOVarListMetaData::AddRecVariableData(int recIndex, bool isCategorical, VariableRole role,
                                            bool contFlag, int contInt, const OBS* /*value*/,
                                            const std::string& name) {
  if (!KVO_ASSERT_TEXT(fpValidSpecs != nullptr, "fpValidSpecs != 0")) return false;
  if (!KVO_ASSERT_TEXT(fpInputAdapter != nullptr, "fpInputAdapter != 0")) return false;
  const int vormInd = fpValidSpecs->GetVORMVarIndex(recIndex);
  const VORM_Variable* pVariable = HostVariable(vormInd);
  if (pVariable == nullptr) return false;
  const VORM_Variable& variable = *pVariable;

  const std::string varName = ComponentName(variable, name);
  const std::string label = ComponentLabel(variable);
  const short type = variable.GetType();

  if (!isCategorical) {
    const double min = fpInputAdapter->GetRecMinValue(recIndex);
    const double max = fpInputAdapter->GetRecMaxValue(recIndex);
    const int newIndex = fVarList.AddContVar(varName, label, min, max, role, contFlag, contInt);
    KVO_ASSERT(newIndex == recIndex);
    if (fWithValueInfo) SetMissingValues(variable, recIndex);
    return true;
  }

  const int measureLevel = type != 0 ? MEASURE_STRING_CATEGORICAL : MEASURE_NUMERIC_CATEGORICAL;
  const int count = std::max(0, fpInputAdapter->GetRecordCatVarSize(recIndex));
  const auto nCategories = static_cast<size_t>(count);

  if (!fWithValueInfo) {
    const int newIndex = fVarList.AddCatVar(varName, label, count,
                                            static_cast<IQorVariable::MeasureLevel>(measureLevel), role);
    KVO_ASSERT(newIndex == recIndex);
    if (type > 0) {
      IQorVariable* pIQorVar = fVarList.GetVarAt(recIndex);
      if (KVO_ASSERT_TEXT(pIQorVar != nullptr, "pIQorVar != 0")) pIQorVar->SetValueType(VALUE_TYPE_STRING);
    }
    return true;
  }

  const VORM_ValueLabelMap valueLabels(variable.GetValueLabels());
  std::vector<std::string> labels(nCategories);
  // Decodes each category, hands its slot and value to `storeValue` and
  // reads the value's label. A category that does not decode keeps its
  // slot's first value and no label.
  auto decodeCategories = [&](auto storeValue) {
    for (int i = 0; i < count; ++i) {
      int vormX = -1;
      const OBS* pOBS = fpInputAdapter->DecodeCatValue(recIndex, i, vormX);
      const bool decoded = KVO_ASSERT_TEXT(pOBS != nullptr, "pOBS != 0");
      KVO_ASSERT(vormX == vormInd);
      if (!decoded) continue;
      const auto slot = static_cast<size_t>(i);
      storeValue(slot, pOBS);
      const char* valueLabel = valueLabels.GetLabel(pOBS);
      if (valueLabel != nullptr) labels[slot] = transcodeToUTF8(valueLabel);
    }
  };
  if (type == 0) {
    std::vector<double> values(nCategories, 0.0);
    decodeCategories([&](size_t slot, const OBS* pOBS) {
      const double catValue = pOBS->num;
      KVO_ASSERT(catValue != VORM_SystemMissing().num);
      values[slot] = catValue;
    });
    const int newIndex = fVarList.AddCatVar(varName, label, values, labels, role);
    KVO_ASSERT(newIndex == recIndex);
  } else {
    std::vector<std::string> values(nCategories);
    decodeCategories([&](size_t slot, const OBS* pOBS) {
      const std::string text = fpValidSpecs->ConvertObsToString(pOBS, variable, true);
      values[slot] = transcodeToUTF8(text.c_str());
    });
    const int newIndex = fVarList.AddCatVar(varName, label, values, labels, role);
    KVO_ASSERT(newIndex == recIndex);
    IQorVariable* pIQorVar = fVarList.GetVarAt(recIndex);
    if (KVO_ASSERT_TEXT(pIQorVar != nullptr, "pIQorVar != 0")) pIQorVar->SetValueType(VALUE_TYPE_STRING);
  }
  SetMissingValues(variable, recIndex);
  return true;
}

// --- Missing values ------------------------------------------------------------------

void KVOVarListMetaData::SetMissingValues(const VORM_Variable& variable, int recIndex) {
  QorXML::IQorEncoder* encoder = fVarList.GetEncoderAt(recIndex);
  // Only after a reported index mismatch can the entry be missing.
  if (encoder == nullptr) return;
  const short vType = variable.GetType();
  const VORM_ValueLabelMap valueLabels(variable.GetValueLabels());

  const OBS* m1 = nullptr;
  const OBS* m2 = nullptr;
  const OBS* m3 = nullptr;
  const int n = variable.GetMissingValues(m1, m2, m3);

  // A discrete value with its label (empty when it has none), as a number or
  // as the value's text.
  auto addDiscrete = [&](const OBS* missing, bool numeric) {
    if (missing == nullptr) return;
    const std::string labelText = transcodeToUTF8(valueLabels.GetLabel(missing));
    if (numeric) {
      encoder->AddMissingValue(missing->num, labelText);
    } else {
      std::string text;
      ConvertObsValToStr(missing, variable, text);
      encoder->AddMissingValue(transcodeToUTF8(text.c_str()), labelText);
    }
  };

  if (n >= 1) {
    const OBS* discrete[] = {m1, m2, m3};
    for (int i = 0; i < std::min(n, 3); ++i) addDiscrete(discrete[i], vType <= 0);
  } else if (n < 0) {
    KVO_ASSERT(vType == 0);
    if (n == VORM_MISSING_RANGE_AND_ONE) addDiscrete(m3, true);
    // The range carries no label.
    if (m1 != nullptr && m2 != nullptr) encoder->SetMissingRange(m1->num, m2->num);
  }
}

// --- Lists -------------------------------------------------------------------------------

int KVOVarListMetaData::AddVariableList(const std::vector<int>* varIdList,
                                        const std::vector<bool>& catVarFlags, VariableRole role) {
  if (varIdList == nullptr) return 0;
  KVO_ASSERT(varIdList->size() == catVarFlags.size());
  const size_t n = std::min(varIdList->size(), catVarFlags.size());
  int added = 0;
  for (size_t i = 0; i < n; ++i) {
    if (AddVariableData((*varIdList)[i], catVarFlags[i], role, false, -1, nullptr)) ++added;
  }
  return added;
}

int KVOVarListMetaData::AddVariableList(const std::vector<int>* varIdList, bool isCategorical,
                                        VariableRole role) {
  if (varIdList == nullptr) return 0;
  int added = 0;
  for (int hostIndex : *varIdList) {
    if (AddVariableData(hostIndex, isCategorical, role, false, -1, nullptr)) ++added;
  }
  return added;
}

int KVOVarListMetaData::AddRecVariableList(const std::vector<int>* recVarList,
                                           const std::vector<bool>& catVarFlags, VariableRole role) {
  if (recVarList == nullptr) return 0;
  KVO_ASSERT(recVarList->size() == catVarFlags.size());
  const size_t n = std::min(recVarList->size(), catVarFlags.size());
  int added = 0;
  for (size_t i = 0; i < n; ++i) {
    if (AddRecVariableData((*recVarList)[i], catVarFlags[i], role, false, -1, nullptr, std::string()))
      ++added;
  }
  return added;
}

int KVOVarListMetaData::AddRecVariableList(const std::vector<int>* recVarList, bool isCategorical,
                                           VariableRole role) {
  if (recVarList == nullptr) return 0;
  int added = 0;
  for (int recIndex : *recVarList) {
    if (AddRecVariableData(recIndex, isCategorical, role, false, -1, nullptr, std::string())) ++added;
  }
  return added;
}

// --- Weight --------------------------------------------------------------------------------

bool KVOVarListMetaData::AddRecWeightVar(int recIndex, VariableRole /*role*/, WRoundingOption rounding,
                                         std::string name) {
  const int w = fDataSource.GetWeightVarIndex();
  if (w < 0) return true;  // unweighted data: nothing to describe
  const VORM_Variable* pVariable = HostVariable(w);
  if (pVariable == nullptr) return false;
  const std::string varName = ComponentName(*pVariable, name);
  const std::string label = ComponentLabel(*pVariable);
  const int newIndex = fVarList.SetWeightVar(varName, label, rounding);
  if (newIndex < 0) return false;
  KVO_ASSERT(newIndex == recIndex);
  SetMissingValues(*pVariable, recIndex);
  return true;
}

bool KVOVarListMetaData::AddWeightVar(int hostIndex, VariableRole role, WRoundingOption rounding) {
  if (!KVO_ASSERT_TEXT(fpValidSpecs != nullptr, "fpValidSpecs != 0")) return false;
  return AddRecWeightVar(fpValidSpecs->GetRecVarIndex(hostIndex), role, rounding, std::string());
}

// --- Text ------------------------------------------------------------------------------------

void KVOVarListMetaData::ConvertObsValToStr(const OBS* value, const VORM_Variable& variable,
                                            std::string& out) const {
  out.clear();
  if (value == nullptr) return;
  if (variable.GetType() != 0) {
    if (!KVO_ASSERT_TEXT(fpValidSpecs != nullptr, "fpValidSpecs != 0")) return;
    out = fpValidSpecs->ConvertObsToString(value, variable, true);
    return;
  }
  char buffer[NUMBER_TEXT_SIZE];
  const int length = std::snprintf(buffer, sizeof buffer, "%-.15g", value->num);
  if (length <= 0) return;
  out.assign(buffer, std::min(static_cast<size_t>(length), sizeof buffer - 1));
  // printf writes the C locale's decimal point; the component always reads '.'.
  const char decimalPoint = std::localeconv()->decimal_point[0];
  if (decimalPoint != '.' && decimalPoint != '\0') {
    const size_t at = out.find(decimalPoint);
    if (at != std::string::npos) out[at] = '.';
  }
}

std::string KVOVarListMetaData::transcodeToUTF8(const char* text) const {
  std::string result;
  const std::string source = text != nullptr ? std::string(text) : std::string();
  const int errCode = VORMMBGenericToU8(fConverter, result, source);
  // The host leaves the result unspecified on failure: start again and lose
  // only the bytes that do not convert.
  if (!KVO_ASSERT(errCode == 0)) result = ConvertReplacingBadBytes(fConverter, source);
  return result;
}

// --- Helpers -------------------------------------------------------------------------------

std::string KVOVarListMetaData::ComponentName(const VORM_Variable& variable, const std::string& name) const {
  const std::string utf8 = transcodeToUTF8(name.empty() ? variable.GetName() : name.c_str());
  return VormVarName(utf8).str();
}

std::string KVOVarListMetaData::ComponentLabel(const VORM_Variable& variable) const {
  const char* label = variable.GetLabel();
  return label != nullptr ? transcodeToUTF8(label) : std::string();
}

const VORM_Variable* KVOVarListMetaData::HostVariable(int hostIndex) const {
  const VORM_Variable* pVariable = fDataSource.GetVariable(hostIndex);
  KVO_ASSERT_TEXT(pVariable != nullptr, "pVariable != 0");
  return pVariable;
}
