// Value formatting of the host. Thread-safe.
#ifndef VORM_FORMAT_H
#define VORM_FORMAT_H

#include "vorm/Types.h"

// Writes the value formatted by `format` into `buffer`: exactly the format's
// width of characters (right-aligned numbers, blank-padded strings) and a
// terminating NUL, so the buffer holds width + 1 bytes. Returns 0 on success,
// non-zero for a format that cannot show the value (nothing is written then).
// Formats: F (w.d), E (w.d), A (w) and AHEX (w).
int ToString(const OBS* value, const VORM_Format& format, char* buffer);

// Trims blanks at both ends of `text` in place: the trailing ones are cut
// off, and the result points at the first non-blank character.
char* VORMMBstrtrim_A(char* text);

#endif  // VORM_FORMAT_H
