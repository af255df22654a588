#include <gtest/gtest.h>
#include <vorm/ObsVecMap.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/DataSourceBuilder.h"

namespace {

using kvotest::SYSMIS;

OBS Num(double value) {
  OBS obs;
  obs.num = value;
  return obs;
}

// Appends a string value of a width to a key, blank padded over whole cells.
void AppendText(std::vector<OBS>& key, const std::string& text, int width) {
  const size_t at = key.size();
  key.resize(at + static_cast<size_t>(VORM_CellCount(width)));
  std::memset(static_cast<void*>(key.data() + at), ' ', (key.size() - at) * sizeof(OBS));
  std::memcpy(static_cast<void*>(key.data() + at), text.data(), std::min<size_t>(text.size(), width));
}

std::string TextAt(const OBS* cells, int width) {
  return std::string(reinterpret_cast<const char*>(cells), width);
}

TEST(ObsVecMapTest, MakesKeySpecsFromVariableTypes) {
  auto ds = kvotest::DataSourceBuilder()
                .Add(kvotest::Num("a"))
                .Add(kvotest::Str("b", 3))
                .Add(kvotest::Str("c", 20))
                .Build();
  EXPECT_EQ(ObsVecMap::MakeKeySpec(*ds, {2, 0, 1}), (ObsVecMap::KeySpec{20, 0, 3}));
  EXPECT_TRUE(ObsVecMap::MakeKeySpec(*ds, {}).empty());

  ObsVecMap map(ObsVecMap::MakeKeySpec(*ds, {0, 1, 2}), 2);
  EXPECT_EQ(map.CellSize(), 1u + 1u + 3u + 2u);
  EXPECT_EQ(map.Size(), 0u);
  EXPECT_EQ(map.GetKeySpec(), (ObsVecMap::KeySpec{0, 3, 20}));
}

TEST(ObsVecMapTest, InsertsAndFindsNumericKeys) {
  ObsVecMap map({0}, 2);
  EXPECT_EQ(map.CellSize(), 3u);
  OBS five = Num(5);
  EXPECT_EQ(map.Contains(&five), nullptr);
  OBS* values = map.Insert(&five);
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(values[0].num, 0.0);
  EXPECT_EQ(values[1].num, 0.0);
  values[0].num = 42;
  EXPECT_EQ(map.Contains(&five), values);
  EXPECT_EQ(map.Contains(&five)[0].num, 42);
  // The entry's key is a copy, just before the values.
  five.num = 6;
  EXPECT_EQ(values[-1].num, 5.0);
  EXPECT_EQ(map.Contains(&five), nullptr);

  // 0.0 and -0.0 are one key; so are all NaNs.
  OBS zero = Num(0.0), negZero = Num(-0.0);
  OBS* zeroValues = map.Insert(&zero);
  EXPECT_EQ(map.Contains(&negZero), zeroValues);
  OBS nan = Num(std::numeric_limits<double>::quiet_NaN());
  OBS otherNan = Num(-std::nan("7"));
  OBS* nanValues = map.Insert(&nan);
  EXPECT_EQ(map.Contains(&otherNan), nanValues);
  OBS sysmis = Num(SYSMIS);
  EXPECT_EQ(map.Contains(&sysmis), nullptr);
  map.Insert(&sysmis);
  EXPECT_EQ(map.Size(), 4u);

  // Inserting a present key keeps the one entry and its values.
  OBS fiveAgain = Num(5);
  EXPECT_EQ(map.Insert(&fiveAgain), values);
  EXPECT_EQ(values[0].num, 42);
  EXPECT_EQ(map.Size(), 4u);
  EXPECT_EQ(map.Contains(nullptr), nullptr);
}

TEST(ObsVecMapTest, SortsNumbersWithSysmisFirstAndNanLast) {
  ObsVecMap map({0}, 1);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double x : {3.0, -1.5, nan, 0.0, SYSMIS, 1e300, -7.0, 2.0}) {
    OBS key = Num(x);
    map.Insert(&key);
  }
  std::vector<OBS*> keys = map.Sort();
  ASSERT_EQ(keys.size(), 8u);
  std::vector<double> order;
  for (size_t i = 0; i + 1 < keys.size(); ++i) order.push_back(keys[i]->num);
  EXPECT_EQ(order, (std::vector<double>{SYSMIS, -7.0, -1.5, 0.0, 2.0, 3.0, 1e300}));
  EXPECT_TRUE(std::isnan(keys.back()->num));
  // Sort points at the entry: key cells followed by the values.
  EXPECT_EQ(map.Contains(keys[1]), keys[1] + 1);

