#include "ValueText.h"

#include <vorm/Format.h>

#include <vector>

namespace standin::detail {
namespace {

constexpr int NUMBER_WIDTH = 40;

}  // namespace

std::string FormattedValueText(const VORM_Variable& variable, const OBS* value) {
  if (value == nullptr) return "";
  const int type = variable.GetType();
  VORM_Format format = variable.GetFormat();
  if (type == 0) {
    if (format.Type() != VORM_Format::F && format.Type() != VORM_Format::E) {
      format = VORM_Format(VORM_Format::F, NUMBER_WIDTH, 2);
    }
    format.SetWidth(NUMBER_WIDTH);
  } else if (format.Type() == VORM_Format::AHEX && type <= 16383) {
    format = VORM_Format(VORM_Format::AHEX, 2 * type, 0);
  } else {
    format = VORM_Format(VORM_Format::A, type, 0);
  }
  std::vector<char> buffer(static_cast<size_t>(format.Width()) + 1);
  if (ToString(value, format, buffer.data()) != 0) return "";
  return VORMMBstrtrim_A(buffer.data());
}

std::string ValueLabelText(const VORM_Variable& variable, const OBS* value) {
  const char* label = VORM_ValueLabelMap(variable.GetValueLabels()).GetLabel(value);
  return label ? label : "";
}

std::string LabelOrValueText(const VORM_Variable& variable, const OBS* value) {
  const char* label = VORM_ValueLabelMap(variable.GetValueLabels()).GetLabel(value);
  return label ? std::string(label) : FormattedValueText(variable, value);
}

}  // namespace standin::detail
