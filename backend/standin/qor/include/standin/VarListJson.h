// A JSON rendering of a component variable list, for programs that show what
// a component was told. Any thread; reads the list only.
#ifndef STANDIN_VARLISTJSON_H
#define STANDIN_VARLISTJSON_H

#include <qor/VarList.h>

#include <string>

namespace standin {

// The list as a JSON document: {"variables": [ {...}, ... ]}, one object per
// entry in index order with its kind ("categorical", "continuous",
// "weight"), name, label, value type, measure level, role, and what applies
// to its kind: categories (count, values, value labels), range and the two
// continuous arguments, rounding; and its missing values ("missing": values
// with labels, and a range when one was set). Texts that are not valid
// UTF-8 are rendered with U+FFFD in place of the bad bytes. `indent` < 0
// gives one line.
std::string VarListToJson(const QorXML::QorVarList& list, int indent = 2);

}  // namespace standin

#endif  // STANDIN_VARLISTJSON_H
