#include "kvoadapter/KVOCommonDisplay.h"

#include <vorm/Format.h>

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "KVOAssert.h"
#include "KVOValueFormat.h"

namespace {
constexpr const char* KVO_SOURCE = "KVOCommonDisplay";

// Where display lines go; null means the host's output.
std::ostream* gpOutStream = nullptr;

const char* const NONE_TEXT = " <none>";
const char* const MISSING_TEXT = "miss";

// Sends one finished line; every labelled display starts a new line.
void SendLine(const std::string& line) { KVOCommonDisplay::DisplayText(1, line); }

// The label's text as the start of a line.
std::string Line(const BP_Character& label) { return label.str(); }

// Appends printf-style text to `line`. The formats used here print a single
// number, which the buffer holds with room to spare.
template <typename T>
void AppendFormatted(std::string& line, const char* format, T value) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, format, value);
  if (n > 0) line.append(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

// " %g" of a value, or " miss" for the system-missing value.
void AppendDouble(std::string& line, double value) {
  if (value == VORM_SYSMIS) {
    line += ' ';
    line += MISSING_TEXT;
  } else {
    AppendFormatted(line, " %g", value);
  }
}

void AppendQuoted(std::string& line, const std::string& text) {
  line += " \"";
  line += text;
  line += '"';
}

// A host value formatted by the host into its format's width, cut at that
// width and trimmed of blanks at both ends.
std::string FormatObs(const OBS* value, const VORM_Format& format) {
  const size_t width = static_cast<size_t>(format.Width());
  std::string buffer(width + 1, '\0');
  const int status = ToString(value, format, buffer.data());
  KVO_ASSERT_TEXT(status == 0, "ToString(value, format, buffer) == 0");
  buffer[width] = '\0';
  return std::string(VORMMBstrtrim_A(buffer.data()));
}

void SendIntList(const BP_Character& label, const std::vector<int>& values) {
  std::string line = Line(label);
  if (values.empty()) line += NONE_TEXT;
  for (int v : values) AppendFormatted(line, " %d", v);
  SendLine(line);
}

void SendDoubleList(const BP_Character& label, const std::vector<double>& values) {
  std::string line = Line(label);
  if (values.empty()) line += NONE_TEXT;
  for (double v : values) AppendDouble(line, v);
  SendLine(line);
}

void SendIntPairs(const BP_Character& label, const std::map<int, int>& pairs) {
  std::string line = Line(label);
  if (pairs.empty()) line += NONE_TEXT;
  for (const auto& [key, value] : pairs) {
    AppendFormatted(line, " (%d", key);
    AppendFormatted(line, ",%d)", value);
  }
  SendLine(line);
}

void SendStringList(const BP_Character& label, const std::vector<std::string>& texts) {
  std::string line = Line(label);
  if (texts.empty()) line += NONE_TEXT;
  for (const std::string& text : texts) AppendQuoted(line, text);
  SendLine(line);
}

// The first line of a display whose items follow on lines of their own.
void SendLabelLine(const BP_Character& label, bool empty) {
  std::string line = Line(label);
  if (empty) line += NONE_TEXT;
  SendLine(line);
}

template <typename ObsPointer>
void SendObsVec(const BP_Character& label, const std::vector<ObsPointer>& values, const VORM_Format& format) {
  SendLabelLine(label, values.empty());
  if (values.empty()) {
    SendLine("No values are specified.");
    return;
  }
  for (const OBS* value : values) KVOCommonDisplay::DisplayObs("Value in dictionary:", value, format);
}

}  // namespace

