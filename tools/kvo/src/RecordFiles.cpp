#include "RecordFiles.h"

#include <qor/Value.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vorm/Utility.h>

#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>

namespace kvo {
namespace {

// Bytes gathered before one fwrite.
constexpr size_t BUFFER_BYTES = size_t{1} << 20;
// The longest shortest-form double ("-2.2250738585072014e-308") and a separator.
constexpr size_t MAX_NUMBER_BYTES = 32;

// A buffered output file whose every write is checked; the first failure
// keeps its errno.
class CheckedFile {
 public:
  // Opened through the host, like every file of the run.
  explicit CheckedFile(const std::string& path) {
    ExtNameStr name;
    name.SetGeneric(path);
    fpFile = name.fopen("wb");
    if (fpFile == nullptr) fError = errno != 0 ? errno : EIO;
    fBuffer.reserve(BUFFER_BYTES);
  }
  CheckedFile(const CheckedFile&) = delete;
  CheckedFile& operator=(const CheckedFile&) = delete;
  ~CheckedFile() {
    if (fpFile != nullptr) std::fclose(fpFile);  // only on a failure path; Close reports the result
  }

  bool Ok() const { return fError == 0; }
  std::string& Buffer() { return fBuffer; }
  // Writes the buffer out once it holds `room` bytes less than its size.
  void MakeRoom(size_t room) {
    if (fBuffer.size() + room > BUFFER_BYTES) Flush();
  }
  void Flush() {
    if (fError == 0 && !fBuffer.empty() &&
        std::fwrite(fBuffer.data(), 1, fBuffer.size(), fpFile) != fBuffer.size()) {
      fError = errno != 0 ? errno : EIO;
    }
    fBuffer.clear();
  }
  // Writes what is left and closes the file; true when nothing failed.
  bool Close() {
    Flush();
    if (fpFile == nullptr) return false;
    if (fError == 0 && (std::fflush(fpFile) != 0 || std::ferror(fpFile) != 0))
      fError = errno != 0 ? errno : EIO;
    const bool closed = std::fclose(fpFile) == 0;
    fpFile = nullptr;
    if (fError == 0 && !closed) fError = errno != 0 ? errno : EIO;
    return fError == 0;
  }
  int Error() const { return fError; }

 private:
  FILE* fpFile = nullptr;
  std::string fBuffer;
  int fError = 0;
};

void AppendNumber(std::string& out, double value) {
  char digits[MAX_NUMBER_BYTES];
  const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

void AppendDouble(std::string& out, double value) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  if constexpr (std::endian::native == std::endian::big) bits = __builtin_bswap64(bits);
  char bytes[sizeof bits];
  std::memcpy(bytes, &bits, sizeof bits);
  out.append(bytes, sizeof bytes);
}

// Writes the records; counts those written in `written`.
void WriteRecords(KVODataFileIter& file, RecordFormat format, int slots, CheckedFile& out, int64_t& written) {
  const size_t room = static_cast<size_t>(slots) * MAX_NUMBER_BYTES + 1;
  std::string& buffer = out.Buffer();
  while (file.HasMore() && out.Ok()) {
    const QorCommon::Record* record = file.Next();
    if (record == nullptr) break;
    const double* values = record->GetAll();
    out.MakeRoom(room);
    for (int i = 0; i < slots; ++i) {
      const bool missing = QorCommon::QorMV::IsMissing(values[i]);
      if (format == RecordFormat::Npy) {
        AppendDouble(buffer, missing ? std::numeric_limits<double>::quiet_NaN() : values[i]);
      } else {
        if (i > 0) buffer.push_back(',');
        if (!missing) AppendNumber(buffer, values[i]);
      }
    }
    if (format == RecordFormat::Csv) buffer.push_back('\n');
    ++written;
  }
}

void RemoveRegularFile(const std::string& path) {
  const int saved = errno;
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    ::unlink(path.c_str());  // the write already failed; a file left behind is not worse
  }
  errno = saved;
}

}  // namespace

const char* RecordFileEnding(RecordFormat format) {
  switch (format) {
    case RecordFormat::Csv:
      return ".csv";
    case RecordFormat::Npy:
      return ".npy";
    case RecordFormat::Text:
      break;
  }
  return ".txt";
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

std::string NpyHeader(int64_t records, int slots) {
  std::string dictionary = "{'descr': '<f8', 'fortran_order': False, 'shape': (" + std::to_string(records) +
                           ", " + std::to_string(slots) + "), }";
  // magic (6) + version (2) + length (2) + dictionary + blanks + '\n'
  const size_t unpadded = 10 + dictionary.size() + 1;
  dictionary.append((64 - unpadded % 64) % 64, ' ');
  dictionary.push_back('\n');
  const size_t length = dictionary.size();
  std::string header("\x93NUMPY\x01\x00", 8);
  header.push_back(static_cast<char>(length & 0xff));
  header.push_back(static_cast<char>(length >> 8));
  return header + dictionary;
}

bool WriteRecordFile(KVODataFileIter& file, RecordFormat format, const std::vector<std::string>& slotNames,
                     const std::string& path) {
  if (format == RecordFormat::Text) return file.GetTextFile(path);
  errno = 0;
  if (file.NewPass() != 0 && file.GetFailReason() == 3) {
    errno = file.GetErrorNumber() != 0 ? file.GetErrorNumber() : EIO;
    return false;
  }
  const int slots = static_cast<int>(slotNames.size());
  int64_t written = 0;
  bool ok = false;
  {
    CheckedFile out(path);
    if (out.Ok()) {
      if (format == RecordFormat::Npy) {
        out.Buffer() = NpyHeader(file.GetRecordCount(), slots);
      } else {
        for (size_t i = 0; i < slotNames.size(); ++i) {
          out.Buffer() += (i > 0 ? "," : "") + CsvField(slotNames[i]);
        }
        out.Buffer() += "\n";
      }
      WriteRecords(file, format, slots, out, written);
    }
    ok = out.Close();
    if (!ok) errno = out.Error() != 0 ? out.Error() : EIO;
  }
  // Whole or not at all: every record of the file was written, and reading
  // ended at the end of the data, not at a read error.
  if (ok && (file.GetFailReason() == 3 || written != file.GetRecordCount())) {
    ok = false;
    errno = file.GetErrorNumber() != 0 ? file.GetErrorNumber() : EIO;
  }
  if (!ok) RemoveRegularFile(path);
  return ok;
}

}  // namespace kvo
