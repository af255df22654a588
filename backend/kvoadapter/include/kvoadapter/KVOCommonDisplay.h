/// \file
/// KVOCommonDisplay: the diagnostic display functions.
#ifndef KVOADAPTER_KVOCOMMONDISPLAY_H
#define KVOADAPTER_KVOCOMMONDISPLAY_H

#include <vorm/ObsVecMap.h>
#include <vorm/ProcOutput.h>
#include <vorm/Types.h>

#include <cstddef>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "kvoadapter/KVOExport.h"

/// Diagnostic display: free functions that print one labelled line per call
/// (a label and then a value, a list or a map in a fixed textual form), and
/// the frame of the classes' Display dumps. Lines go to the installed output
/// stream, or to the host's output when none is installed. The stream pointer
/// is process-wide and unguarded: install it before any dump and do not change
/// it while another thread dumps. The stream is borrowed, never owned.
namespace KVOCommonDisplay {

// --- Output ------------------------------------------------------------------

/// Installs the stream that receives every display line; null sends them to
/// the host's output (BP_ToFront). The caller keeps the stream alive while it
/// is installed.
KVO_EXPORT void SetOutStream(std::ostream* stream);
/// The installed stream; null for none.
KVO_EXPORT std::ostream* GetOutStream();

/// Sends `text` after `lineFeeds` line ends. With a stream installed each line
/// end is a newline followed by a flush, and the stream is flushed after the
/// text; without one the text goes to BP_ToFront(lineFeeds, text). A null
/// `text` is sent as the empty text.
KVO_EXPORT void DisplayText(const long& lineFeeds, const std::string& text);
/// The same for a C string.
KVO_EXPORT void DisplayText(const long& lineFeeds, const char* text);
/// The same for a host text.
KVO_EXPORT void DisplayText(const long& lineFeeds, BP_Character text);

// --- Dump frame ----------------------------------------------------------------

/// The opening of a class dump: a line holding a single blank, then
/// "<name> display start".
KVO_EXPORT void DisplayStart(BP_Character name);
/// The closing of a class dump: a line holding a single blank, then
/// "<name> display end".
KVO_EXPORT void DisplayEnd(BP_Character name);

// --- Labelled displays ---------------------------------------------------------
// Each sends its line(s) with a line-feed count of 1, so every line starts on
// a new line. A list or map display appends " <none>" to its label line when
// the collection is empty. Numbers use the C library's "%g", "%d" and "%lu";
// the system-missing value prints as "miss".

/// label " = true" / " = false".
KVO_EXPORT void DisplayB(BP_Character label, bool value);
/// label, then " true" / " false" per element.
KVO_EXPORT void DisplayBV(BP_Character label, const std::vector<bool>& values);
/// A category code: -1 " = missing value for a categorical variable",
/// 0 " = minimum categorical variable value", anything else " = unrecognized".
KVO_EXPORT void DisplayC(BP_Character label, int catVarValue);
/// label " = %g", or " = miss" for the system-missing value.
KVO_EXPORT void DisplayD(BP_Character label, double value);
/// label, then " %g" per element (" miss" for the system-missing value).
KVO_EXPORT void DisplayDV(BP_Character label, const std::vector<double>& values);
/// The same as DisplayDV.
KVO_EXPORT void DisplayNL(BP_Character label, const std::vector<double>& values);
/// label " = %d".
KVO_EXPORT void DisplayI(BP_Character label, int value);
/// label " = %lu".
KVO_EXPORT void DisplayT(BP_Character label, size_t value);
/// label, then " %d" per element.
KVO_EXPORT void DisplayIV(BP_Character label, const std::vector<int>& values);
/// The same as DisplayIV.
KVO_EXPORT void DisplayVL(BP_Character label, const std::vector<int>& values);
/// label, then " %d(cat)" or " %d(cont)" per variable as its flag says.
/// REQUIRES: vars.size() == catVars.size() (asserted; only the variables that
/// have a flag are shown then).
KVO_EXPORT void DisplayVCL(BP_Character label, const std::vector<int>& vars,
                           const std::vector<bool>& catVars);
/// label, then " (key,value)" per pair, both as "%d".
KVO_EXPORT void DisplayIIM(BP_Character label, const std::map<int, int>& pairs);
/// The same as DisplayIIM.
KVO_EXPORT void DisplayVIM(BP_Character label, const std::map<int, int>& pairs);
/// label " = " text.
KVO_EXPORT void DisplayS(BP_Character label, const std::string& text);
/// label, then a blank and the element in double quotes per element.
KVO_EXPORT void DisplaySL(BP_Character label, const std::vector<std::string>& texts);
/// The same as DisplaySL.
KVO_EXPORT void DisplaySV(BP_Character label, const std::vector<std::string>& texts);
/// As DisplaySL over the names.
KVO_EXPORT void DisplayVNL(BP_Character label, const std::vector<VormVarName>& names);
/// The label line, then inner vector i by DisplaySV labelled "vec[i]".
KVO_EXPORT void DisplaySVV(BP_Character label, const std::vector<std::vector<std::string>>& vectors);

/// A host value shown by DisplayS: formatted by the host into the format's
/// width and trimmed of blanks at both ends. A null value prints nothing.
/// REQUIRES: `value` holds the bytes a string format reads (the width for A,
/// half of it for AHEX), here and in DisplayObsVec.
KVO_EXPORT void DisplayObs(BP_Character label, const OBS* value, const VORM_Format& format);
/// The label line, then each value by DisplayObs labelled "Value in
/// dictionary:"; an empty vector gives the label line with " <none>" and the
/// line "No values are specified.".
KVO_EXPORT void DisplayObsVec(BP_Character label, const std::vector<const OBS*>& values,
                              const VORM_Format& format);
/// The same for a list of modifiable values.
KVO_EXPORT void DisplayObsVec(BP_Character label, const std::vector<OBS*>& values, const VORM_Format& format);

/// The label line, then per entry "Map key" by DisplayIV and "Map value" by
/// DisplayDV.
KVO_EXPORT void DisplayIntVecDVecMap(BP_Character label,
                                     const std::map<std::vector<int>, std::vector<double>>& entries);
/// The label line, then per entry "Map key" by DisplayIV and "Map value" by
/// DisplayI.
KVO_EXPORT void DisplayIntVecIntMap(BP_Character label, const std::map<std::vector<int>, int>& entries);
/// The label line, then per entry "Map's String List:" by DisplaySL and
/// "Map's double" by DisplayD.
KVO_EXPORT void DisplaySLDM(BP_Character label, const std::map<std::vector<std::string>, double>& entries);
/// The label line, then per key in the map's ascending key order
/// "Map key (list of strings):" by DisplaySL, each key variable's value
/// formatted with its own format as DisplayObs does (a string format wider
/// than the variable's value is narrowed to it), and "Map value" by DisplayD
/// of the entry's first extra cell (left out when the map has none).
/// REQUIRES: one format per key variable, formats.size() ==
/// map.GetKeySpec().size() (asserted; only the label line is shown then).
KVO_EXPORT void DisplayObsVecMapD(BP_Character label, const ObsVecMap& map,
                                  const std::vector<VORM_Format>& formats);

}  // namespace KVOCommonDisplay

#endif  // KVOADAPTER_KVOCOMMONDISPLAY_H
