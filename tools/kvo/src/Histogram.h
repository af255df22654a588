// A histogram of one variable per partition, gathered in a single pass over
// values whose range nobody knows beforehand.
//
// The bins are equally wide, the width is a power of two, and bin i covers
// [i * width, (i + 1) * width). The counts live in a window of BINS
// consecutive bins, the same window for every partition, so that the
// partitions' histograms can be drawn over one axis. A value inside the
// window costs a multiplication, a conversion and a few comparisons. A
// value outside it moves the window when every counted bin and the value
// fit into BINS bins; otherwise the width doubles as often as needed and the counted bins
// merge into the wider ones. Merging is exact: both widths are powers of two
// aligned at zero, so every narrow bin lies inside one wide bin, and no
// value is ever counted twice or put into a wrong bin. The width never
// shrinks, so the window moves or widens at most a few thousand times in a
// run, each time at a cost of BINS * partitions.
//
// The first value gets a width of 2^-50 of its magnitude (fine enough that
// the spread of the data, not the start, decides the final width; coarse
// enough that bin numbers stay below 2^53 and are exact in a double). Once
// the values have spread over more than BINS bins, every widening leaves
// them over BINS / 2 to BINS bins. Values that were all whole numbers are
// drawn in bins at least 1 wide. Values that are not finite are not counted.
// One thread; a plain value.
#ifndef KVO_TOOL_HISTOGRAM_H
#define KVO_TOOL_HISTOGRAM_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace kvo {

class Histogram {
 public:
  static constexpr int BINS = 64;

  // The counted bins: from the first to the last bin with a count.
  struct Bins {
    double fStart = 0.0;                         // the first bin's lower edge
    double fWidth = 0.0;                         // 0 when no value was counted
    std::vector<std::vector<int64_t>> fvCounts;  // per partition, one count per bin
  };

  explicit Histogram(size_t partitions) : fPartitions(partitions), fvCounts(partitions * BINS, 0) {}
  Histogram(const Histogram&) = default;
  Histogram& operator=(const Histogram&) = default;

  // REQUIRES: partition < the number of partitions.
  void Add(double value, size_t partition) {
    // The bin number is floor(value / width), computed without a call to
    // floor: truncation, then one down for negative fractions. The limit
    // keeps the conversion defined and the subtraction from overflowing; it
    // also turns NaN away.
    const double scaled = value * fInverse;
    if (scaled > -FAST_LIMIT && scaled < FAST_LIMIT) {
      int64_t bin = static_cast<int64_t>(scaled);
      if (static_cast<double>(bin) > scaled) --bin;
      const uint64_t position = static_cast<uint64_t>(bin - fFirstBin);
      if (position < BINS) {
        ++fvCounts[partition * BINS + position];
        if (fbWhole) fbWhole = IsWhole(value);
        return;
      }
    }
    Grow(value, partition);
  }

  Bins Result() const;

 private:
  // Moves or widens the window so that `value` fits, then counts it.
  void Grow(double value, size_t partition);
  // The lowest and highest window positions with a count; false when none.
  bool Occupied(size_t& low, size_t& high) const;
  // The number that bin `bin` has among bins 2^`wider` times as wide.
  static double Merged(double bin, int wider);
  // Whether a finite `value` is a whole number (every double from 2^52 on is).
  static bool IsWhole(double value) {
    return !(value > -WHOLE_LIMIT && value < WHOLE_LIMIT) ||
           value == static_cast<double>(static_cast<int64_t>(value));
  }

  static constexpr double FAST_LIMIT = 0x1p61;
  static constexpr double WHOLE_LIMIT = 0x1p52;

  size_t fPartitions;
  int fExponent = 0;  // the width is 2^fExponent
  // Until the first value: an empty window nothing falls into.
  double fInverse = 0.0;
  // The bin number of window position 0, also as an integer.
  double fFirst = std::numeric_limits<double>::infinity();
  int64_t fFirstBin = std::numeric_limits<int64_t>::max() / 2;
  bool fbWhole = true;
  std::vector<int64_t> fvCounts;  // partition-major, BINS per partition
};

}  // namespace kvo

#endif  // KVO_TOOL_HISTOGRAM_H
