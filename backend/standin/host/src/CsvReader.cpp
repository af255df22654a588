// The streaming delimited-text reader. The file is read in chunks of
// CHUNK_BYTES; each record's field texts are copied into one reused buffer,
// so a record may span any number of chunks and memory stays bounded by the
// longest record.
#include "CsvReader.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace standin {

CsvReader::CsvReader() = default;

CsvReader::~CsvReader() {
  if (fpFile != nullptr) std::fclose(fpFile);
}

bool CsvReader::Open(const std::string& path, char delimiter, bool skipBom, std::string& error) {
  fPath = path;
  if (delimiter == '"' || delimiter == '\n' || delimiter == '\r' || delimiter == '\0') {
    error = path + ": the delimiter cannot be a quote, a line end or NUL";
    return false;
  }
  fDelimiter = delimiter;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    error = path + ": cannot read the data file: it is a directory";
    return false;
  }
  fpFile = std::fopen(path.c_str(), "rb");
  if (fpFile == nullptr) {
    error = path + ": cannot open the data file: " + std::strerror(errno);
    return false;
  }
  uint64_t size = std::filesystem::file_size(path, ec);
  fFileSize = ec ? 0 : size;
  fvBuffer.resize(CHUNK_BYTES);
  fRecord.reserve(256);
  fvEnds.reserve(32);
  if (Fill() && skipBom && fEnd >= 3 && static_cast<unsigned char>(fvBuffer[0]) == 0xEF &&
      static_cast<unsigned char>(fvBuffer[1]) == 0xBB && static_cast<unsigned char>(fvBuffer[2]) == 0xBF) {
    fPos = 3;
  }
  return true;
}

bool CsvReader::Fill() {
  if (fbReadError || fpFile == nullptr) return false;
  fConsumedBefore += fEnd;
  fPos = fEnd = 0;
  size_t n = std::fread(fvBuffer.data(), 1, fvBuffer.size(), fpFile);
  if (n == 0) {
    if (std::ferror(fpFile)) fbReadError = true;
    return false;
  }
  fEnd = n;
  return true;
}

void CsvReader::ConsumeLineEnd(bool keep) {
  char c = fvBuffer[fPos++];
  if (keep) fRecord.push_back(c);
  if (c == '\r') {
    if (fPos == fEnd) Fill();
    if (fPos < fEnd && fvBuffer[fPos] == '\n') {
      if (keep) fRecord.push_back('\n');
      ++fPos;
    }
  }
  ++fLine;
}

std::string CsvReader::Place(int64_t line, size_t column) const {
  std::string place = fPath + ": line " + std::to_string(line);
  if (column > 0) {
    place += ", column " + std::to_string(column);
    if (fpColumnNames != nullptr && column <= fpColumnNames->size() && !(*fpColumnNames)[column - 1].empty()) {
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
  fRecord.clear();
  fvEnds.clear();
  auto readError = [&]() {
    error = fPath + ": read error near line " + std::to_string(fLine);
    return -1;
  };
  // Skip empty lines before the record.
  for (;;) {
    if (fPos == fEnd && !Fill()) return fbReadError ? readError() : 0;
    char c = fvBuffer[fPos];
    if (c != '\n' && c != '\r') break;
    ConsumeLineEnd(false);
  }
  fRecordLine = fLine;
  const char delimiter = fDelimiter;
  const char* buffer = fvBuffer.data();
  for (;;) {  // one field per turn
    const size_t column = fvEnds.size() + 1;
    if (fPos == fEnd && !Fill()) {
      // A delimiter as the file's last byte: the record ends with an empty field.
      if (fbReadError) return readError();
      fvEnds.push_back(fRecord.size());
      return 1;
    }
    if (buffer[fPos] == '"') {
      const int64_t quoteLine = fLine;
      ++fPos;
      bool atEnd = false;
      for (;;) {
        if (fPos == fEnd && !Fill()) {
          if (fbReadError) return readError();
          return SyntaxError(error, quoteLine, column, "the quoted field that starts here is not closed");
        }
        size_t start = fPos;
        while (fPos < fEnd && buffer[fPos] != '"' && buffer[fPos] != '\n' && buffer[fPos] != '\r') ++fPos;
        fRecord.append(buffer + start, fPos - start);
        if (fPos == fEnd) continue;
        if (buffer[fPos] != '"') {
          ConsumeLineEnd(true);
          continue;
        }
        ++fPos;
        if (fPos == fEnd && !Fill()) {
          if (fbReadError) return readError();
          atEnd = true;
          break;
        }
        if (buffer[fPos] != '"') break;  // the closing quote
        fRecord.push_back('"');          // a doubled quote
        ++fPos;
      }
      fvEnds.push_back(fRecord.size());
      if (atEnd) return 1;
      char c = buffer[fPos];
      if (c == delimiter) {
        ++fPos;
        continue;
      }
      if (c == '\n' || c == '\r') {
        ConsumeLineEnd(false);
        return 1;
      }
      return SyntaxError(error, fLine, column, "unexpected text after the closing quote of a quoted field");
    }
    // An unquoted field runs to the delimiter or the line end; a quote inside
    // it is an ordinary character.
    for (;;) {
      size_t start = fPos;
      while (fPos < fEnd) {
        char c = buffer[fPos];
        if (c == delimiter || c == '\n' || c == '\r') break;
        ++fPos;
      }
      fRecord.append(buffer + start, fPos - start);
      if (fPos < fEnd) break;
      if (!Fill()) {
        if (fbReadError) return readError();
        fvEnds.push_back(fRecord.size());
        return 1;
      }
    }
    fvEnds.push_back(fRecord.size());
    if (buffer[fPos] == delimiter) {
      ++fPos;
      continue;
    }
    ConsumeLineEnd(false);
    return 1;
  }
}

}  // namespace standin
