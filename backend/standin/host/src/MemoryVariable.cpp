#include "MemoryVariable.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <set>

namespace standin {
namespace {

constexpr int MAX_NUMERIC_FORMAT_WIDTH = 255;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

std::string NumberText(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

// A number a declaration may use as a missing value or a labelled value.
bool IsDeclarableNumber(double value) { return std::isfinite(value) && value != VORM_SYSMIS; }

void PadInto(const std::string& text, size_t width, char* out) {
  std::memset(out, ' ', width);
  std::memcpy(out, text.data(), std::min(width, text.size()));
}

}  // namespace

std::string MemoryVariable::Check(VariableSpec& spec) {
  if (spec.fName.empty()) return "a variable needs a name";
  // Names are a CSV header's texts: blanks and dots are fine, control
  // characters are not.
  for (unsigned char c : spec.fName) {
    if (c < ' ' || c == 0x7F) return "the name contains a control character";
  }
  if (spec.fType < 0) return "type " + std::to_string(spec.fType) + " is not 0 or a string width";
  const bool isString = spec.fType > 0;

  // Format: the default, or one that suits the type.
  if (spec.fFormat.fPacked == 0) {
    spec.fFormat = isString ? VORM_Format(VORM_Format::A, spec.fType, 0) : VORM_Format(VORM_Format::F, 8, 2);
  }
  const VORM_Format format = spec.fFormat;
  if (isString) {
    if (format.Type() != VORM_Format::A && format.Type() != VORM_Format::AHEX) {
      return "a string variable needs an A or AHEX format";
    }
    // The host prints a string with exactly its own bytes: A as wide as the
    // variable, AHEX twice as wide. Another width would read past the value
    // or cut it.
    const int bytes = spec.fType;
    if (format.Type() == VORM_Format::A && format.Width() != bytes) {
      return "the format A" + std::to_string(format.Width()) + " is not as wide as the string (A" +
             std::to_string(bytes) + ")";
    }
    if (format.Type() == VORM_Format::AHEX && format.Width() != 2 * bytes) {
      return "the format AHEX" + std::to_string(format.Width()) + " does not show the string's bytes (AHEX" +
             std::to_string(2 * bytes) + ")";
    }
  } else {
    if (format.Type() != VORM_Format::F && format.Type() != VORM_Format::E) {
      return "a numeric variable needs an F or E format";
    }
    if (format.Width() < 1 || format.Width() > MAX_NUMERIC_FORMAT_WIDTH) {
      return "the format width " + std::to_string(format.Width()) + " is not in 1.." +
             std::to_string(MAX_NUMERIC_FORMAT_WIDTH);
    }
  }

  // Value labels.
  if (isString && !spec.fNumericLabels.empty()) return "a string variable cannot have numeric value labels";
  if (!isString && !spec.fStringLabels.empty()) return "a numeric variable cannot have string value labels";
  std::set<double> numbers;
  for (const auto& [value, label] : spec.fNumericLabels) {
    if (!IsDeclarableNumber(value)) return "value label for an undefined value " + NumberText(value);
    if (!numbers.insert(value).second) return "two value labels for the value " + NumberText(value);
  }
  std::set<std::string> strings;
  for (const auto& [value, label] : spec.fStringLabels) {
    if (value.size() > static_cast<size_t>(spec.fType)) {
      return "labelled value " + Quoted(value) + " is wider than " + std::to_string(spec.fType);
    }
    std::string padded(static_cast<size_t>(spec.fType), ' ');
    PadInto(value, padded.size(), padded.data());
    if (!strings.insert(padded).second) return "two value labels for the value " + Quoted(value);
  }

  // User-missing values.
  const size_t discrete = spec.fMissingNumbers.size() + spec.fMissingStrings.size();
  if (isString) {
    if (!spec.fMissingNumbers.empty()) return "a string variable cannot have numeric missing values";
    if (spec.fHasMissingRange) return "a string variable cannot have a missing-value range";
    for (const std::string& value : spec.fMissingStrings) {
      if (value.size() > static_cast<size_t>(spec.fType)) {
        return "missing value " + Quoted(value) + " is wider than " + std::to_string(spec.fType);
      }
    }
  } else {
    if (!spec.fMissingStrings.empty()) return "a numeric variable cannot have string missing values";
    for (double value : spec.fMissingNumbers) {
      if (!IsDeclarableNumber(value))
        return "missing value " + NumberText(value) + " is not a defined number";
    }
    if (spec.fHasMissingRange) {
      if (!IsDeclarableNumber(spec.fMissingLow) || !IsDeclarableNumber(spec.fMissingHigh)) {
        return "the missing-value range needs defined bounds";
      }
      if (spec.fMissingLow > spec.fMissingHigh) {
        return "the missing-value range " + NumberText(spec.fMissingLow) + " thru " +
               NumberText(spec.fMissingHigh) + " is empty";
      }
    }
  }
  const size_t allowed = spec.fHasMissingRange ? 1 : 3;
  if (discrete > allowed) {
    return std::to_string(discrete) + " discrete missing values; at most " + std::to_string(allowed) +
           (spec.fHasMissingRange ? " with a range" : "");
  }
  return "";
}

MemoryVariable::MemoryVariable(const VariableSpec& spec) { Apply(spec); }

void MemoryVariable::Apply(const VariableSpec& spec) {
  fApplied = spec;
  fEditable = spec;
  const size_t cells = static_cast<size_t>(Cells());
  const bool isString = spec.fType > 0;
  const size_t width = static_cast<size_t>(spec.fType);

  fMissingCells.assign(3 * cells, OBS{});
  const double none = std::numeric_limits<double>::quiet_NaN();
  fMissingNumbers[0] = fMissingNumbers[1] = fMissingNumbers[2] = none;
  fMissingLow = fMissingHigh = none;
  if (isString) {
    for (OBS& cell : fMissingCells) std::memset(cell.str, ' ', sizeof cell.str);
    for (size_t i = 0; i < spec.fMissingStrings.size(); ++i) {
      PadInto(spec.fMissingStrings[i], width, fMissingCells[i * cells].str);
    }
    fMissingCode = static_cast<int>(spec.fMissingStrings.size());
  } else if (spec.fHasMissingRange) {
    fMissingCells[0].num = fMissingLow = spec.fMissingLow;
    fMissingCells[1].num = fMissingHigh = spec.fMissingHigh;
    if (spec.fMissingNumbers.empty()) {
      fMissingCode = VORM_MISSING_RANGE;
    } else {
      fMissingCells[2].num = fMissingNumbers[0] = spec.fMissingNumbers[0];
      fMissingCode = VORM_MISSING_RANGE_AND_ONE;
    }
  } else {
    for (size_t i = 0; i < spec.fMissingNumbers.size(); ++i) {
      fMissingCells[i].num = fMissingNumbers[i] = spec.fMissingNumbers[i];
    }
    fMissingCode = static_cast<int>(spec.fMissingNumbers.size());
  }

  fNumericLabels.clear();
  for (const auto& [value, label] : spec.fNumericLabels) fNumericLabels.emplace(value, label);
  fStringLabels.clear();
  for (const auto& [value, label] : spec.fStringLabels) {
    std::string padded(width, ' ');
    PadInto(value, width, padded.data());
    fStringLabels.emplace(std::move(padded), label);
  }
}

int MemoryVariable::GetMissingValues(const OBS*& m1, const OBS*& m2, const OBS*& m3) const {
  const size_t cells = static_cast<size_t>(Cells());
  m1 = m2 = m3 = nullptr;
  switch (fMissingCode) {
    case VORM_MISSING_RANGE_AND_ONE:
      m3 = &fMissingCells[2];
      [[fallthrough]];
    case VORM_MISSING_RANGE:
      m1 = &fMissingCells[0];
      m2 = &fMissingCells[1];
      break;
    default:
      if (fMissingCode >= 1) m1 = &fMissingCells[0];
      if (fMissingCode >= 2) m2 = &fMissingCells[cells];
      if (fMissingCode >= 3) m3 = &fMissingCells[2 * cells];
      break;
  }
  return fMissingCode;
}

bool MemoryVariable::IsUserMissingValue(const OBS* value) const {
  if (value == nullptr || fMissingCode == VORM_MISSING_NONE) return false;
  if (fApplied.fType > 0) {
    const size_t cells = static_cast<size_t>(Cells());
    const size_t width = static_cast<size_t>(fApplied.fType);
    for (int i = 0; i < fMissingCode; ++i) {
      if (std::memcmp(value, &fMissingCells[static_cast<size_t>(i) * cells], width) == 0) return true;
    }
    return false;
  }
  const double v = value->num;
  if (v == VORM_SYSMIS) return false;
  return v == fMissingNumbers[0] || v == fMissingNumbers[1] || v == fMissingNumbers[2] ||
         (fMissingLow <= v && v <= fMissingHigh);
}

const char* MemoryVariable::Find(const OBS* value) const {
  if (value == nullptr) return nullptr;
  if (fApplied.fType > 0) {
    const auto it = fStringLabels.find(
        std::string_view(reinterpret_cast<const char*>(value), static_cast<size_t>(fApplied.fType)));
    return it == fStringLabels.end() ? nullptr : it->second.c_str();
  }
  if (value->num != value->num) return nullptr;  // NaN has no place in the map's order
  const auto it = fNumericLabels.find(value->num);
  return it == fNumericLabels.end() ? nullptr : it->second.c_str();
}

}  // namespace standin
