// The streaming delimited-text reader. The file is read into a buffer of
// CHUNK_BYTES; fields are views into it (quoted ones unescaped in place).
// When a record runs past the buffer's end, its start moves to the front
// before the next read, so memory stays bounded by the longest record.
#include "CsvReader.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string_view>
#include <system_error>

namespace standin {

CsvReader::CsvReader() = default;

namespace {

constexpr const char* STANDARD_INPUT = "-";
// zlib's read buffer: larger than its default, so that a compressed file
// costs few system calls.
constexpr unsigned GZIP_BUFFER_BYTES = 1 << 18;
// The most one gzread call is asked for (it counts in int).
constexpr size_t MAX_GZIP_READ = size_t{1} << 30;

bool EndsWithGz(const std::string& path) {
  if (path.size() < 3) return false;
  const std::string_view end(path.data() + path.size() - 3, 3);
  return end[0] == '.' && (end[1] == 'g' || end[1] == 'G') && (end[2] == 'z' || end[2] == 'Z');
}

}  // namespace

CsvReader::~CsvReader() {
  if (fpGz != nullptr) gzclose(fpGz);
  if (fpFile != nullptr && fbOwnsFile) std::fclose(fpFile);
}

bool CsvReader::Open(const std::string& path, char delimiter, bool skipBom, std::string& error) {
  fPath = path == STANDARD_INPUT ? "standard input" : path;
  if (delimiter == '"' || delimiter == '\n' || delimiter == '\r' || delimiter == '\0') {
    error = path + ": the delimiter cannot be a quote, a line end or NUL";
    return false;
  }
  fDelimiter = delimiter;
  std::fill(std::begin(fvIsStop), std::end(fvIsStop), false);
  fvIsStop[static_cast<unsigned char>(delimiter)] = true;
  fvIsStop[static_cast<unsigned char>('\n')] = true;
  fvIsStop[static_cast<unsigned char>('\r')] = true;
  std::error_code ec;
  if (path == STANDARD_INPUT) {
    fpFile = stdin;
    fbOwnsFile = false;
    fFileSize = 0;
  } else {
    if (std::filesystem::is_directory(path, ec)) {
      error = path + ": cannot read the data file: it is a directory";
      return false;
    }
    errno = 0;
    if (EndsWithGz(path)) {
      fpGz = gzopen(path.c_str(), "rb");
    } else {
      fpFile = std::fopen(path.c_str(), "rb");
    }
    if (fpFile == nullptr && fpGz == nullptr) {
      error = path + ": cannot open the data file: " + std::strerror(errno != 0 ? errno : ENOMEM);
      return false;
    }
    if (fpGz != nullptr) {
      gzbuffer(fpGz, GZIP_BUFFER_BYTES);
      fFileSize = 0;
    } else {
      uint64_t size = std::filesystem::file_size(path, ec);
      fFileSize = ec ? 0 : size;
    }
  }
  fvBuffer.resize(CHUNK_BYTES);
  fvFields.reserve(32);
  size_t shift = 0;
  if (Refill(shift) && skipBom && fEnd >= 3 && static_cast<unsigned char>(fvBuffer[0]) == 0xEF &&
      static_cast<unsigned char>(fvBuffer[1]) == 0xBB && static_cast<unsigned char>(fvBuffer[2]) == 0xBF) {
    fPos = 3;
  }
  return true;
}

bool CsvReader::Refill(size_t& shift) {
  shift = fRecordStart;
  if (fRecordStart > 0) {
    fConsumedBefore += fRecordStart;
    std::memmove(fvBuffer.data(), fvBuffer.data() + fRecordStart, fEnd - fRecordStart);
    fPos -= fRecordStart;
    fEnd -= fRecordStart;
    fRecordStart = 0;
  }
  if (fbReadError || (fpFile == nullptr && fpGz == nullptr)) return false;
  if (fEnd == fvBuffer.size()) fvBuffer.resize(fvBuffer.size() * 2);
  size_t n = ReadSome(fvBuffer.data() + fEnd, fvBuffer.size() - fEnd);
  if (n == 0) return false;
  fEnd += n;
  return true;
}

size_t CsvReader::ReadSome(char* into, size_t size) {
  if (fpGz == nullptr) {
    size_t n = std::fread(into, 1, size, fpFile);
    if (n == 0 && std::ferror(fpFile)) fbReadError = true;
    return n;
  }
  // A damaged or cut-off stream is an error with zlib's reason, never an
  // early end of the data.
  const int n = gzread(fpGz, into, static_cast<unsigned>(std::min(size, MAX_GZIP_READ)));
  int code = Z_OK;
  const char* reason = gzerror(fpGz, &code);
  if (n < 0 || (code != Z_OK && code != Z_STREAM_END)) {
    fbReadError = true;
    fReadError = code == Z_ERRNO ? std::strerror(errno) : (reason != nullptr ? reason : "");
    // zlib puts the path in front of its reason; the message has it already.
    if (fReadError.rfind(fPath + ": ", 0) == 0) fReadError.erase(0, fPath.size() + 2);
    return 0;
  }
  return static_cast<size_t>(n);
}

std::string CsvReader::Place(int64_t line, size_t column) const {
  std::string place = fPath + ": line " + std::to_string(line);
  if (column > 0) {
    place += ", column " + std::to_string(column);
    if (fpColumnNames != nullptr && column <= fpColumnNames->size() &&
        !(*fpColumnNames)[column - 1].empty()) {
      place += " (" + (*fpColumnNames)[column - 1] + ")";
    }
  }
  return place;
}

int CsvReader::SyntaxError(std::string& error, int64_t line, size_t column, const char* what) {
  error = Place(line, column) + ": " + what;
  return -1;
}

int CsvReader::Next(std::string& error) {
  fNumFields = 0;
  auto readError = [&]() {
    if (fpGz != nullptr) {
      error = fPath + ": cannot decompress the data near line " + std::to_string(fLine) +
              (fReadError.empty() ? "" : ": " + fReadError);
    } else {
      error = fPath + ": read error near line " + std::to_string(fLine);
    }
    return -1;
  };
  size_t shift = 0;
  // Skip empty lines before the record, and the LF of a CRLF that ended the last one.
  for (;;) {
    fRecordStart = fPos;
    if (fPos == fEnd && !Refill(shift)) return fbReadError ? readError() : 0;
    const char c = fvBuffer[fPos];
    const bool pendingLF = fbPendingLF;
    fbPendingLF = false;
    if (c == '\n') {
      ++fPos;
      if (!pendingLF) ++fLine;
      continue;
    }
    if (c != '\r') break;
    ++fPos;
    ++fLine;
    fbPendingLF = true;
  }
  fRecordStart = fPos;
  fRecordLine = fLine;
  const char delimiter = fDelimiter;
  char* buffer = fvBuffer.data();
  for (;;) {  // one field per turn
    const size_t column = fNumFields + 1;
    if (fPos == fEnd) {
      bool more = Refill(shift);
      buffer = fvBuffer.data();
      if (!more) {
        // A delimiter as the file's last byte: the record ends with an empty field.
        if (fbReadError) return readError();
        AddField(fPos, fPos);
        return 1;
      }
    }
    if (buffer[fPos] == '"') {
      // A quoted field: its text is compacted in place (a doubled quote
      // becomes one), from `begin` to `write`.
      const int64_t quoteLine = fLine;
      ++fPos;
      size_t begin = fPos;
      size_t write = fPos;
      bool afterCR = false;
      bool atEnd = false;
      for (;;) {
        if (fPos == fEnd) {
          bool more = Refill(shift);
          buffer = fvBuffer.data();
          begin -= shift;
          write -= shift;
          if (!more) {
            if (fbReadError) return readError();
            return SyntaxError(error, quoteLine, column, "the quoted field that starts here is not closed");
          }
        }
        while (fPos < fEnd) {
          const char c = buffer[fPos];
          if (c == '"' || c == '\n' || c == '\r') break;
          buffer[write++] = c;
          ++fPos;
          afterCR = false;
        }
        if (fPos == fEnd) continue;
        const char c = buffer[fPos];
        if (c != '"') {  // a line break inside the quotes, kept as written
          if (c == '\r' || !afterCR) ++fLine;
          afterCR = c == '\r';
          buffer[write++] = c;
          ++fPos;
          continue;
        }
        afterCR = false;
        ++fPos;
        if (fPos == fEnd) {
          bool more = Refill(shift);
          buffer = fvBuffer.data();
          begin -= shift;
          write -= shift;
          if (!more) {
            if (fbReadError) return readError();
            atEnd = true;
            break;
          }
        }
        if (buffer[fPos] != '"') break;  // the closing quote
        buffer[write++] = '"';           // a doubled quote
        ++fPos;
      }
      AddField(begin, write);
      if (atEnd) return 1;
      const char c = buffer[fPos];
      if (c == delimiter) {
        ++fPos;
        continue;
      }
      if (c == '\n' || c == '\r') {
        ++fPos;
        ++fLine;
        fbPendingLF = c == '\r';
        return 1;
      }
      return SyntaxError(error, fLine, column, "unexpected text after the closing quote of a quoted field");
    }
    // An unquoted field runs to the delimiter or the line end; a quote inside
    // it is an ordinary character.
    size_t begin = fPos;
    for (;;) {
      const bool* isStop = fvIsStop;
      while (fPos < fEnd && !isStop[static_cast<unsigned char>(buffer[fPos])]) ++fPos;
      if (fPos < fEnd) break;
      bool more = Refill(shift);
      buffer = fvBuffer.data();
      begin -= shift;
      if (!more) {
        if (fbReadError) return readError();
        AddField(begin, fPos);
        return 1;
      }
    }
    AddField(begin, fPos);
    const char c = buffer[fPos++];
    if (c == delimiter) continue;
    ++fLine;
    fbPendingLF = c == '\r';
    return 1;
  }
}

}  // namespace standin
