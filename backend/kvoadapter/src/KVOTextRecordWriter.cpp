#include "KVOTextRecordWriter.h"

#include <qor/Record.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// The buffer gathers this much text before it goes out in one fwrite.
constexpr size_t TEXT_BUFFER_BYTES = size_t{1} << 20;
// Room for the text of any number: "%5f" of the largest double has 309
// digits before the point.
constexpr size_t MAX_NUMBER_TEXT_BYTES = 400;

// Writes `value` with six decimals exactly as printf's "%f" does, using
// integer arithmetic, and returns the end of the text; null when that cannot
// be guaranteed (large or non-finite values, and products too close to a
// half-way point), for the general conversion to take over. The product
// value * 10^6 is off by at most half an ulp; when the computed product lies
// farther than that from the nearest half-way point, the exact one rounds to
// the same integer.
char* FixedSixDecimals(char* out, double value) {
  const double scaled = value * 1e6;
  if (!(std::fabs(scaled) < 0x1p52)) return nullptr;  // NaN fails the test too
  const double rounded = std::nearbyint(scaled);
  const double gap = std::fabs(0.5 - std::fabs(scaled - rounded));
  if (gap <= std::fabs(scaled) * 0x1p-51 + 0x1p-50) return nullptr;
  // A negative value keeps its sign even when it rounds to zero, as in printf.
  if (std::signbit(value)) *out++ = '-';
  uint64_t magnitude = static_cast<uint64_t>(std::fabs(rounded));
  out = std::to_chars(out, out + 24, magnitude / 1000000).ptr;
  *out = '.';
  magnitude %= 1000000;
  for (int k = 6; k >= 1; --k) {
    out[k] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  return out + 7;
}

}  // namespace

KVOTextRecordWriter::KVOTextRecordWriter(FILE* stream, std::string delimiter, std::string missingText)
    : fpStream(stream),
      fDelimiter(std::move(delimiter)),
      fMissingText(std::move(missingText)),
      fValueRoom(fDelimiter.size() + std::max(fMissingText.size(), MAX_NUMBER_TEXT_BYTES)),
      fvBuffer(std::max(TEXT_BUFFER_BYTES, 2 * fValueRoom)) {}

bool KVOTextRecordWriter::WriteRecord(const double* values, int count) {
  for (int i = 0; i < count && fbOk; ++i) {
    MakeRoom(fValueRoom);
    std::memcpy(fvBuffer.data() + fUsed, fDelimiter.data(), fDelimiter.size());
    fUsed += fDelimiter.size();
    if (QorCommon::QorMV::IsMissing(values[i])) {
      std::memcpy(fvBuffer.data() + fUsed, fMissingText.data(), fMissingText.size());
      fUsed += fMissingText.size();
    } else {
      AppendNumber(values[i]);
    }
  }
  MakeRoom(1);
  fvBuffer[fUsed++] = '\n';
  return fbOk;
}

void KVOTextRecordWriter::AppendNumber(double value) {
  // Integer arithmetic where that is exact, std::to_chars (which rounds as
  // printf does) elsewhere.
  char* digits = fvBuffer.data() + fUsed;
  char* end = FixedSixDecimals(digits, value);
  if (end == nullptr) {
    end = std::to_chars(digits, fvBuffer.data() + fvBuffer.size(), value, std::chars_format::fixed, 6).ptr;
  }
  size_t length = static_cast<size_t>(end - digits);
  if (length < 5) {  // only "inf" and "nan" are this short
    std::memmove(digits + (5 - length), digits, length);
    std::memset(digits, ' ', 5 - length);
    length = 5;
  }
  fUsed += length;
}

void KVOTextRecordWriter::MakeRoom(size_t bytes) {
  if (fvBuffer.size() - fUsed >= bytes) return;
  if (fbOk) fbOk = std::fwrite(fvBuffer.data(), 1, fUsed, fpStream) == fUsed;
  fUsed = 0;
}

bool KVOTextRecordWriter::Finish() {
  if (fbOk && fUsed > 0) fbOk = std::fwrite(fvBuffer.data(), 1, fUsed, fpStream) == fUsed;
  fUsed = 0;
  fbOk = fbOk && std::fflush(fpStream) == 0 && std::ferror(fpStream) == 0;
  return fbOk;
}
