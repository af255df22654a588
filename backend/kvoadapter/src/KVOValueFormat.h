// How the library asks the host to print a value: never with a string
// format that reads more bytes than the value holds.
#ifndef KVOADAPTER_KVOVALUEFORMAT_H
#define KVOADAPTER_KVOVALUEFORMAT_H

#include <vorm/Types.h>

namespace kvo_detail {

// `format` narrowed so that ToString reads at most the bytes a value of
// variable type `type` holds (its string width, or one 8-byte cell for a
// number): A to at most that many bytes, AHEX to at most twice as many hex
// digits. Other formats read one cell as a number and are returned as given.
inline VORM_Format FormatWithinValue(const VORM_Format& format, short type) {
  const int bytes = type > 0 ? type : static_cast<int>(sizeof(OBS));
  VORM_Format narrowed = format;
  if (format.Type() == VORM_Format::A && format.Width() > bytes) narrowed.SetWidth(bytes);
  if (format.Type() == VORM_Format::AHEX && format.Width() > 2 * bytes) narrowed.SetWidth(2 * bytes);
  return narrowed;
}

}  // namespace kvo_detail

#endif  // KVOADAPTER_KVOVALUEFORMAT_H
