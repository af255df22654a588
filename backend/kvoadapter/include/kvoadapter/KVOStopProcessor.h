/// \file
/// KVOStopProcessor: cancellation with a limit on elapsed time.
#ifndef KVOADAPTER_KVOSTOPPROCESSOR_H
#define KVOADAPTER_KVOSTOPPROCESSOR_H

#include <qor/Services.h>

#include <cstdint>

#include "kvoadapter/KVOExport.h"

/// A cancellation check for a modeling component: an optional limit on the
/// elapsed time (the host's monotonic clock in milliseconds, so waiting counts
/// and the number of threads does not), counted from construction, combined
/// with the host's interruption mechanism. Use it from the procedure's thread; it
/// owns nothing and borrows nothing.
class KVO_EXPORT KVOStopProcessor : public QorCommon::QorQueryCancel {
 public:
  /// No time limit.
  KVOStopProcessor();
  /// `timeLimit` in seconds; 0 or less means no limit.
  explicit KVOStopProcessor(double timeLimit);
  /// A copy keeps the start time of its source.
  KVOStopProcessor(const KVOStopProcessor& other);
  /// Takes the limit and the start time of `other`.
  KVOStopProcessor& operator=(const KVOStopProcessor& other);
  ~KVOStopProcessor() override;

  /// On an expired limit issues "Time out termination ..." and marks the
  /// time-out for the host; then lets the host leave the procedure when a
  /// time-out or an interruption is pending (the call does not return then).
  /// Returns whether the limit had expired.
  bool GetCancel() override;
  /// Whether the limit has expired or an interruption is pending. No effects.
  bool CheckCancel() const override;

 private:
  bool Expired() const;

  int32_t fStartTime;  ///< elapsed clock at construction, milliseconds
  double fTimeLimit;   ///< seconds; <= 0: none
};

#endif  // KVOADAPTER_KVOSTOPPROCESSOR_H
