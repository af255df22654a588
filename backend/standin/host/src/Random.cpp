// The host's uniform random stream: one process-wide xoshiro256** generator,
// seeded through splitmix64. Each value takes the top 53 bits of one draw, so
// it lies in [0, 1) with every multiple of 2^-53 equally likely. Re-seeding
// with the same seed reproduces the sequence. Calls from several threads are
// serialised; their draws interleave in the one stream.
#include <vorm/Utility.h>

#include <mutex>

#include "standin/HostControl.h"

namespace {

constexpr uint64_t DEFAULT_SEED = 2000000;

uint64_t SplitMix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

constexpr uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

class RandomStream {
 public:
  RandomStream() { Seed(DEFAULT_SEED); }

  void Seed(uint64_t seed) {
    std::lock_guard<std::mutex> lock(fMutex);
    uint64_t state = seed;
    for (uint64_t& word : fState) word = SplitMix64(state);  // never all zero
  }

  double Next() {
    std::lock_guard<std::mutex> lock(fMutex);
    const uint64_t result = Rotl(fState[1] * 5, 7) * 9;
    const uint64_t t = fState[1] << 17;
    fState[2] ^= fState[0];
    fState[3] ^= fState[1];
    fState[1] ^= fState[2];
    fState[0] ^= fState[3];
    fState[2] ^= t;
    fState[3] = Rotl(fState[3], 45);
    return static_cast<double>(result >> 11) * 0x1.0p-53;
  }

 private:
  std::mutex fMutex;
  uint64_t fState[4] = {};
};

RandomStream& Stream() {
  static RandomStream stream;
  return stream;
}

}  // namespace

double URAND(int /*flags*/) { return Stream().Next(); }

namespace standin {

void SetRandomSeed(uint64_t seed) { Stream().Seed(seed); }

}  // namespace standin
