/// \file
/// KVOUniformRandom: random numbers from the host's stream.
#ifndef KVOADAPTER_KVOUNIFORMRANDOM_H
#define KVOADAPTER_KVOUNIFORMRANDOM_H

#include <kvoadapter/KVOExport.h>
#include <qor/Services.h>

/// KVOUniformRandom: the components' random source drawn from the host's
/// shared uniform stream (URAND), so partitions, folds and components follow
/// the host's seed. Any thread may draw; draws from several threads interleave
/// in the one stream. Holds no state; owns and borrows nothing.
class KVO_EXPORT KVOUniformRandom : public QorCommon::QorRandom {
 public:
  KVOUniformRandom() = default;
  /// Copies share the host stream: there is nothing to copy.
  KVOUniformRandom(const KVOUniformRandom& other);
  /// Nothing to assign: every source draws from the same host stream.
  KVOUniformRandom& operator=(const KVOUniformRandom& other);
  ~KVOUniformRandom() override;

  /// The next value of the host stream, in [0, 1); advances the stream.
  double GetRandom() override;
};

#endif  // KVOADAPTER_KVOUNIFORMRANDOM_H
