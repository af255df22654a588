// Display texts of values for messages and split-group lists. Any thread.
#ifndef STANDIN_VALUETEXT_H
#define STANDIN_VALUETEXT_H

#include <vorm/Dictionary.h>

#include <string>

namespace standin::detail {

// The value shown with the variable's print format and trimmed at both ends.
// Numbers use the format's type and decimals at width 40, strings the
// variable's full width. Empty for a null value.
std::string FormattedValueText(const VORM_Variable& variable, const OBS* value);
// The value's label, or the empty string.
std::string ValueLabelText(const VORM_Variable& variable, const OBS* value);
// The label when the value has one, else the formatted value.
std::string LabelOrValueText(const VORM_Variable& variable, const OBS* value);

}  // namespace standin::detail

#endif  // STANDIN_VALUETEXT_H