namespace KVOCommonDisplay {

void SetOutStream(std::ostream* stream) { gpOutStream = stream; }

std::ostream* GetOutStream() { return gpOutStream; }

void DisplayText(const long& lineFeeds, const std::string& text) {
  if (gpOutStream == nullptr) {
    BP_ToFront(lineFeeds, BP_Character(text));
    return;
  }
  for (long i = 0; i < lineFeeds; ++i) {
    *gpOutStream << '\n';
    gpOutStream->flush();
  }
  *gpOutStream << text;
  gpOutStream->flush();
}

void DisplayText(const long& lineFeeds, const char* text) {
  DisplayText(lineFeeds, std::string(text ? text : ""));
}

void DisplayText(const long& lineFeeds, BP_Character text) { DisplayText(lineFeeds, text.str()); }

void DisplayStart(BP_Character name) {
  SendLine(" ");
  SendLine(name.str() + " display start");
}

void DisplayEnd(BP_Character name) {
  SendLine(" ");
  SendLine(name.str() + " display end");
}

void DisplayB(BP_Character label, bool value) { SendLine(Line(label) + (value ? " = true" : " = false")); }

void DisplayBV(BP_Character label, const std::vector<bool>& values) {
  std::string line = Line(label);
  if (values.empty()) line += NONE_TEXT;
  for (bool v : values) line += v ? " true" : " false";
  SendLine(line);
}

void DisplayC(BP_Character label, int catVarValue) {
  std::string line = Line(label);
  if (catVarValue == -1) {
    line += " = missing value for a categorical variable";
  } else if (catVarValue == 0) {
    line += " = minimum categorical variable value";
  } else {
    line += " = unrecognized";
  }
  SendLine(line);
}

void DisplayD(BP_Character label, double value) {
  std::string line = Line(label);
  if (value == VORM_SYSMIS) {
    line += " = ";
    line += MISSING_TEXT;
  } else {
    AppendFormatted(line, " = %g", value);
  }
  SendLine(line);
}

void DisplayDV(BP_Character label, const std::vector<double>& values) { SendDoubleList(label, values); }

void DisplayNL(BP_Character label, const std::vector<double>& values) { SendDoubleList(label, values); }

void DisplayI(BP_Character label, int value) {
  std::string line = Line(label);
  AppendFormatted(line, " = %d", value);
  SendLine(line);
}

void DisplayT(BP_Character label, size_t value) {
  std::string line = Line(label);
  AppendFormatted(line, " = %lu", static_cast<unsigned long>(value));
  SendLine(line);
}

void DisplayIV(BP_Character label, const std::vector<int>& values) { SendIntList(label, values); }

void DisplayVL(BP_Character label, const std::vector<int>& values) { SendIntList(label, values); }

void DisplayVCL(BP_Character label, const std::vector<int>& vars, const std::vector<bool>& catVars) {
  KVO_ASSERT(vars.size() == catVars.size());
  const size_t n = vars.size() < catVars.size() ? vars.size() : catVars.size();
  std::string line = Line(label);
  if (n == 0) line += NONE_TEXT;
  for (size_t i = 0; i < n; ++i) AppendFormatted(line, catVars[i] ? " %d(cat)" : " %d(cont)", vars[i]);
  SendLine(line);
}

void DisplayIIM(BP_Character label, const std::map<int, int>& pairs) { SendIntPairs(label, pairs); }

void DisplayVIM(BP_Character label, const std::map<int, int>& pairs) { SendIntPairs(label, pairs); }

void DisplayS(BP_Character label, const std::string& text) { SendLine(Line(label) + " = " + text); }

void DisplaySL(BP_Character label, const std::vector<std::string>& texts) { SendStringList(label, texts); }

void DisplaySV(BP_Character label, const std::vector<std::string>& texts) { SendStringList(label, texts); }

void DisplayVNL(BP_Character label, const std::vector<VormVarName>& names) {
  std::string line = Line(label);
  if (names.empty()) line += NONE_TEXT;
  for (const VormVarName& name : names) AppendQuoted(line, name.str());
  SendLine(line);
}

void DisplaySVV(BP_Character label, const std::vector<std::vector<std::string>>& vectors) {
  SendLabelLine(label, vectors.empty());
  for (size_t i = 0; i < vectors.size(); ++i) {
    std::string innerLabel;
    AppendFormatted(innerLabel, "vec[%d]", static_cast<int>(i));
    DisplaySV(innerLabel, vectors[i]);
  }
}

void DisplayObs(BP_Character label, const OBS* value, const VORM_Format& format) {
  if (value == nullptr) return;
  DisplayS(label, FormatObs(value, format));
}

void DisplayObsVec(BP_Character label, const std::vector<const OBS*>& values, const VORM_Format& format) {
  SendObsVec(label, values, format);
}

void DisplayObsVec(BP_Character label, const std::vector<OBS*>& values, const VORM_Format& format) {
  SendObsVec(label, values, format);
}

void DisplayIntVecDVecMap(BP_Character label,
                          const std::map<std::vector<int>, std::vector<double>>& entries) {
  SendLabelLine(label, entries.empty());
  for (const auto& [key, value] : entries) {
    DisplayIV("Map key", key);
    DisplayDV("Map value", value);
  }
}

void DisplayIntVecIntMap(BP_Character label, const std::map<std::vector<int>, int>& entries) {
  SendLabelLine(label, entries.empty());
  for (const auto& [key, value] : entries) {
    DisplayIV("Map key", key);
    DisplayI("Map value", value);
  }
}

void DisplaySLDM(BP_Character label, const std::map<std::vector<std::string>, double>& entries) {
  SendLabelLine(label, entries.empty());
  for (const auto& [key, value] : entries) {
    DisplaySL("Map's String List:", key);
    DisplayD("Map's double", value);
  }
}

void DisplayObsVecMapD(BP_Character label, const ObsVecMap& map, const std::vector<VORM_Format>& formats) {
  SendLabelLine(label, map.Size() == 0);
  const ObsVecMap::KeySpec& keySpec = map.GetKeySpec();
  if (!KVO_ASSERT(formats.size() == keySpec.size())) return;
  size_t keyCells = 0;
  for (short type : keySpec) keyCells += static_cast<size_t>(VORM_CellCount(type));
  const bool hasValue = map.CellSize() > keyCells;

  const std::vector<OBS*> keys = map.Sort();
  std::vector<std::string> texts;
  for (const OBS* key : keys) {
    texts.clear();
    // A key is its variables' cells laid end to end, each variable taking as
    // many cells as its type needs.
    const OBS* cell = key;
    for (size_t i = 0; i < keySpec.size(); ++i) {
      texts.push_back(FormatObs(cell, kvo_detail::FormatWithinValue(formats[i], keySpec[i])));
      cell += VORM_CellCount(keySpec[i]);
    }
    DisplaySL("Map key (list of strings):", texts);
    if (hasValue) DisplayD("Map value", key[keyCells].num);
  }
}

}  // namespace KVOCommonDisplay
