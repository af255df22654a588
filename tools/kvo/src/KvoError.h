// The program's exit codes and the error that carries one from wherever a
// command finds a problem up to the command runner, which prints its one-line
// message and returns its code. Plain values; any thread.
#ifndef KVO_TOOL_KVOERROR_H
#define KVO_TOOL_KVOERROR_H

#include <stdexcept>
#include <string>

namespace kvo {

enum ExitCode : int {
  EXIT_OK = 0,
  EXIT_BAD_INPUT = 1,       // bad data, schema, matrix file or model; an output that cannot be written
  EXIT_USAGE = 2,           // bad command line
  EXIT_NO_VALID_CASES = 3,  // the data left no valid case
  EXIT_TIME_OUT = 4,        // --time-limit reached
  EXIT_INTERRUPTED = 130,   // Ctrl-C
};

// `text` on one line: line ends and other control characters that a file's
// text brought into a message are shown as \n, \r, \t or \xHH.
inline std::string OnOneLine(const std::string& text) {
  static const char DIGITS[] = "0123456789ABCDEF";
  std::string line;
  line.reserve(text.size());
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) {
      line += c;
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else if (c == '\t') {
      line += "\\t";
    } else {
      line += "\\x";
      line += DIGITS[b >> 4];
      line += DIGITS[b & 0x0F];
    }
  }
  return line;
}

// A failure that ends the command with `code`. The message is one line that
// names the file and place, or the option, at fault.
class KvoError : public std::runtime_error {
 public:
  KvoError(ExitCode code, const std::string& message) : std::runtime_error(OnOneLine(message)), fCode(code) {}
  ExitCode Code() const { return fCode; }

 private:
  ExitCode fCode;
};

inline KvoError UsageError(const std::string& message) { return KvoError(EXIT_USAGE, message); }
inline KvoError InputError(const std::string& message) { return KvoError(EXIT_BAD_INPUT, message); }

}  // namespace kvo

#endif  // KVO_TOOL_KVOERROR_H
