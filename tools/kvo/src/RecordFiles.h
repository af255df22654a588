// Record files in the formats a modeling workflow reads directly: CSV with a
// header row of slot names (RFC 4180; numbers in the shortest form that
// reads back to the same double; missing values as empty fields) and NumPy's
// .npy array file (format version 1.0: little-endian float64, C order, shape
// records x slots; NaN for missing values). The fixed-width text format is
// the library's own export. One thread; borrows the record file.
#ifndef KVO_TOOL_RECORDFILES_H
#define KVO_TOOL_RECORDFILES_H

#include <kvoadapter/KVODataFileIter.h>

#include <string>
#include <vector>

#include "Options.h"

namespace kvo {

// The file name ending of a format: ".txt", ".csv" or ".npy".
const char* RecordFileEnding(RecordFormat format);

// Writes every record of a completed record file to `path` in `format`.
// `slotNames` names the record's slots (the CSV header). True when every
// record was written and the file was closed without an error; otherwise
// errno tells why and a partial regular file at `path` is removed.
bool WriteRecordFile(KVODataFileIter& file, RecordFormat format, const std::vector<std::string>& slotNames,
                     const std::string& path);

// The header of a .npy file holding `records` x `slots` float64 values:
// magic, version 1.0, header length and the header dictionary, padded with
// blanks and a line end to a multiple of 64 bytes.
std::string NpyHeader(int64_t records, int slots);

// A CSV field for a name: quoted (with doubled quotes inside) when it holds
// a comma, a quote or a line end.
std::string CsvField(const std::string& text);

}  // namespace kvo

#endif  // KVO_TOOL_RECORDFILES_H
