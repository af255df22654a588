// Code-page conversion between the host's encoding and UTF-8, on the C
// library's iconv. A converter captures the host encoding in force when it is
// made; later changes of the host encoding do not affect it. A converter is
// used by one thread at a time (iconv descriptors keep shift state).
#include <iconv.h>
#include <vorm/Utility.h>

#include <cerrno>
#include <string>

#include "standin/HostControl.h"

namespace standin {
namespace {

// Set from one thread before work starts (see HostControl.h).
std::string& Encoding() {
  static std::string encoding = "UTF-8";
  return encoding;
}

}  // namespace

void SetHostEncoding(const std::string& encoding) { Encoding() = encoding; }

const std::string& HostEncoding() { return Encoding(); }

}  // namespace standin

namespace {

const iconv_t NO_ICONV = reinterpret_cast<iconv_t>(-1);

bool IsUtf8Name(const std::string& name) {
  std::string upper;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return upper == "UTF8";
}

// Whether `text` is well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF, no truncated sequence.
bool IsValidUtf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int extra;
    unsigned int code;
    unsigned int minimum;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1, code = c & 0x1F, minimum = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2, code = c & 0x0F, minimum = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3, code = c & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (end - p <= extra) return false;
    for (int i = 1; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[i] & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    p += extra + 1;
  }
  return true;
}

// One converter: the encoding it was made for and a descriptor each way.
// With a UTF-8 host both directions only check the text.
struct Converter {
  std::string fEncoding;
  bool fbIdentity = false;
  iconv_t fToU8 = NO_ICONV;
  iconv_t fFromU8 = NO_ICONV;

  Converter() = default;
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() {
    if (fToU8 != NO_ICONV) iconv_close(fToU8);
    if (fFromU8 != NO_ICONV) iconv_close(fFromU8);
  }
};

// Converts all of `in` through `cd` into `out`; 0 on success, 1 for an
// invalid or incomplete sequence or a character the target cannot hold.
int Convert(iconv_t cd, std::string& out, const std::string& in) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
  out.resize(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  size_t written = 0;
  bool flushing = false;  // all input taken; write the closing shift sequence
  for (;;) {
    char* dst = out.data() + written;
    size_t dstLeft = out.size() - written;
    size_t rc =
        flushing ? iconv(cd, nullptr, nullptr, &dst, &dstLeft) : iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    written = out.size() - dstLeft;
    if (rc == static_cast<size_t>(-1)) {
      if (errno != E2BIG) return 1;  // EILSEQ or EINVAL
      out.resize(out.size() * 2);
      continue;
    }
    if (!flushing) {
      flushing = true;
      continue;
    }
    out.resize(written);
    return 0;
  }
}

}  // namespace

void* VORMMBConverterNew_A(const char* /*options*/) {
  auto* converter = new Converter;
  converter->fEncoding = standin::HostEncoding();
  if (IsUtf8Name(converter->fEncoding)) {
    converter->fbIdentity = true;
    return converter;
  }
  converter->fToU8 = iconv_open("UTF-8", converter->fEncoding.c_str());
  converter->fFromU8 = iconv_open(converter->fEncoding.c_str(), "UTF-8");
  if (converter->fToU8 == NO_ICONV || converter->fFromU8 == NO_ICONV) {
    delete converter;
    return nullptr;
  }
  return converter;
}

void VORMMBConverterDelete_A(void* converter) { delete static_cast<Converter*>(converter); }

int VORMMBGenericToU8(void* handle, std::string& out, const std::string& in) {
  auto* converter = static_cast<Converter*>(handle);
  if (converter == nullptr) return 1;
  if (converter->fbIdentity) {
    if (!IsValidUtf8(in)) return 1;
    out = in;
    return 0;
  }
  return Convert(converter->fToU8, out, in);
}

int VORMMBU8ToGeneric(void* handle, std::string& out, const std::string& in) {
  auto* converter = static_cast<Converter*>(handle);
  if (converter == nullptr) return 1;
  if (converter->fbIdentity) {
    if (!IsValidUtf8(in)) return 1;
    out = in;
    return 0;
  }
  return Convert(converter->fFromU8, out, in);
}
