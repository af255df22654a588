// Applies a transformation model, given as text, to host cases: prepared once
// with a case iterator and the model, then scores the iterator's current case.
// Used by the procedure's thread. Owns its score computer and code-page
// converter; borrows the case iterator, which must outlive the scoring.
#ifndef KVOADAPTER_KVOTRANSFORMSCORER_H
#define KVOADAPTER_KVOTRANSFORMSCORER_H

#include <memory>
#include <string>
#include <vector>

#include "kvoadapter/KVOExport.h"

class VORM_InputCaseIterator;

class KVO_EXPORT KVOTransformScorer {
 public:
  KVOTransformScorer();
  virtual ~KVOTransformScorer();
  // The scorer owns a score computer and a converter: copying is refused.
  KVOTransformScorer(const KVOTransformScorer&) = delete;
  KVOTransformScorer& operator=(const KVOTransformScorer&) = delete;

  // Reads `model`, matches every model input to the host variable of the
  // same name (converted from UTF-8 to the host encoding unless
  // `unicodeMode`), and matches `targetNames` (in the host encoding unless
  // `targetNamesUtf8`) to the model's outputs without regard to letter case;
  // an empty list makes every output a target, in output order. False when
  // anything does not fit: no iterator or model, no transformation model, an
  // input with no host variable or of the other kind (string/numeric), a
  // string output, an unknown target. Call once per scorer.
  // REQUIRES: caseIter, when given, outlives every ScoreRecord call.
  bool PrepareScoring(VORM_InputCaseIterator* caseIter, bool unicodeMode, const std::string& model,
                      const std::vector<std::string>& targetNames, bool targetNamesUtf8);

  // Scores the case on which the iterator stands and stores the target
  // values; false (every target missing) when the model reports an error or
  // the scorer is not prepared. Allocates nothing once texts have reached
  // their longest length.
  bool ScoreRecord();

  // Model input and output names as the model gives them (UTF-8).
  const std::vector<std::string>& GetInputModelVarNames() const;
  const std::vector<std::string>& GetOutputModelVarNames() const;
  // Target values of the last scored case; the system-missing value for a
  // missing result.
  const std::vector<double>& GetTargetValues() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> fpImpl;
};

#endif  // KVOADAPTER_KVOTRANSFORMSCORER_H
