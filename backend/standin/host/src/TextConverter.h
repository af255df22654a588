// Conversion of text between two encodings (iconv names), for the CSV
// loader. One thread; owns its iconv descriptor. Converting the same
// encoding to itself is a copy and needs no descriptor (UTF-8 text is still
// checked to be well-formed).
#ifndef STANDIN_TEXTCONVERTER_H
#define STANDIN_TEXTCONVERTER_H

#include <string>
#include <string_view>

namespace standin {

class TextConverter {
 public:
  TextConverter();
  ~TextConverter();
  TextConverter(const TextConverter&) = delete;
  TextConverter& operator=(const TextConverter&) = delete;

  // Prepares conversion from `from` to `to`. False, with `error` set, for
  // an encoding the system does not know.
  bool Open(const std::string& from, const std::string& to, std::string& error);
  // True when no conversion is needed (the same encoding, by name).
  bool IsIdentity() const { return fpDescriptor == nullptr; }
  // Converts `text` into `out`, reusing out's capacity (so it allocates only
  // when a longer text than before comes along). False for a byte sequence
  // that is invalid in the source encoding or has no form in the target.
  bool Convert(std::string_view text, std::string& out);

  // Whether the printable ASCII characters, tab, CR and LF are the same
  // single bytes in `encoding` (UTF-8 and single-byte code pages are; UTF-16
  // is not). False for an unknown encoding.
  static bool IsAsciiCompatible(const std::string& encoding);
  // Whether two names denote the same encoding: equal without regard to
  // case, '-' and '_' ("utf8" and "UTF-8").
  static bool SameEncoding(const std::string& a, const std::string& b);

 private:
  void* fpDescriptor = nullptr;  // iconv_t, null for the identity
  bool fbCheckUtf8 = false;      // the identity on UTF-8: refuse malformed text
};

}  // namespace standin

#endif  // STANDIN_TEXTCONVERTER_H
