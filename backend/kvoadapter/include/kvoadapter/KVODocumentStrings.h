/// \file
/// KVODocumentStrings: an ordered store of text items.
#ifndef KVOADAPTER_KVODOCUMENTSTRINGS_H
#define KVOADAPTER_KVODOCUMENTSTRINGS_H

#include <string>
#include <vector>

#include "kvoadapter/KVOExport.h"

/// An ordered store of text items that host procedures add one by one and
/// read back by position, whole or cut into lines of a fixed byte length.
/// One thread at a time. Owns a private copy of every stored string; copies
/// of the store copy the strings too, so two stores never share one.
class KVO_EXPORT KVODocumentStrings {
 public:
  KVODocumentStrings();
  ~KVODocumentStrings();

  /// Deep copies: the copy holds its own copies of the source's strings.
  KVODocumentStrings(const KVODocumentStrings& other);
  /// Replaces the stored strings with copies of those of `other`.
  KVODocumentStrings& operator=(const KVODocumentStrings& other);

  /// Appends a copy of `s`, taken up to its first NUL character, and returns
  /// s.size() (the full length of `s`, not the stored string's position; that
  /// is GetNStrings() - 1 after the call).
  int AddString(const std::string& s);

  /// Number of stored strings.
  int GetNStrings() const;

  /// The string at `index`; empty when `index` is negative or not below
  /// GetNStrings().
  std::string GetString(int index) const;

  /// Number of lines of `lineLen` bytes the string at `index` fills: 0 for an
  /// empty string or an index out of range, else the ceiling of
  /// length / lineLen.
  /// REQUIRES: lineLen > 0 (asserted; the result is then 0).
  int GetNLines(int index, int lineLen) const;

  /// Line `line` (0-based) of the string at `index` cut into lines of
  /// `lineLen` bytes; the last line holds what remains. Cutting is purely
  /// positional and may split a multi-byte character. Empty when `index` or
  /// `line` is out of range.
  /// REQUIRES: lineLen > 0 (asserted; the result is then empty).
  std::string GetLine(int index, int line, int lineLen) const;

  /// Diagnostic dump: the number of strings and each string, one line each,
  /// to the installed display stream or the host's output.
  void Display() const;

 private:
  /// The stored strings in the order they were added; none holds a NUL.
  std::vector<std::string> fvStrings;
};

#endif  // KVOADAPTER_KVODOCUMENTSTRINGS_H
