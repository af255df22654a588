// Helpers shared by the fuzz targets: a reader that takes typed values off
// the front of a fuzz input, a check that stops the program on a broken
// property (libFuzzer then keeps the input as a crash), and an in-memory
// file for readers that take a path, a UTF-8 check. Single-threaded.
#ifndef KVO_TESTS_FUZZ_FUZZSUPPORT_H
#define KVO_TESTS_FUZZ_FUZZSUPPORT_H

#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

// Every fuzz target defines this; libFuzzer or the replay driver calls it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Stops the program when a property does not hold.
#define FUZZ_CHECK(cond)                                                                 \
  do {                                                                                   \
    if (!(cond)) {                                                                       \
      std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)

namespace kvo_fuzz {

// Takes values off the front of a fuzz input; past the end it gives zeros.
// One thread; borrows the input, which must outlive it.
class FuzzBytes {
 public:
  FuzzBytes(const uint8_t* data, size_t size) : fpData(data), fSize(size) {}
  FuzzBytes(const FuzzBytes&) = delete;
  FuzzBytes& operator=(const FuzzBytes&) = delete;

  size_t Remaining() const { return fSize - fPos; }
  bool Empty() const { return fPos == fSize; }

  uint8_t Byte() { return fPos < fSize ? fpData[fPos++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
  uint64_t U64() {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= static_cast<uint64_t>(Byte()) << (8 * i);
    return value;
  }
  double Double() {
    const uint64_t bits = U64();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // Up to `count` bytes (fewer at the end of the input).
  std::string_view Bytes(size_t count) {
    const size_t take = count < Remaining() ? count : Remaining();
    std::string_view bytes(reinterpret_cast<const char*>(fpData + fPos), take);
    fPos += take;
    return bytes;
  }
  std::string_view Rest() { return Bytes(Remaining()); }

 private:
  const uint8_t* fpData;
  size_t fSize;
  size_t fPos = 0;
};

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
inline bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t code = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
      code = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      code = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      code = b & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const unsigned char c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      code = (code << 6) | (c & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

// A file that lives in memory (memfd), reachable by path while the object
// lives; without memfd, a file in TMPDIR that goes with the object. One
// thread; owns the descriptor and the file.
class MemoryFile {
 public:
  explicit MemoryFile(std::string_view contents) {
    fFd = memfd_create("kvo-fuzz", MFD_CLOEXEC);
    if (fFd >= 0) {
      fPath = "/proc/self/fd/" + std::to_string(fFd);
    } else {
      const char* dir = std::getenv("TMPDIR");
      fPath = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/kvo-fuzz-XXXXXX";
      fFd = mkstemp(fPath.data());
      FUZZ_CHECK(fFd >= 0);
      fbUnlink = true;
    }
    size_t written = 0;
    while (written < contents.size()) {
      const ssize_t n = write(fFd, contents.data() + written, contents.size() - written);
      FUZZ_CHECK(n > 0);
      written += static_cast<size_t>(n);
    }
  }
  ~MemoryFile() {
    if (fbUnlink) unlink(fPath.c_str());
    close(fFd);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const std::string& Path() const { return fPath; }

 private:
  int fFd = -1;
  std::string fPath;
  bool fbUnlink = false;
};

}  // namespace kvo_fuzz

#endif  // KVO_TESTS_FUZZ_FUZZSUPPORT_H
