// Message items of the procedure output: plain texts, numbers, variables and
// data values. Texts are not translated: the translate flag is accepted and
// has no effect.
#include <vorm/ProcOutput.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ValueText.h"

namespace {

constexpr int MAX_MESSAGE_DECIMALS = 16;

}  // namespace

BpString::BpString(std::string text, bool /*translate*/) : fText(std::move(text)) {}

std::string BpString::Text() const { return fText; }

BpNumber::BpNumber(double value, BpFormatSpec format) : fValue(value), fFormat(format) {}

// The number with the format's decimals (0 to 16); the system-missing value
// shows as ".", and a rounded zero has no minus sign.
std::string BpNumber::Text() const {
  if (fValue == VORM_SYSMIS) return ".";
  if (fValue != fValue) return "NaN";
  const int decimals = std::clamp(fFormat.fDecimals, 0, MAX_MESSAGE_DECIMALS);
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, fValue);
  if (buffer[0] == '-' && std::strspn(buffer + 1, "0.") == std::strlen(buffer + 1)) return buffer + 1;
  return buffer;
}

BpVariable::BpVariable(const VORM_Variable& variable, Show show)
    : fName(variable.GetName() ? variable.GetName() : ""),
      fLabel(variable.GetLabel() ? variable.GetLabel() : ""),
      fShow(show) {}

// ShowName and ShowNameOrLabel show the name; ShowNameAndLabel adds the
// label in parentheses when there is one.
std::string BpVariable::Text() const {
  if (fShow == ShowNameAndLabel && !fLabel.empty()) return fName + " (" + fLabel + ")";
  return fName;
}

BpDataValue::BpDataValue(const VORM_Variable& variable, const OBS* value, Preference preference)
    : fValue(standin::detail::FormattedValueText(variable, value)),
      fLabel(standin::detail::ValueLabelText(variable, value)),
      fPreference(preference) {}

// PreferValue: the formatted, trimmed value. PreferValueOrLabel: the value
// label when there is one, else the value. PreferValueAndLabel: the value and
// the label in parentheses when there is one.
std::string BpDataValue::Text() const {
  switch (fPreference) {
    case PreferValueOrLabel:
      return fLabel.empty() ? fValue : fLabel;
    case PreferValueAndLabel:
      return fLabel.empty() ? fValue : fValue + " (" + fLabel + ")";
    default:
      return fValue;
  }
}
