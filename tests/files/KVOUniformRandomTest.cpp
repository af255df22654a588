#include <gtest/gtest.h>
#include <kvoadapter/KVOUniformRandom.h>
#include <vorm/Utility.h>

#include <cmath>
#include <vector>

#include "standin/HostControl.h"

namespace {

std::vector<double> Draw(QorCommon::QorRandom& random, int count) {
  std::vector<double> values;
  for (int i = 0; i < count; ++i) values.push_back(random.GetRandom());
  return values;
}

TEST(KVOUniformRandomTest, ReseedingReproducesTheSequence) {
  KVOUniformRandom random;
  standin::SetRandomSeed(20240601);
  const std::vector<double> first = Draw(random, 100);
  standin::SetRandomSeed(20240601);
  EXPECT_EQ(Draw(random, 100), first);
  standin::SetRandomSeed(20240602);
  EXPECT_NE(Draw(random, 100), first) << "another seed gives another sequence";

  // The object adds nothing of its own: it hands on URAND(0) as it is.
  standin::SetRandomSeed(77);
  const double host = URAND(0);
  standin::SetRandomSeed(77);
  EXPECT_EQ(random.GetRandom(), host);
}

TEST(KVOUniformRandomTest, ObjectsAndCopiesShareOneStream) {
  standin::SetRandomSeed(4242);
  KVOUniformRandom single;
  const std::vector<double> expected = Draw(single, 10);

  standin::SetRandomSeed(4242);
  KVOUniformRandom a;
  KVOUniformRandom b;
  KVOUniformRandom copy(a);
  std::vector<double> interleaved;
  for (int i = 0; i < 5; ++i) {
    interleaved.push_back(a.GetRandom());
    interleaved.push_back((i % 2 == 0 ? b : copy).GetRandom());
  }
  EXPECT_EQ(interleaved, expected);
  b = a;
  EXPECT_EQ(&(b = a), &b);
}

TEST(KVOUniformRandomTest, ValuesAreUniformMultiplesOfTwoToTheMinus53BelowOne) {
  standin::SetRandomSeed(1);
  KVOUniformRandom random;
  constexpr int COUNT = 200000;
  int buckets[10] = {};
  double sum = 0;
  bool lowBitsUsed = false;
  for (int i = 0; i < COUNT; ++i) {
    const double value = random.GetRandom();
    ASSERT_GE(value, 0.0);
    ASSERT_LT(value, 1.0);
    const double scaled = std::ldexp(value, 53);
    ASSERT_EQ(scaled, std::floor(scaled)) << "53 random bits, nothing finer";
    if (std::fmod(scaled, 2048.0) != 0.0) lowBitsUsed = true;
    ++buckets[static_cast<int>(value * 10)];
    sum += value;
  }
  EXPECT_TRUE(lowBitsUsed) << "more than 42 bits of randomness";
  EXPECT_NEAR(sum / COUNT, 0.5, 0.005);
  // Each tenth expects 20000 draws; the standard deviation is about 134.
  for (int count : buckets) EXPECT_NEAR(count, COUNT / 10, 800);
}

}  // namespace
