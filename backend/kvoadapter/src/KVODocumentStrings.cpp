#include "kvoadapter/KVODocumentStrings.h"

#include <cstring>

#include "KVOAssert.h"
#include "kvoadapter/KVOCommonDisplay.h"

namespace {
constexpr const char* KVO_SOURCE = "KVODocumentStrings";
}  // namespace

KVODocumentStrings::KVODocumentStrings() = default;
KVODocumentStrings::~KVODocumentStrings() = default;

// std::string copies its characters, so member-wise copying gives the copy
// its own allocation of every string.
KVODocumentStrings::KVODocumentStrings(const KVODocumentStrings& other) = default;
KVODocumentStrings& KVODocumentStrings::operator=(const KVODocumentStrings& other) = default;

int KVODocumentStrings::AddString(const std::string& s) {
  // A C-string copy of s: everything from the first NUL on is left out.
  fvStrings.emplace_back(s.c_str(), std::strlen(s.c_str()));
  return static_cast<int>(s.size());
}

int KVODocumentStrings::GetNStrings() const { return static_cast<int>(fvStrings.size()); }

std::string KVODocumentStrings::GetString(int index) const {
  if (index < 0 || index >= GetNStrings()) return std::string();
  return fvStrings[static_cast<size_t>(index)];
}

int KVODocumentStrings::GetNLines(int index, int lineLen) const {
  if (!KVO_ASSERT(lineLen > 0)) return 0;
  if (index < 0 || index >= GetNStrings()) return 0;
  const size_t length = fvStrings[static_cast<size_t>(index)].size();
  if (length == 0) return 0;
  return static_cast<int>((length - 1) / static_cast<size_t>(lineLen) + 1);
}

std::string KVODocumentStrings::GetLine(int index, int line, int lineLen) const {
  std::string result;
  if (!KVO_ASSERT(lineLen > 0)) return result;
  if (index < 0 || index >= GetNStrings()) return result;
  if (line < 0 || line >= GetNLines(index, lineLen)) return result;
  const std::string& text = fvStrings[static_cast<size_t>(index)];
  const size_t start = static_cast<size_t>(line) * static_cast<size_t>(lineLen);
  // substr stops at the end of the text, which cuts the last line short.
  result = text.substr(start, static_cast<size_t>(lineLen));
  return result;
}

void KVODocumentStrings::Display() const {
  KVOCommonDisplay::DisplayStart("KVODocumentStrings");
  KVOCommonDisplay::DisplayI("Number of strings", GetNStrings());
  for (const std::string& text : fvStrings) KVOCommonDisplay::DisplayS("The string", text);
  KVOCommonDisplay::DisplayEnd("KVODocumentStrings");
}
