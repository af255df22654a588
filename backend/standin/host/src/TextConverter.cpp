// Text conversion on the C library's iconv.
#include "TextConverter.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "Utf8.h"

namespace standin {
namespace {

iconv_t ToDescriptor(void* p) { return static_cast<iconv_t>(p); }

std::string NormalizedName(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  return out;
}

}  // namespace

TextConverter::TextConverter() = default;

TextConverter::~TextConverter() {
  if (fpDescriptor != nullptr) iconv_close(ToDescriptor(fpDescriptor));
}

bool TextConverter::SameEncoding(const std::string& a, const std::string& b) {
  return NormalizedName(a) == NormalizedName(b);
}

bool TextConverter::Open(const std::string& from, const std::string& to, std::string& error) {
  if (fpDescriptor != nullptr) {
    iconv_close(ToDescriptor(fpDescriptor));
    fpDescriptor = nullptr;
  }
  fbCheckUtf8 = false;
  if (SameEncoding(from, to)) {
    fbCheckUtf8 = SameEncoding(from, "UTF-8");
    return true;
  }
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    error = "cannot convert from encoding \"" + from + "\" to \"" + to + "\": " + std::strerror(errno);
    return false;
  }
  fpDescriptor = cd;
  return true;
}

bool TextConverter::Convert(std::string_view text, std::string& out) {
  if (fpDescriptor == nullptr) {
    if (fbCheckUtf8 && standin_common::FirstInvalidUtf8(text) != std::string_view::npos) return false;
    out.assign(text);
    return true;
  }
  iconv_t cd = ToDescriptor(fpDescriptor);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  // Start with room for every byte becoming four, or the capacity already held.
  size_t room = text.size() * 4 + 8;
  if (out.capacity() > room) room = out.capacity();
  out.resize(room);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  size_t written = 0;
  for (;;) {
    char* dest = out.data() + written;
    size_t outLeft = out.size() - written;
    size_t r =
        inLeft == 0 ? iconv(cd, nullptr, nullptr, &dest, &outLeft) : iconv(cd, &in, &inLeft, &dest, &outLeft);
    written = static_cast<size_t>(dest - out.data());
    if (r != static_cast<size_t>(-1)) {
      if (inLeft == 0) {
        // Flush any shift state, then done.
        dest = out.data() + written;
        outLeft = out.size() - written;
        if (iconv(cd, nullptr, nullptr, &dest, &outLeft) == static_cast<size_t>(-1)) return false;
        written = static_cast<size_t>(dest - out.data());
        out.resize(written);
        return true;
      }
      continue;
    }
    if (errno != E2BIG) {
      out.resize(written);
      return false;
    }
    out.resize(out.size() * 2);
  }
}

bool TextConverter::IsAsciiCompatible(const std::string& encoding) {
  std::string probe = "\t\r\n";
  for (char c = 0x20; c < 0x7F; ++c) probe.push_back(c);
  TextConverter converter;
  std::string error;
  if (!converter.Open(encoding, "UTF-8", error)) return false;
  std::string out;
  return converter.Convert(probe, out) && out == probe;
}

}  // namespace standin
