// A streaming reader of delimited text (RFC 4180): quoted fields with
// embedded delimiters, doubled quotes and line breaks; LF, CRLF or CR line
// ends; a UTF-8 byte-order mark skipped. One thread; owns its file and its
// buffers. Field views stay valid until the next call to Next.
#ifndef STANDIN_CSVREADER_H
#define STANDIN_CSVREADER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

class CsvReader {
 public:
  static constexpr size_t CHUNK_BYTES = 1 << 20;

  CsvReader();
  ~CsvReader();
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // Opens a file; `skipBom` drops a leading UTF-8 byte-order mark. False,
  // with `error` set, when the file cannot be opened or the delimiter is a
  // quote, a line end or NUL.
  bool Open(const std::string& path, char delimiter, bool skipBom, std::string& error);

  // Reads the next record: 1 for a record, 0 at the end of the file, -1 on
  // a read or syntax error (with `error` naming the file, line and column).
  // Empty lines are skipped. After the first records this allocates
  // nothing: the record buffer and field table keep their capacity.
  int Next(std::string& error);

  size_t NumFields() const { return fvEnds.size(); }
  // REQUIRES: i < NumFields().
  std::string_view Field(size_t i) const {
    size_t begin = i == 0 ? 0 : fvEnds[i - 1];
    return std::string_view(fRecord.data() + begin, fvEnds[i] - begin);
  }
  // The 1-based line on which the current record starts.
  int64_t RecordLine() const { return fRecordLine; }
  // Bytes of the file consumed so far, and the file's size in bytes.
  uint64_t BytesConsumed() const { return fConsumedBefore + fPos; }
  uint64_t FileSize() const { return fFileSize; }
  const std::string& Path() const { return fPath; }
  // Column names for error messages ("column 3 (income)"); borrowed, may
  // be null. Set after reading the header.
  void SetColumnNames(const std::vector<std::string>* names) { fpColumnNames = names; }
  // "<path>: line <line>, column <column> (<name>)": the place of an error.
  std::string Place(int64_t line, size_t column) const;

 private:
  // Reads the next chunk; false at the end of the file or on a read error
  // (fbReadError set).
  bool Fill();
  // Consumes a line end whose first byte is at fPos and counts the line;
  // appends its bytes to the record when `keep` is set (inside quotes).
  void ConsumeLineEnd(bool keep);
  int SyntaxError(std::string& error, int64_t line, size_t column, const char* what);

  std::string fPath;
  std::FILE* fpFile = nullptr;
  std::vector<char> fvBuffer;
  size_t fPos = 0;
  size_t fEnd = 0;
  uint64_t fConsumedBefore = 0;
  uint64_t fFileSize = 0;
  char fDelimiter = ',';
  bool fbReadError = false;
  int64_t fLine = 1;
  int64_t fRecordLine = 0;
  std::string fRecord;
  std::vector<size_t> fvEnds;
  const std::vector<std::string>* fpColumnNames = nullptr;
};

}  // namespace standin

#endif  // STANDIN_CSVREADER_H