  std::vector<OBS*> again{nullptr};
  map.Sort(again);
  EXPECT_EQ(again, keys);
}

TEST(ObsVecMapTest, ComparesStringKeysOverTheirWidthOnly) {
  ObsVecMap map({12}, 1);
  EXPECT_EQ(map.CellSize(), 3u);
  std::vector<OBS> a, b, c, d;
  AppendText(a, "abcdefghXYZ1", 12);
  AppendText(b, "abcdefghXYZ2", 12);  // differs in the second cell only
  AppendText(c, "abcdefgh\xE9", 12);  // a byte above 0x7F sorts after ASCII
  AppendText(d, "abc", 12);
  map.Insert(a.data())[0].num = 1;
  map.Insert(b.data())[0].num = 2;
  map.Insert(c.data())[0].num = 3;
  map.Insert(d.data())[0].num = 4;
  EXPECT_EQ(map.Size(), 4u);
  EXPECT_EQ(map.Contains(b.data())[0].num, 2);

  // Bytes after the width in the last cell are not part of the value.
  std::vector<OBS> tail = a;
  std::memcpy(reinterpret_cast<char*>(tail.data()) + 12, "\x01\x02\x03\x04", 4);
  ASSERT_NE(map.Contains(tail.data()), nullptr);
  EXPECT_EQ(map.Contains(tail.data())[0].num, 1);

  std::vector<std::string> sorted;
  for (OBS* key : map.Sort()) sorted.push_back(TextAt(key, 12));
  EXPECT_EQ(sorted, (std::vector<std::string>{"abc         ", "abcdefghXYZ1", "abcdefghXYZ2",
                                              std::string("abcdefgh\xE9   ")}));

  // A string of width 3 in one cell: the fast path masks the other bytes.
  ObsVecMap small({3}, 1);
  std::vector<OBS> x, y;
  AppendText(x, "abc", 3);
  AppendText(y, "abc", 3);
  std::memcpy(reinterpret_cast<char*>(y.data()) + 3, "zzzzz", 5);
  OBS* xValues = small.Insert(x.data());
  EXPECT_EQ(small.Contains(y.data()), xValues);
}

TEST(ObsVecMapTest, OrdersMultiVariableKeysVariableByVariable) {
  ObsVecMap map({0, 3, 0}, 1);
  EXPECT_EQ(map.CellSize(), 4u);
  auto key = [](double first, const std::string& text, double last) {
    std::vector<OBS> cells{Num(first)};
    AppendText(cells, text, 3);
    cells.push_back(Num(last));
    return cells;
  };
  const std::vector<std::vector<OBS>> keys = {key(2, "b", 1),  key(1, "z", 9),      key(2, "a", 5),
                                              key(2, "b", -1), key(SYSMIS, "q", 0), key(1, "z", 3)};
  for (size_t i = 0; i < keys.size(); ++i) map.Insert(keys[i].data())[0].num = static_cast<double>(i);
  for (size_t i = 0; i < keys.size(); ++i)
    EXPECT_EQ(map.Contains(keys[i].data())[0].num, static_cast<double>(i));
  EXPECT_EQ(map.Contains(key(2, "b", 0).data()), nullptr);

  std::vector<double> order;
  for (OBS* k : map.Sort()) order.push_back(k[3].num);  // the value: the key's insertion number
  EXPECT_EQ(order, (std::vector<double>{4, 5, 1, 2, 3, 0}));
}

