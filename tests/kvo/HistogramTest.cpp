// The one-pass histogram and the per-partition statistics of the last pass:
// final widths worked out from the rule (the narrowest power of two that
// puts the whole range into 64 bins, at least 1 for whole numbers), and for
// streams that move and widen the window many times, every value in the bin
// that holds it.
#include <gtest/gtest.h>
#include <vorm/Types.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

#include "Histogram.h"
#include "SlotStatistics.h"

namespace kvo {
namespace {

struct Case {
  const char* fName;
  std::vector<double> fvValues;  // all in partition 0
  double fStart, fWidth;
  size_t fBins;
  std::vector<size_t> fvOccupied;  // bins holding one value each
};

TEST(HistogramTest, WidthIsTheNarrowestThatHoldsTheRange) {
  const Case cases[] = {
      // 20..55 needs width 1 (0.5 would take 71 bins).
      {"whole numbers", {30, 40, 25, 35, 55, 50, 45, 20}, 20.0, 1.0, 36, {0, 5, 10, 15, 20, 25, 30, 35}},
      // 0..1 in 1/32 (33 bins); 1/64 would take 65.
      {"fractions from zero", {0.0, 1.0, 0.5}, 0.0, 1.0 / 32, 33, {0, 16, 32}},
      // Bins are aligned at zero on both sides of it: -3.5..2.25 in 1/8.
      {"negative and positive", {2.25, -3.5}, -3.5, 0.125, 47, {0, 46}},
      // Whole numbers 0..3 are not drawn in bins of 1/16.
      {"few whole numbers", {0, 3, 1}, 0.0, 1.0, 4, {0, 1, 3}},
      // One value: one bin, at least 1 wide for a whole number.
      {"a constant", {7, 7}, 7.0, 1.0, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fName);
    Histogram histogram(2);
    for (double v : c.fvValues) histogram.Add(v, 0);
    const Histogram::Bins bins = histogram.Result();
    EXPECT_EQ(bins.fStart, c.fStart);
    EXPECT_EQ(bins.fWidth, c.fWidth);
    ASSERT_EQ(bins.fvCounts.size(), 2u);
    ASSERT_EQ(bins.fvCounts[0].size(), c.fBins);
    EXPECT_EQ(bins.fvCounts[1], std::vector<int64_t>(c.fBins, 0));
    if (c.fvOccupied.empty()) continue;
    std::vector<int64_t> expected(c.fBins, 0);
    for (size_t bin : c.fvOccupied) expected[bin] = 1;
    EXPECT_EQ(bins.fvCounts[0], expected);
  }
}

// Streams whose order makes the window move and widen many times: every
// value must end in the bin that holds it, in its partition, and the bins
// must stay between 32 and 64 once the range needed widening.
TEST(HistogramTest, EveryValueLandsInItsBin) {
  std::mt19937_64 random(7);
  std::lognormal_distribution<double> wide(0.0, 6.0);
  std::normal_distribution<double> narrow(1e6, 1e-3);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const std::vector<std::function<double()>> sources = {
      [&] { return unit(random) * wide(random); },
      [&] { return narrow(random); },
      [&] { return std::ldexp(unit(random), static_cast<int>(random() % 40)); },
  };
  for (size_t s = 0; s < sources.size(); ++s) {
    SCOPED_TRACE(s);
    Histogram histogram(3);
    std::vector<std::pair<double, size_t>> values;
    for (int i = 0; i < 20000; ++i) values.emplace_back(sources[s](), static_cast<size_t>(random() % 3));
    for (const auto& [v, p] : values) histogram.Add(v, p);
    const Histogram::Bins bins = histogram.Result();
    ASSERT_GT(bins.fWidth, 0.0);
    const size_t n = bins.fvCounts[0].size();
    EXPECT_GE(n, 32u);
    EXPECT_LE(n, 64u);
    std::vector<std::vector<int64_t>> expected(3, std::vector<int64_t>(n, 0));
    const double first = std::floor(bins.fStart / bins.fWidth);
    for (const auto& [v, p] : values) {
      const double bin = std::floor(v / bins.fWidth) - first;
      ASSERT_GE(bin, 0.0) << v;
      ASSERT_LT(bin, static_cast<double>(n)) << v;
      ++expected[p][static_cast<size_t>(bin)];
    }
    EXPECT_EQ(bins.fvCounts, expected);
  }
}

TEST(HistogramTest, ExtremeAndNonFiniteValues) {
  Histogram histogram(1);
  for (double v : {0.0, DBL_MAX, -DBL_MAX, 5e-324, -5e-324, std::numeric_limits<double>::quiet_NaN(),
                   std::numeric_limits<double>::infinity()}) {
    histogram.Add(v, 0);
  }
  const Histogram::Bins bins = histogram.Result();
  EXPECT_TRUE(std::isfinite(bins.fWidth));
  ASSERT_EQ(bins.fvCounts.size(), 1u);
  int64_t total = 0;
  for (int64_t n : bins.fvCounts[0]) total += n;
  EXPECT_EQ(total, 5) << "NaN and infinity are not counted";
  EXPECT_EQ(bins.fvCounts[0].front(), 1) << "-DBL_MAX in the first bin";
  EXPECT_EQ(bins.fvCounts[0].back(), 1) << "DBL_MAX in the last bin";

  EXPECT_EQ(Histogram(2).Result().fWidth, 0.0) << "no value: no bins";
}

// Slots: 0 categorical, 1 continuous, 2 the partition indicator.
TEST(HistogramTest, SlotStatisticsKeepEachPartition) {
  SlotStatistics statistics({true, false, false});
  statistics.KeepPartitions(2, 3, {1});
  const double records[][3] = {{0, 1.0, 1}, {1, 2.0, 1}, {1, 3.0, 0}, {-1, VORM_SYSMIS, 0}, {2, 4.0, -1}};
  for (const auto& record : records) statistics.Add(record);
  statistics.Complete();
  EXPECT_EQ(statistics.CodeCounts(0)[0], (std::vector<int64_t>{1, 1}));
  EXPECT_EQ(statistics.CodeCounts(1)[0], (std::vector<int64_t>{0, 1}));
  EXPECT_EQ(statistics.CodeCounts(2)[0], (std::vector<int64_t>{0, 0, 1}));
  EXPECT_EQ(statistics.CodeCounts()[0], (std::vector<int64_t>{1, 2, 1})) << "the totals";
  EXPECT_EQ(statistics.MissingCounts(1)[0], 1);
  EXPECT_EQ(statistics.MissingCounts()[0], 1);
  ASSERT_NE(statistics.HistogramOf(1), nullptr);
  EXPECT_EQ(statistics.HistogramOf(0), nullptr) << "a categorical slot has none";
  const Histogram::Bins bins = statistics.HistogramOf(1)->Result();
  EXPECT_EQ(bins.fStart, 1.0);
  EXPECT_EQ(bins.fWidth, 1.0);
  EXPECT_EQ(bins.fvCounts, (std::vector<std::vector<int64_t>>{{1, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}));
}

}  // namespace
}  // namespace kvo
