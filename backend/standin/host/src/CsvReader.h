// A streaming reader of delimited text (RFC 4180): quoted fields with
// embedded delimiters, doubled quotes and line breaks; LF, CRLF or CR line
// ends; a UTF-8 byte-order mark skipped. Reads a file, standard input ("-")
// or a gzip-compressed file (a name ending in ".gz"), each once from start to
// end. One thread; owns its file (not standard input) and its read buffer.
// Field views point into that buffer and stay valid until the next call to
// Next.
#ifndef STANDIN_CSVREADER_H
#define STANDIN_CSVREADER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// zlib's compressed-file handle.
struct gzFile_s;

namespace standin {

class CsvReader {
 public:
  static constexpr size_t CHUNK_BYTES = 1 << 20;

  CsvReader();
  ~CsvReader();
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // Opens a file ("-": standard input, named "standard input" in
  // messages); `skipBom` drops a leading UTF-8 byte-order mark. False, with
  // `error` set, when the file cannot be opened or the delimiter is a quote,
  // a line end or NUL.
  bool Open(const std::string& path, char delimiter, bool skipBom, std::string& error);

  // Reads the next record: 1 for a record, 0 at the end of the file, -1 on
  // a read or syntax error (with `error` naming the file, line and column).
  // Empty lines are skipped. Allocates only when a record has more fields
  // or more bytes than any before (the buffer then doubles).
  int Next(std::string& error);

  size_t NumFields() const { return fNumFields; }
  // REQUIRES: i < NumFields().
  std::string_view Field(size_t i) const {
    const auto& [begin, end] = fvFields[i];
    return std::string_view(fvBuffer.data() + fRecordStart + begin, end - begin);
  }
  // The 1-based line on which the current record starts.
  int64_t RecordLine() const { return fRecordLine; }
  // Bytes of the text consumed so far, and the file's size in bytes (0 when
  // unknown: standard input, or a compressed file, whose size says little
  // of its text's).
  uint64_t BytesConsumed() const { return fConsumedBefore + fPos; }
  uint64_t FileSize() const { return fFileSize; }
  const std::string& Path() const { return fPath; }
  // Column names for error messages ("column 3 (income)"); borrowed, may
  // be null. Set after reading the header.
  void SetColumnNames(const std::vector<std::string>* names) { fpColumnNames = names; }
  // "<path>: line <line>, column <column> (<name>)": the place of an error.
  std::string Place(int64_t line, size_t column) const;

 private:
  // Reads more of the file behind fEnd. The current record's bytes, from
  // fRecordStart on, are kept: they move to the front of the buffer (every
  // position then drops by `shift`, which the caller applies to positions
  // of its own), and the buffer doubles when they fill it. False at the end
  // of the file or on a read error (fbReadError set).
  bool Refill(size_t& shift);
  // Records a field from absolute buffer positions.
  // The slots are kept from record to record, so that a record costs no
  // vector growth once one as wide has been read.
  void AddField(size_t begin, size_t end) {
    if (fNumFields == fvFields.size()) fvFields.emplace_back();
    fvFields[fNumFields++] = {begin - fRecordStart, end - fRecordStart};
  }
  int SyntaxError(std::string& error, int64_t line, size_t column, const char* what);

  // Reads up to `size` bytes; 0 at the end or on an error (fbReadError set,
  // with zlib's reason in fReadError for a compressed file).
  size_t ReadSome(char* into, size_t size);

  std::string fPath;  // the name in messages
  std::FILE* fpFile = nullptr;
  bool fbOwnsFile = true;      // false for standard input
  ::gzFile_s* fpGz = nullptr;  // a compressed file, read through zlib
  std::string fReadError;
  std::vector<char> fvBuffer;
  size_t fRecordStart = 0;  // first byte of the current record
  size_t fPos = 0;          // next byte to read
  size_t fEnd = 0;          // end of the bytes read
  uint64_t fConsumedBefore = 0;
  uint64_t fFileSize = 0;
  char fDelimiter = ',';
  bool fbReadError = false;
  int64_t fLine = 1;
  int64_t fRecordLine = 0;
  // The last line end was a CR: an LF right after it belongs to it.
  bool fbPendingLF = false;
  // Each field's bytes, relative to fRecordStart.
  std::vector<std::pair<size_t, size_t>> fvFields;
  size_t fNumFields = 0;  // the current record's fields, the first in fvFields
  // fvIsStop[c]: byte c ends an unquoted field (the delimiter or a line end).
  bool fvIsStop[256] = {};
  const std::vector<std::string>* fpColumnNames = nullptr;
};

}  // namespace standin

#endif  // STANDIN_CSVREADER_H
