/// \file
/// KVOStopProcessor2: cancellation with a limit on calendar time.
#ifndef KVOADAPTER_KVOSTOPPROCESSOR2_H
#define KVOADAPTER_KVOSTOPPROCESSOR2_H

#include <qor/Services.h>

#include <cstdint>

#include "kvoadapter/KVOExport.h"

/// A cancellation check for a modeling component: an optional time limit on
/// the calendar clock (whole seconds), counted from construction, combined
/// with the host's interruption mechanism. Use it from the procedure's thread;
/// it owns nothing and borrows nothing.
class KVO_EXPORT KVOStopProcessor2 : public QorCommon::QorQueryCancel {
 public:
  /// No time limit.
  KVOStopProcessor2();
  /// `timeLimit` in seconds; 0 or less means no limit.
  explicit KVOStopProcessor2(double timeLimit);
  /// A copy keeps the start time of its source.
  KVOStopProcessor2(const KVOStopProcessor2& other);
  /// Takes the limit and the start time of `other`.
  KVOStopProcessor2& operator=(const KVOStopProcessor2& other);
  ~KVOStopProcessor2() override;

  /// As KVOStopProcessor::GetCancel, with the calendar clock.
  bool GetCancel() override;
  /// As KVOStopProcessor::CheckCancel, with the calendar clock.
  bool CheckCancel() const override;

 private:
  bool Expired() const;

  int64_t fStartTime;  ///< calendar time at construction, seconds
  double fTimeLimit;   ///< seconds; <= 0: none
};

#endif  // KVOADAPTER_KVOSTOPPROCESSOR2_H
