// Basic value types of the host: the 8-byte value cell, print formats and
// variable names. Plain values; any thread may use them.
#ifndef VORM_TYPES_H
#define VORM_TYPES_H

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

// One 8-byte value cell: a double, or 8 bytes of text. A string of width w
// occupies (w + 7) / 8 consecutive cells (one cell for w <= 8).
union OBS {
  double num;
  char str[8];
};
static_assert(sizeof(OBS) == 8, "OBS must be one 8-byte cell");

// The host's system-missing value: the most negative finite double.
inline constexpr double VORM_SYSMIS = -std::numeric_limits<double>::max();

inline OBS VORM_SystemMissing() {
  OBS obs;
  obs.num = VORM_SYSMIS;
  return obs;
}

// Number of OBS cells a value of the given variable type occupies
// (type 0 is numeric, otherwise the string width in bytes).
inline constexpr int VORM_CellCount(int type) { return type <= 8 ? 1 : (type + 7) / 8; }

// A print format packed in 32 bits: width in the low 16 bits, type code in
// the next 8, decimals in the high 8.
struct VORM_Format {
  // Type codes. A and AHEX are the string formats.
  static constexpr int A = 1;
  static constexpr int AHEX = 2;
  static constexpr int F = 5;
  static constexpr int E = 17;

  uint32_t fPacked = 0;

  constexpr VORM_Format() = default;
  constexpr explicit VORM_Format(uint32_t packed) : fPacked(packed) {}
  constexpr VORM_Format(int type, int width, int decimals)
      : fPacked((static_cast<uint32_t>(width) & 0xFFFFu) | ((static_cast<uint32_t>(type) & 0xFFu) << 16) |
                ((static_cast<uint32_t>(decimals) & 0xFFu) << 24)) {}

  constexpr int Width() const { return static_cast<int>(fPacked & 0xFFFFu); }
  constexpr int Type() const { return static_cast<int>((fPacked >> 16) & 0xFFu); }
  constexpr int Decimals() const { return static_cast<int>((fPacked >> 24) & 0xFFu); }
  constexpr bool IsString() const { return Type() == A || Type() == AHEX; }
  constexpr void SetWidth(int width) {
    fPacked = (fPacked & ~0xFFFFu) | (static_cast<uint32_t>(width) & 0xFFFFu);
  }
  constexpr bool operator==(const VORM_Format&) const = default;
};

// A variable name as the host keeps it.
class VormVarName {
 public:
  VormVarName() = default;
  explicit VormVarName(std::string name) : fName(std::move(name)) {}
  const std::string& str() const { return fName; }
  const char* c_str() const { return fName.c_str(); }
  bool operator==(const VormVarName&) const = default;
  bool operator<(const VormVarName& other) const { return fName < other.fName; }

 private:
  std::string fName;
};

// The upper-case form of a name (ASCII letters only; other bytes, such as
// those of multi-byte UTF-8 characters, are kept).
inline VormVarName GetUpperVarName(const VormVarName& name) {
  std::string upper = name.str();
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return VormVarName(std::move(upper));
}

#endif  // VORM_TYPES_H
