#include "Histogram.h"

#include <algorithm>
#include <cfloat>

namespace kvo {
namespace {

// The narrowest width, 2^-1022: its inverse is still a finite double.
constexpr int MIN_EXPONENT = DBL_MIN_EXP - 1;

// The window position of bin number `bin`, kept inside the window (a value
// within a subnormal distance of a bin edge may round to either side of it).
size_t Position(double bin) {
  if (!(bin >= 0.0)) return 0;
  return bin >= Histogram::BINS ? Histogram::BINS - 1 : static_cast<size_t>(bin);
}

}  // namespace

double Histogram::Merged(double bin, int wider) {
  if (wider == 0) return bin;
  // Bin numbers stay below 2^53, so past 2^60 every bin is -1 or 0.
  if (wider >= 60) return bin < 0.0 ? -1.0 : 0.0;
  return std::floor(std::ldexp(bin, -wider));
}

bool Histogram::Occupied(size_t& low, size_t& high) const {
  bool found = false;
  for (size_t p = 0; p < fPartitions; ++p) {
    for (size_t i = 0; i < BINS; ++i) {
      if (fvCounts[p * BINS + i] == 0) continue;
      if (!found || i < low) low = i;
      if (!found || i > high) high = i;
      found = true;
    }
  }
  return found;
}

void Histogram::Grow(double value, size_t partition) {
  if (!std::isfinite(value)) return;
  size_t low = 0, high = 0;
  if (!Occupied(low, high)) {
    int exponent = 0;
    std::frexp(value, &exponent);
    fExponent = value == 0.0 ? MIN_EXPONENT : std::max(exponent - 50, MIN_EXPONENT);
    fInverse = std::ldexp(1.0, -fExponent);
    fFirst = std::floor(value * fInverse) - BINS / 2;
    fFirstBin = static_cast<int64_t>(fFirst);
  } else {
    // Everything is computed on bin numbers, which are exact in doubles
    // (see the header); the edges themselves may lie beyond the largest
    // double. At width 2^1023 every double fits, so the search ends.
    const double lowBin = fFirst + static_cast<double>(low);
    const double highBin = fFirst + static_cast<double>(high);
    int exponent = fExponent;
    double first = 0.0, last = 0.0;
    for (;; ++exponent) {
      const double bin = std::floor(std::ldexp(value, -exponent));
      first = std::min(Merged(lowBin, exponent - fExponent), bin);
      last = std::max(Merged(highBin, exponent - fExponent), bin);
      if (last - first < BINS) break;
    }
    // The counted range in the middle of the window, room on both sides.
    const double newFirst = first - std::floor((BINS - 1 - (last - first)) / 2);
    std::vector<int64_t> moved(fvCounts.size(), 0);
    for (size_t p = 0; p < fPartitions; ++p) {
      for (size_t i = low; i <= high; ++i) {
        const int64_t count = fvCounts[p * BINS + i];
        if (count == 0) continue;
        const double bin = Merged(fFirst + static_cast<double>(i), exponent - fExponent);
        moved[p * BINS + Position(bin - newFirst)] += count;
      }
    }
    fvCounts.swap(moved);
    fExponent = exponent;
    fInverse = std::ldexp(1.0, -exponent);
    fFirst = newFirst;
    fFirstBin = static_cast<int64_t>(newFirst);
  }
  ++fvCounts[partition * BINS + Position(std::floor(value * fInverse) - fFirst)];
  if (fbWhole) fbWhole = IsWhole(value);
}

Histogram::Bins Histogram::Result() const {
  Bins bins;
  size_t low = 0, high = 0;
  if (!Occupied(low, high)) return bins;
  // Whole numbers in bins narrower than 1 would leave gaps between them.
  const int exponent = fbWhole && fExponent < 0 ? 0 : fExponent;
  const int wider = exponent - fExponent;
  const double first = Merged(fFirst + static_cast<double>(low), wider);
  const size_t n = static_cast<size_t>(Merged(fFirst + static_cast<double>(high), wider) - first) + 1;
  // The lowest edge of bins 2^1023 wide may lie just beyond the doubles.
  bins.fStart = std::clamp(std::ldexp(first, exponent), -DBL_MAX, DBL_MAX);
  bins.fWidth = std::ldexp(1.0, exponent);
  bins.fvCounts.assign(fPartitions, std::vector<int64_t>(n, 0));
  for (size_t p = 0; p < fPartitions; ++p) {
    for (size_t i = low; i <= high; ++i) {
      const double bin = Merged(fFirst + static_cast<double>(i), wider) - first;
      bins.fvCounts[p][std::min(static_cast<size_t>(bin), n - 1)] += fvCounts[p * BINS + i];
    }
  }
  return bins;
}

}  // namespace kvo
