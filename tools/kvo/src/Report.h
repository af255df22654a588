// The report of a kvo prepare run as one self-contained HTML page: no
// script, no style sheet, font or image from elsewhere; the charts are
// inline SVG drawn here. Per split group it shows the case counts and why
// cases were invalid, the partitions' sizes, a bar chart of every
// categorical variable's category frequencies with the partitions side by
// side, and every continuous variable's range, mean and histogram per
// partition; then the run's settings. It is drawn from the summary alone,
// so `kvo report` draws the same page from a summary.json. Plain functions
// and one file writer; one thread.
#ifndef KVO_TOOL_REPORT_H
#define KVO_TOOL_REPORT_H

#include <cstddef>
#include <string>
#include <string_view>

#include "Summary.h"

namespace kvo {

// The page never grows beyond this many bytes: each categorical chart draws
// at most REPORT_CATEGORIES categories (the most frequent, the rest summed
// as "others"), and charts or split groups that would pass the limit are
// left out with a note that says so.
constexpr size_t REPORT_LIMIT = 1 << 20;
constexpr size_t REPORT_CATEGORIES = 50;

std::string SummaryToHtml(const Summary& summary);

// Text for HTML element content and quoted attribute values: each byte that
// is not well-formed UTF-8 and each control character (tabs and line ends
// kept) becomes U+FFFD, and & < > " ' become character references.
std::string HtmlText(std::string_view text);
// At most `characters` UTF-8 characters of `text`; a text that was cut ends
// in an ellipsis. Never cuts a character in two.
std::string Shortened(const std::string& text, size_t characters);
// A coordinate or length for SVG: at most two decimals, no exponent, and
// "0" for -0 and for what is not a finite number.
std::string SvgNumber(double value);
// A number for a reader: up to six significant digits ("8184.58",
// "1.5e+07"), "-" for what is not a finite number.
std::string ReadableNumber(double value);

// A report file written whole or not at all: the page goes to a new
// temporary file beside the target, which takes the target's place only
// when every byte was written and the file was closed without an error.
class ReportFile {
 public:
  // Checks `path` and creates the temporary file beside it. Throws an input
  // error naming the file when something other than a regular file has that
  // name (a directory, a device), or when no new file can be made in its
  // directory. Messages name the file as `shown` (default: `path`).
  explicit ReportFile(std::string path, std::string shown = std::string());
  // Removes the temporary file unless committed.
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  // Writes `page` and closes the temporary file, checking every write and
  // the close. Throws an input error naming the path, with the system's
  // reason, when one fails (the temporary file is then removed).
  void Write(const std::string& page);
  // Puts the written file in the target's place. Throws an input error
  // naming the path when that cannot be done.
  void Commit();

 private:
  void Discard();

  std::string fPath;
  std::string fShown;
  std::string fTemporary;
  int fFd = -1;
  bool fbCommitted = false;
};

}  // namespace kvo

#endif  // KVO_TOOL_REPORT_H
