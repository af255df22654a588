/// \file
/// KVOTransformScorer: a transformation model applied to host cases.
#ifndef KVOADAPTER_KVOTRANSFORMSCORER_H
#define KVOADAPTER_KVOTRANSFORMSCORER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kvoadapter/KVOExport.h"

class VORM_InputCaseIterator;

/// Applies a transformation model, given as text, to host cases: prepared once
/// with a case iterator and the model, then scores the iterator's current case.
/// Used by the procedure's thread. Owns its score computer and code-page
/// converter; borrows the case iterator, which must outlive the scoring.
class KVO_EXPORT KVOTransformScorer {
 public:
  KVOTransformScorer();
  virtual ~KVOTransformScorer();
  /// The scorer owns a score computer and a converter: copying is refused.
  KVOTransformScorer(const KVOTransformScorer&) = delete;
  KVOTransformScorer& operator=(const KVOTransformScorer&) = delete;

  /// Reads `model`, matches every model input to the host variable of the
  /// same name (converted from UTF-8 to the host encoding unless
  /// `unicodeMode`), and matches `targetNames` (in the host encoding unless
  /// `targetNamesUtf8`) to the model's outputs without regard to letter case;
  /// an empty list makes every output a target, in output order. True when
  /// the scorer is ready. False, leaving it unprepared (ScoreRecord then
  /// returns false), when anything does not fit: no iterator or model, no
  /// transformation model, an input with no host variable or of the other
  /// kind (string/numeric), an input or target name that the host encoding
  /// cannot hold (also reported as the assertion "errCode == 0"), a string
  /// output, an unknown target. The name lists then hold the names matched
  /// before the refusal. Call once per scorer: a second call returns false,
  /// reports the assertion "!fbPrepareCalled" and changes nothing.
  /// REQUIRES: caseIter, when given, outlives every ScoreRecord call.
  bool PrepareScoring(VORM_InputCaseIterator* caseIter, bool unicodeMode, const std::string& model,
                      const std::vector<std::string>& targetNames, bool targetNamesUtf8);

  /// How the host's user-missing values reach the model: as missing values
  /// (true) or as the values they are (false, the default). A string input
  /// has no missing form in the model's input record: it always goes as its
  /// text, and the model's own missing values decide. May be called at any
  /// time; applies from the next ScoreRecord on.
  void SetUserMissingAsMissing(bool asMissing);

  /// Scores the case on which the iterator stands and stores the target
  /// values; true on success. A numeric input that is system-missing (or,
  /// with SetUserMissingAsMissing, user-missing) goes to the model as missing. False, with every target
  /// missing, when the scorer is not prepared, when the model reports an error for the case, or when a string
  /// value cannot be converted from the host encoding to UTF-8 (reported as the assertion "errCode == 0" and
  /// counted by GetUnconvertibleCaseCount). Allocates nothing once texts have reached their longest length.
  bool ScoreRecord();

  /// Model input and output names as the model gives them (UTF-8); empty
  /// before preparation.
  const std::vector<std::string>& GetInputModelVarNames() const;
  /// The model's outputs, in output order (UTF-8); the targets' values come
  /// in the order of the target names, or in this order when none was named.
  const std::vector<std::string>& GetOutputModelVarNames() const;
  /// Target values of the last scored case; the system-missing value for a
  /// missing result. Empty until a preparation succeeds.
  const std::vector<double>& GetTargetValues() const;
  /// The cases that failed because one of their string values could not be
  /// converted to UTF-8; 0 in unicode mode.
  int64_t GetUnconvertibleCaseCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> fpImpl;
};

#endif  // KVOADAPTER_KVOTRANSFORMSCORER_H