TEST(ObsVecMapTest, EntriesNeverMoveWhileTheTableGrows) {
  ObsVecMap map({0}, 1);
  constexpr int N = 50000;
  std::vector<OBS*> first;
  for (int i = 0; i < N; ++i) {
    OBS key = Num(i * 0.5 - 1000);
    OBS* values = map.Insert(&key);
    values[0].num = i;
    first.push_back(values);
  }
  EXPECT_EQ(map.Size(), static_cast<size_t>(N));
  for (int i = 0; i < N; ++i) {
    OBS key = Num(i * 0.5 - 1000);
    OBS* found = map.Contains(&key);
    ASSERT_EQ(found, first[static_cast<size_t>(i)]) << i;
    ASSERT_EQ(found[0].num, i);
    ASSERT_EQ(found[-1].num, key.num);
  }
  OBS absent = Num(0.25);
  EXPECT_EQ(map.Contains(&absent), nullptr);
  std::vector<OBS*> sorted = map.Sort();
  ASSERT_EQ(sorted.size(), static_cast<size_t>(N));
  for (int i = 0; i < N; ++i) ASSERT_EQ(sorted[static_cast<size_t>(i)] + 1, first[static_cast<size_t>(i)]);
}

// One-number keys whatever their bits: both zeros are one key and every NaN
// is one key, whichever form was inserted first and whichever is looked up,
// while the table grows from its first size; absent numbers are not found.
TEST(ObsVecMapTest, FindsOneNumberKeysWhateverTheirBitsAsTheTableGrows) {
  auto fromBits = [](uint64_t bits) {
    OBS obs;
    std::memcpy(&obs, &bits, sizeof obs);
    return obs;
  };
  // Each group holds forms of one key.
  const std::vector<std::vector<OBS>> groups = {
      {Num(-0.0), Num(0.0)},
      {fromBits(0xFFF8000000000001ull), Num(std::numeric_limits<double>::quiet_NaN()),
       fromBits(0x7FF0000000000001ull)},
      {Num(SYSMIS)},
      {Num(std::numeric_limits<double>::infinity())},
      {Num(-std::numeric_limits<double>::infinity())},
      {Num(std::numeric_limits<double>::denorm_min())},
  };
  ObsVecMap map({0}, 1);
  std::mt19937_64 random(7);
  std::vector<OBS*> groupValues(groups.size(), nullptr);
  std::vector<double> others;
  for (int round = 0; round < 2000; ++round) {
    // A special key in a random form: found exactly when some form was inserted.
    const size_t g = random() % groups.size();
    const OBS& form = groups[g][random() % groups[g].size()];
    ASSERT_EQ(map.Contains(&form), groupValues[g]) << "round " << round << ", group " << g;
    if (groupValues[g] == nullptr && random() % 4 == 0) {
      groupValues[g] = map.Insert(&form);
      for (const OBS& other : groups[g]) ASSERT_EQ(map.Contains(&other), groupValues[g]);
    }
    // An ordinary number, new or seen.
    const double x = static_cast<double>(random() % 100000) / 8 + 1;
    OBS key = Num(x);
    const bool seen = std::find(others.begin(), others.end(), x) != others.end();
    OBS* found = map.Contains(&key);
    ASSERT_EQ(found != nullptr, seen) << x;
    if (!seen) {
      OBS* values = map.Insert(&key);
      values[0].num = x;
      others.push_back(x);
    } else {
      ASSERT_EQ(found[0].num, x);
    }
  }
  EXPECT_GT(map.Size(), 1000u);
  OBS absent = Num(0.5);
  EXPECT_EQ(map.Contains(&absent), nullptr);
}

}  // namespace
